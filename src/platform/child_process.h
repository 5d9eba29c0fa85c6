// Work done in a forked child, so that its crash, signal or endless loop cannot take the
// caller down: the child answers through a pipe, the caller reads it against a deadline.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>

class child_process {
 public:
  enum class ending { exited, signalled, timed_out };
  struct outcome {
    ending how = ending::exited;
    int code = 0;  // exit status or signal number
  };

  // Forks; the child runs body(pipe write end) and leaves through _exit with its result,
  // without core file and killed when the caller dies. The deadline counts from here.
  // Throws runtime_error (with the system's reason) when no child can be started.
  child_process(const std::function<int(int)>& body, uint32_t deadline_ms);
  ~child_process();  // kills and reaps a child that is still there
  child_process(const child_process&) = delete;
  child_process& operator=(const child_process&) = delete;

  // A new deadline, counted from now.
  void set_deadline(uint32_t deadline_ms);
  // Exactly n bytes from the child; false when it closed the pipe first or the deadline passed.
  bool read(void* buffer, size_t n);
  // How the child ended; a child past the deadline is killed first.
  outcome finish();

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  bool timed_out_ = false;
  int64_t deadline_ns_ = 0;
};

// Writes all n bytes to fd, retrying short writes; false on a write error.
bool write_all(int fd, const void* data, size_t n);
