// The clocks: a wrapping millisecond tick count for elapsed times and the progress
// estimate, monotonic seconds and a free-running cycle counter for the profiler.
#pragma once

#include <cstdint>

// Milliseconds of a monotonic clock, truncated to 32 bits; differences taken as
// uint32_t stay right across the wrap (about every 49.7 days).
uint32_t tick_count_ms();

// Seconds of a monotonic clock from an arbitrary origin.
double monotonic_seconds();

// Ticks per second of the clock behind monotonic_seconds.
double monotonic_frequency();

// The processor's time-stamp counter where there is one, else monotonic nanoseconds.
uint64_t cycle_counter();
