#include "image/leak_tracker.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/diagnostics.h"

namespace {

// Collects what the tracker would show and answers its prompts from a script.
struct report_log {
  std::vector<std::string> debug_texts;
  std::vector<std::string> captions;
  std::vector<std::string> questions;
  std::vector<bool> answers;  // consumed in order; Yes once they run out

  leak_tracker::prompt ask() {
    return [this](const char* caption, const char* question) {
      captions.emplace_back(caption);
      questions.emplace_back(question);
      size_t i = questions.size() - 1;
      return i < answers.size() ? static_cast<bool>(answers[i]) : true;
    };
  }
  leak_tracker::output debug() {
    return [this](const char* text) { debug_texts.emplace_back(text); };
  }
};

const char* const first_text = "Memory allocated and non freed in,\n file: first.cpp \n line: 10";
const char* const second_text = "Memory allocated and non freed in,\n file: second.cpp \n line: 20";

TEST(LeakTracker, EmptyTableReportsNothing) {
  report_log log;
  leak_tracker t(log.ask(), log.debug());
  EXPECT_TRUE(t.run_exit_report());
  EXPECT_TRUE(log.debug_texts.empty());
  EXPECT_TRUE(log.questions.empty());
}

TEST(LeakTracker, ReportsEachEntryInKeyOrderWithTextAndQuestion) {
  report_log log;
  int cells[2];
  leak_tracker t(log.ask(), log.debug());
  // Added in reverse so that insertion order and key order differ.
  t.add_entry(&cells[1], "second.cpp", 20);
  t.add_entry(&cells[0], "first.cpp", 10);
  EXPECT_TRUE(t.run_exit_report());
  ASSERT_EQ(log.debug_texts.size(), 2u);
  EXPECT_EQ(log.debug_texts[0], first_text);
  EXPECT_EQ(log.debug_texts[1], second_text);
  ASSERT_EQ(log.questions.size(), 2u);
  EXPECT_EQ(log.questions[0], std::string(first_text) + "\nContinue execution ?");
  EXPECT_EQ(log.captions[0], "Message");
  EXPECT_EQ(log.captions[1], "Message");
  EXPECT_EQ(t.size(), 0u);
}

TEST(LeakTracker, RemovedEntriesAreNotReported) {
  report_log log;
  int cells[3];
  leak_tracker t(log.ask(), log.debug());
  t.add_entry(&cells[0], "first.cpp", 10);
  t.add_entry(&cells[1], "gone.cpp", 1);
  t.add_entry(&cells[2], "second.cpp", 99);
  t.add_entry(&cells[2], "second.cpp", 20);  // address reused: the newer place counts
  t.remove_entry(&cells[1]);
  t.remove_entry(&log);  // never added
  EXPECT_EQ(t.size(), 2u);
  EXPECT_TRUE(t.run_exit_report());
  EXPECT_EQ(log.debug_texts, (std::vector<std::string>{first_text, second_text}));
}

TEST(LeakTracker, NoStopsBeforeTheNextEntry) {
  report_log log;
  log.answers = {false};
  int cells[2];
  leak_tracker t(log.ask(), log.debug());
  t.add_entry(&cells[0], "first.cpp", 10);
  t.add_entry(&cells[1], "second.cpp", 20);
  EXPECT_FALSE(t.run_exit_report());
  EXPECT_EQ(log.debug_texts, std::vector<std::string>{first_text});
  EXPECT_EQ(log.questions.size(), 1u);
  t.remove_entry(&cells[0]);
  t.remove_entry(&cells[1]);  // so the destructor has nothing left to end the test with
}

TEST(LeakTracker, OnlyTheFirstTrackerDestroyedReports) {
  report_log log;
  int cells[2];
  {
    leak_tracker constructed_first(log.ask(), log.debug());
    constructed_first.add_entry(&cells[0], "first.cpp", 10);
    {
      leak_tracker constructed_second(log.ask(), log.debug());
      constructed_second.add_entry(&cells[1], "second.cpp", 20);
    }
    EXPECT_EQ(log.debug_texts, std::vector<std::string>{second_text});
  }
  EXPECT_EQ(log.debug_texts.size(), 1u);
  EXPECT_EQ(log.questions.size(), 1u);
}

TEST(LeakTracker, AnEmptyTrackerDestroyedFirstStillEndsReporting) {
  report_log log;
  int cell;
  {
    leak_tracker holding(log.ask(), log.debug());
    holding.add_entry(&cell, "first.cpp", 10);
    { leak_tracker empty(log.ask(), log.debug()); }
    EXPECT_TRUE(holding.run_exit_report());
    EXPECT_EQ(holding.size(), 0u);  // the table is freed all the same
  }
  EXPECT_TRUE(log.debug_texts.empty());
}

TEST(LeakTracker, OverlongTextIsCutButTheQuestionKept) {
  report_log log;
  int cell;
  std::string long_name(5000, 'x');
  leak_tracker t(log.ask(), log.debug());
  t.add_entry(&cell, long_name.c_str(), 7);
  EXPECT_TRUE(t.run_exit_report());
  ASSERT_EQ(log.debug_texts.size(), 1u);
  const std::string prefix = "Memory allocated and non freed in,\n file: ";
  EXPECT_EQ(log.debug_texts[0], prefix + long_name.substr(0, 4095 - prefix.size()));
  const std::string tail = "\nContinue execution ?";
  ASSERT_EQ(log.questions[0].size(), 4095u);
  EXPECT_EQ(log.questions[0].substr(4095 - tail.size()), tail);
  EXPECT_EQ(log.questions[0].substr(0, 4095 - tail.size()), log.debug_texts[0].substr(0, 4095 - tail.size()));
}

TEST(LeakTrackerDeathTest, NoAtThePromptEndsTheProcessWithCodeOne) {
  int cells[2];
  EXPECT_EXIT(
      {
        leak_tracker t([](const char*, const char*) { return false; }, debug_output);
        t.add_entry(&cells[0], "first.cpp", 10);
        t.add_entry(&cells[1], "second.cpp", 20);
      },
      testing::ExitedWithCode(1), "first\\.cpp");
}

TEST(LeakTrackerDeathTest, YesToAllLetsTheProcessEndWithItsOwnCode) {
  int cells[2];
  EXPECT_EXIT(
      {
        {
          leak_tracker t([](const char*, const char*) { return true; }, debug_output);
          t.add_entry(&cells[0], "first.cpp", 10);
          t.add_entry(&cells[1], "second.cpp", 20);
        }
        std::exit(3);
      },
      testing::ExitedWithCode(3), "first\\.cpp.*second\\.cpp");
}

}  // namespace
