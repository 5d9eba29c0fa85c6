#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

// Lower bounds come from the sleep, upper bounds from the other clock read around
// it, so the checks hold however loaded the machine is; they catch wrong units.
TEST(Clock, MillisecondsAndSecondsAgreeAcrossASleep) {
  double m0 = monotonic_seconds();
  uint32_t t0 = tick_count_ms();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  uint32_t t1 = tick_count_ms();
  double m1 = monotonic_seconds();

  uint32_t ticks = t1 - t0;
  EXPECT_GE(ticks, 30u);
  EXPECT_LE(ticks, std::ceil((m1 - m0) * 1000.0) + 1.0);
  EXPECT_GE(m1 - m0, 0.030);
}

TEST(Clock, CycleCounterRuns) {
  uint64_t c0 = cycle_counter();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  uint64_t c1 = cycle_counter();
  EXPECT_GT(c1, c0);
}

}  // namespace
