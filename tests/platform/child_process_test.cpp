#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/child_process.h"

TEST(ChildProcess, AnswerAndExitStatusArrive) {
  child_process child([](int fd) { return write_all(fd, "hello", 5) ? 3 : 4; }, 10000);
  char answer[6] = {};
  ASSERT_TRUE(child.read(answer, 5));
  EXPECT_STREQ(answer, "hello");
  const child_process::outcome end = child.finish();
  EXPECT_EQ(end.how, child_process::ending::exited);
  EXPECT_EQ(end.code, 3);
}

TEST(ChildProcess, ShortAnswerCrashAndSilenceAreTold) {
  child_process short_answer([](int fd) { return write_all(fd, "ab", 2) ? 0 : 1; }, 10000);
  char buffer[4];
  EXPECT_FALSE(short_answer.read(buffer, 4));
  EXPECT_EQ(short_answer.finish().how, child_process::ending::exited);

  // Raised, not caused: a sanitizer would report a real fault first (it is reset in the child).
  child_process crashing([](int) { return raise(SIGSEGV); }, 10000);
  EXPECT_FALSE(crashing.read(buffer, 1));
  const child_process::outcome crash = crashing.finish();
  EXPECT_EQ(crash.how, child_process::ending::signalled);
  EXPECT_EQ(crash.code, SIGSEGV);

  child_process silent(
      [](int) {
        for (;;) pause();
        return 0;
      },
      200);
  EXPECT_FALSE(silent.read(buffer, 1));
  EXPECT_EQ(silent.finish().how, child_process::ending::timed_out);
}

TEST(ChildProcess, ChildWritesNothingOfTheParentsBufferedOutput) {
  // Text the parent has buffered but not yet flushed must not be printed twice.
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  std::fputs("once", f);
  {
    child_process child([](int) { return 0; }, 10000);
    child.finish();
  }
  std::fflush(f);
  std::rewind(f);
  char text[16] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text - 1, f), 4u);
  std::fclose(f);
}
