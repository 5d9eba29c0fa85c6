#include "platform/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {
struct thread_count_guard {
  ~thread_count_guard() { set_thread_count(0); }
};
}  // namespace

TEST(Parallel, EveryItemOnceForAnyThreadCount) {
  thread_count_guard guard;
  for (int threads : {1, 2, 3, 8}) {
    set_thread_count(threads);
    for (int64_t n : {0, 1, 7, 1000}) {
      std::vector<std::atomic<int>> hits(static_cast<size_t>(n));
      parallel_for(n, 3, [&](int64_t first, int64_t last) {
        ASSERT_LT(first, last);
        for (int64_t i = first; i < last; ++i) ++hits[static_cast<size_t>(i)];
      });
      for (int64_t i = 0; i < n; ++i) ASSERT_EQ(hits[static_cast<size_t>(i)], 1) << threads << " " << n << " " << i;
    }
  }
}

TEST(Parallel, RowsReportInOrderAfterTheirWork) {
  thread_count_guard guard;
  for (int threads : {1, 4}) {
    set_thread_count(threads);
    std::vector<std::atomic<int>> done(100);
    std::vector<int32_t> reported;
    parallel_rows(
        100, 2, [&](int32_t first, int32_t last) { for (int32_t y = first; y < last; ++y) done[y] = 1; },
        [&](int32_t y) {
          EXPECT_EQ(done[y], 1) << y;
          reported.push_back(y);
        });
    ASSERT_EQ(reported.size(), 100u);
    for (int32_t y = 0; y < 100; ++y) EXPECT_EQ(reported[y], y);
  }
}

TEST(Parallel, ABlockFailureReachesTheCallerAndThePoolStaysUsable) {
  thread_count_guard guard;
  set_thread_count(4);
  EXPECT_THROW(parallel_for(64, 1,
                            [](int64_t first, int64_t) {
                              if (first >= 32) throw std::runtime_error("block failed");
                            }),
               std::runtime_error);
  std::atomic<int64_t> sum{0};
  parallel_for(64, 1, [&](int64_t first, int64_t last) {
    // A nested loop runs inline on the block's thread.
    parallel_for(last - first, 1, [&](int64_t a, int64_t b) { sum += b - a; });
  });
  EXPECT_EQ(sum, 64);
}

TEST(Parallel, ThreadCountDefaultsToTheCores) {
  thread_count_guard guard;
  set_thread_count(0);
  EXPECT_EQ(thread_count(), hardware_threads());
  EXPECT_GE(hardware_threads(), 1);
  set_thread_count(3);
  EXPECT_EQ(thread_count(), 3);
}
