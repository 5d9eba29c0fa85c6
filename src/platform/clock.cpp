#include "platform/clock.h"

#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#define QM_HAVE_RDTSC 1
#endif

namespace {
using clock_type = std::chrono::steady_clock;
}

uint32_t tick_count_ms() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now().time_since_epoch());
  return static_cast<uint32_t>(ms.count());
}

double monotonic_seconds() {
  return std::chrono::duration<double>(clock_type::now().time_since_epoch()).count();
}

double monotonic_frequency() {
  return static_cast<double>(clock_type::period::den) / static_cast<double>(clock_type::period::num);
}

uint64_t cycle_counter() {
#ifdef QM_HAVE_RDTSC
  return __rdtsc();
#else
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(clock_type::now().time_since_epoch());
  return static_cast<uint64_t>(ns.count());
#endif
}
