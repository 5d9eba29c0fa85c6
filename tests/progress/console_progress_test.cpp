#include "progress/console_progress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A tracker whose clock the test sets and whose lines the test collects.
struct console_fixture {
  uint32_t now = 1000;
  std::vector<std::string> lines;
  console_progress tracker{[this] { return now; }, [this](const char* line) { lines.emplace_back(line); }};
};

std::string line(const char* percent, const char* left) {
  return std::string("Processing: ") + percent + "%, time left (appx) " + left + "\r";
}

TEST(ConsoleProgress, FirstLineShowsNoEstimateYet) {
  console_fixture f;
  f.now = 61000;  // a minute in, but nothing printed before: no rate to divide by
  f.tracker.set_progress(20);
  ASSERT_EQ(f.lines.size(), 1u);
  EXPECT_EQ(f.lines[0], line("20.0", "0h:0m:0s"));
  EXPECT_DOUBLE_EQ(f.tracker.last_printed(), 20.0);
  EXPECT_DOUBLE_EQ(f.tracker.print_step(), 0.1);
}

TEST(ConsoleProgress, ZeroStartTickIsTakenAtTheFirstLine) {
  console_fixture f;
  f.now = 0;
  console_progress tracker([&f] { return f.now; }, [&f](const char* text) { f.lines.emplace_back(text); });
  f.now = 5000;
  tracker.set_progress(20);
  f.now = 15000;  // 10 s after the first line, not 15 s after construction
  tracker.set_progress(25);
  ASSERT_EQ(f.lines.size(), 2u);
  EXPECT_EQ(f.lines[0], line("20.0", "0h:0m:0s"));
  EXPECT_EQ(f.lines[1], line("25.0", "0h:1m:13s"));
}

TEST(ConsoleProgress, TimeLeftAndPrintStepAfterTenSecondsAtTwentyPercent) {
  console_fixture f;
  f.tracker.set_progress(20);
  f.now += 10000;
  f.tracker.set_progress(25);
  ASSERT_EQ(f.lines.size(), 2u);
  // t = 80 * 10 / 20 * 1.8 = 72 s, shown as 1 + 72; step 20 / 10 * 0.5 = 1.0, lowered to 0.5.
  EXPECT_EQ(f.lines[1], line("25.0", "0h:1m:13s"));
  EXPECT_DOUBLE_EQ(f.tracker.print_step(), 0.5);

  f.tracker.set_progress(25.5);  // not beyond 25 + 0.5
  EXPECT_EQ(f.lines.size(), 2u);
  f.tracker.set_progress(25.6);
  EXPECT_EQ(f.lines.size(), 3u);
}

TEST(ConsoleProgress, ElapsedTimeSurvivesTickWrap) {
  uint32_t now = 0xFFFFFF00u;
  std::vector<std::string> lines;
  console_progress tracker([&now] { return now; }, [&lines](const char* text) { lines.emplace_back(text); });
  tracker.set_progress(20);
  now = 0xFFFFFF00u + 10000u;  // wraps past zero
  tracker.set_progress(25);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], line("25.0", "0h:1m:13s"));
}

TEST(ConsoleProgress, PrintStepIsRaisedToTenthOfPercent) {
  console_fixture f;
  f.tracker.set_progress(2);
  f.now += 100000;
  f.tracker.set_progress(3);
  // 2 / 100 * 0.5 = 0.01, raised to 0.1
  EXPECT_DOUBLE_EQ(f.tracker.print_step(), 0.1);
  // t = 98 * 100 / 2 * 1.98 = 9702 s: 2h:41m:43s
  ASSERT_EQ(f.lines.size(), 2u);
  EXPECT_EQ(f.lines[1], line("3.0", "2h:41m:43s"));
}

TEST(ConsoleProgress, PrintStepChangesOnlyAfterOneSecondAndOnePercent) {
  console_fixture f;
  f.tracker.set_progress(20);
  f.now += 1000;  // d = 1 is not > 1
  f.tracker.set_progress(30);
  EXPECT_DOUBLE_EQ(f.tracker.print_step(), 0.1);
  // t = 80 * 1 / 20 * 1.8 = 7.2 s
  EXPECT_EQ(f.lines.back(), line("30.0", "0h:0m:8s"));

  console_fixture g;
  g.tracker.set_progress(1);
  g.now += 5000;
  g.tracker.set_progress(2);  // L = 1 is not > 1
  EXPECT_DOUBLE_EQ(g.tracker.print_step(), 0.1);
}

TEST(ConsoleProgress, HoursMinutesSecondsSplit) {
  console_fixture f;
  f.tracker.set_progress(50);
  f.now += 7200000;
  f.tracker.set_progress(60);
  // t = 50 * 7200 / 50 * 1.5 = 10800 s, shown as 10801
  EXPECT_EQ(f.lines.back(), line("60.0", "3h:0m:1s"));
}

TEST(ConsoleProgress, SamePositionPrintsOnce) {
  console_fixture f;
  f.tracker.set_progress(10);
  f.tracker.set_progress(10);
  f.tracker.refresh();
  EXPECT_EQ(f.lines.size(), 1u);
}

TEST(ConsoleProgress, AdvanceMustExceedPrintStep) {
  console_fixture f;
  f.tracker.set_progress(0.1);  // 0.1 is not beyond 0 + 0.1
  EXPECT_TRUE(f.lines.empty());
  f.tracker.set_progress(0.15);
  ASSERT_EQ(f.lines.size(), 1u);
  EXPECT_EQ(f.lines[0], line("0.1", "0h:0m:0s"));
}

TEST(ConsoleProgress, PositionMovingBackPrintsNothing) {
  console_fixture f;
  f.tracker.set_progress(70);
  f.tracker.set_step_end(50);
  f.tracker.set_progress(10);
  EXPECT_EQ(f.lines.size(), 1u);
  EXPECT_DOUBLE_EQ(f.tracker.position(), 50.0);
}

TEST(ConsoleProgress, DefaultTrackerWritesTheLineToStandardOutput) {
  testing::internal::CaptureStdout();
  {
    console_progress tracker;
    tracker.set_step_end(50);
    tracker.begin_stage("");
    tracker.set_progress(50);
    tracker.set_progress(50);
    tracker.end_stage();
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(), line("25.0", "0h:0m:0s"));
}

}  // namespace
