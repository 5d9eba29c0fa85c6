#include "progress/profiler.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const header = "===CALLS==|=%All=|=%Exl=|%miliSec=|%mSecMax=| Name |\n";

// A profiler on hand-driven clocks: 2 s and 2000 cycles pass between construction
// and any report, so the calibrated rate is exactly 1000 ticks per second.
struct fake_clock_profiler {
  double seconds = 10.0;
  uint64_t cycles = 500;
  profiler p{[this] { return seconds; }, [this] { return cycles; }, 1e6};
  fake_clock_profiler() {
    seconds = 12.0;
    cycles = 2500;
  }
};

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// Names of the table rows, in report order.
std::vector<std::string> row_names(const std::string& text) {
  std::vector<std::string> names;
  auto lines = split_lines(text);
  for (size_t i = 2; i < lines.size(); ++i) names.push_back(lines[i].substr(lines[i].rfind("| ") + 2));
  return names;
}

void set(timing_record& r, int calls, uint64_t own, uint64_t nested, uint64_t average) {
  r.calls = calls;
  r.own_ticks = own;
  r.nested_ticks = nested;
  r.average_ticks = average;
}

// Names chosen so that name order differs from every sort order.
void add_three_records(profiler& p) {
  set(p.record("m"), 1, 100, 500, 25);  // inclusive 600, avg*calls/incl 0.042
  set(p.record("z"), 2, 400, 0, 30);    // inclusive 400, 0.15
  set(p.record("a"), 20, 200, 0, 20);   // inclusive 200, 2.0
  p.set_total_ticks(1000);
}

TEST(ProfileReport, EmptyRegistryGivesTotalLineAndHeaderOnly) {
  reset_profiler();
  std::string text = profile_report(0, 0);
  EXPECT_EQ(text, std::string("All Profiled Time: 0.00000000(sec)\n") + header);
  EXPECT_EQ(split_lines(text).size(), 2u);
}

TEST(ProfileReport, CalibratesCyclesAgainstSeconds) {
  fake_clock_profiler f;
  EXPECT_DOUBLE_EQ(f.p.ticks_per_second(), 1000.0);

  double seconds = 3.0;
  uint64_t cycles = 100;
  profiler still([&] { return seconds; }, [&] { return cycles; }, 1e6);
  cycles = 104;  // no time has passed on the seconds clock: one clock tick is assumed
  EXPECT_DOUBLE_EQ(still.ticks_per_second(), 4e6);
}

TEST(ProfileReport, RowFormatAndAverageUpdate) {
  fake_clock_profiler f;
  set(f.p.record("alpha"), 4, 300, 100, 50);
  f.p.set_total_ticks(1000);
  std::string text = f.p.report(0, 0);
  EXPECT_EQ(text, std::string("All Profiled Time: 1.00000000(sec)\n") + header +
                      "0000000004 | 040.0 | 030.0 | 100.00000 | 050.00000 | alpha\n");
  // 0.95 * 50 + 0.05 * 400 / 4 = 52.5, truncated
  EXPECT_EQ(f.p.record("alpha").average_ticks, 52u);
  text = f.p.report(0, 0);
  EXPECT_EQ(split_lines(text)[2], "0000000004 | 040.0 | 030.0 | 100.00000 | 052.00000 | alpha");
}

TEST(ProfileReport, EachSortKeyOrdersLargestFirst) {
  const std::vector<std::vector<std::string>> expected = {
      {"m", "z", "a"},  // inclusive
      {"z", "a", "m"},  // own
      {"z", "m", "a"},  // average
      {"a", "z", "m"},  // average * calls / inclusive
  };
  for (int key = 0; key < 4; ++key) {
    fake_clock_profiler f;
    add_three_records(f.p);
    EXPECT_EQ(row_names(f.p.report(0, key)), expected[key]) << "sort key " << key;
  }
  fake_clock_profiler f;
  add_three_records(f.p);
  EXPECT_EQ(row_names(f.p.report(0, 7)), expected[0]);
}

