#include "platform/diagnostics.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Runs the dialogue with scripted keyboard input; returns the answer and what was shown.
struct dialogue {
  bool answer;
  std::string shown;
};

dialogue run(const std::string& typed) {
  std::string input = typed;
  // fmemopen refuses an empty buffer; /dev/null gives the same immediate end of input.
  std::FILE* in = input.empty() ? std::fopen("/dev/null", "r") : fmemopen(input.data(), input.size(), "r");
  char* out_buffer = nullptr;
  size_t out_size = 0;
  std::FILE* out = open_memstream(&out_buffer, &out_size);
  bool answer = ask_yes_no_on(in, out, "Message", "Leak here\nContinue execution ?");
  std::fclose(in);
  std::fclose(out);
  dialogue d{answer, std::string(out_buffer, out_size)};
  std::free(out_buffer);
  return d;
}

const std::string one_prompt = "[Message]\nLeak here\nContinue execution ? [y/n] ";

TEST(Diagnostics, PromptAcceptsYesAndNoWords) {
  EXPECT_TRUE(run("y\n").answer);
  EXPECT_TRUE(run("yes\n").answer);
  EXPECT_TRUE(run("  YES \n").answer);
  EXPECT_FALSE(run("n\n").answer);
  EXPECT_FALSE(run("No\n").answer);
  EXPECT_FALSE(run("no").answer);  // last line without line end
  EXPECT_EQ(run("n\n").shown, one_prompt);
}

TEST(Diagnostics, PromptAsksAgainUntilTheAnswerIsClear) {
  dialogue d = run("maybe\n\nnope\nn\n");
  EXPECT_FALSE(d.answer);
  EXPECT_EQ(d.shown, one_prompt + one_prompt + one_prompt + one_prompt);
}

TEST(Diagnostics, EndOfInputCountsAsYes) {
  dialogue d = run("");
  EXPECT_TRUE(d.answer);
  EXPECT_EQ(d.shown, one_prompt);
  EXPECT_TRUE(run("what\n").answer);
}

TEST(Diagnostics, DebugOutputGoesToStandardError) {
  testing::internal::CaptureStderr();
  debug_output("first text");
  debug_output("second");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "first text\nsecond\n");
}

}  // namespace
