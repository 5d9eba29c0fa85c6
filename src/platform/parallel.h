// Deterministic row-parallel loops on a small pool of worker threads: work is split into
// blocks that never read each other's results, so every thread count gives the same bytes.
#pragma once

#include <cstdint>
#include <functional>

// 0 = every core (the default), 1 = the calling thread only. Takes effect for later loops.
void set_thread_count(int count);
// The number of threads a loop may use (at least 1).
int thread_count();
// The cores this process may run on.
int hardware_threads();

// Calls body(first, last) for consecutive blocks [first, last) covering [0, n), blocks of
// at least min_block items, possibly on several threads at once; returns when all are done.
// The first exception thrown by a block is rethrown here once every block has stopped.
// A loop started from inside a block runs on that block's thread alone.
void parallel_for(int64_t n, int64_t min_block, const std::function<void(int64_t, int64_t)>& body);

// parallel_for over rows 0..n-1 for kernels that report progress per row: after each wave
// of blocks, row_done(y) is called on the calling thread for every finished row in
// ascending order, so a progress tracker sees the same calls as a plain loop would make.
void parallel_rows(int32_t n, int32_t min_block, const std::function<void(int32_t, int32_t)>& body,
                   const std::function<void(int32_t)>& row_done);