TEST(ProfileReport, MaxRowsLimitsTheRows) {
  fake_clock_profiler f;
  add_three_records(f.p);
  EXPECT_EQ(row_names(f.p.report(2, 0)), (std::vector<std::string>{"m", "z"}));
  // Only the rows shown get their average updated.
  EXPECT_EQ(f.p.record("a").average_ticks, 20u);
  EXPECT_NE(f.p.record("z").average_ticks, 30u);
  EXPECT_EQ(row_names(f.p.report(10, 0)).size(), 3u);
  EXPECT_EQ(row_names(f.p.report(0, 0)).size(), 3u);
}

TEST(ProfileReport, SkipsRecordsWithoutCallsOrNotValid) {
  fake_clock_profiler f;
  add_three_records(f.p);
  f.p.record("z").valid = 0;
  set(f.p.record("never_finished"), 0, 900, 0, 0);
  EXPECT_EQ(row_names(f.p.report(0, 0)), (std::vector<std::string>{"m", "a"}));
  // A record without calls still takes its place among the first max_rows.
  EXPECT_EQ(row_names(f.p.report(2, 0)), (std::vector<std::string>{"m"}));
}

TEST(ProfileReport, MarksRecordsStillRunning) {
  fake_clock_profiler f;
  set(f.p.record("busy"), 1, 10, 0, 0);
  f.p.record("busy").running = 1;
  f.p.set_total_ticks(10);
  EXPECT_EQ(split_lines(f.p.report(0, 0))[2],
            "0000000001 | 100.0 | 100.0 | 010.00000 | 000.00000 | busy !!!_Running... ");
}

TEST(ProfileReport, ZeroTotalGivesZeroPercentNotNan) {
  fake_clock_profiler f;
  set(f.p.record("alone"), 2, 0, 0, 0);
  std::string text = f.p.report(0, 3);  // also 0 / 0 in the sort key
  EXPECT_EQ(split_lines(text)[2], "0000000002 | 000.0 | 000.0 | 000.00000 | 000.00000 | alone");
}

TEST(ProfileScope, SplitsOwnAndNestedTicksAndAdvancesTotalAtOutermostEnd) {
  uint64_t now = 0;
  profiler p([] { return 0.0; }, [&] { return now; }, 1e6);
  now = 100;
  {
    profile_scope outer(p, "outer");
    EXPECT_EQ(p.record("outer").running, 1);
    now = 130;
    {
      profile_scope inner(p, "inner");
      now = 170;
    }
    EXPECT_EQ(p.total_ticks(), 0u);
    EXPECT_EQ(p.record("inner").calls, 1);
    EXPECT_EQ(p.record("outer").calls, 0);
    now = 200;
  }
  const timing_record& inner = p.record("inner");
  const timing_record& outer = p.record("outer");
  EXPECT_EQ(inner.own_ticks, 40u);
  EXPECT_EQ(inner.nested_ticks, 0u);
  EXPECT_EQ(outer.own_ticks, 60u);
  EXPECT_EQ(outer.nested_ticks, 40u);
  EXPECT_EQ(outer.calls, 1);
  EXPECT_EQ(outer.running, 0);
  EXPECT_EQ(p.total_ticks(), 100u);

  now = 300;
  {
    profile_scope again(p, "inner");
    now = 310;
  }
  EXPECT_EQ(p.record("inner").calls, 2);
  EXPECT_EQ(p.record("inner").own_ticks, 50u);
  EXPECT_EQ(p.total_ticks(), 110u);
}

TEST(ProfileScope, RunningCallOfAFinishedRecordIsMarked) {
  reset_profiler();
  { profile_scope once("global_task"); }
  profile_scope second("global_task");
  std::string text = profile_report(0, 0);
  auto lines = split_lines(text);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].substr(0, 21), "0000000001 | 100.0 | ");
  EXPECT_NE(lines[2].find("| global_task !!!_Running... "), std::string::npos);
  EXPECT_THROW(reset_profiler(), std::logic_error);
}

TEST(ProfileScope, ResetEmptiesRegistryAndTotal) {
  fake_clock_profiler f;
  add_three_records(f.p);
  f.p.reset();
  EXPECT_EQ(f.p.total_ticks(), 0u);
  EXPECT_EQ(split_lines(f.p.report(0, 0)).size(), 2u);
}

}  // namespace
