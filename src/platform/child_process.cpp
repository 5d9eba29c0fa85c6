#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {
int64_t now_ns() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec;
}

// The parent's id is taken before the fork, to see whether it died before PDEATHSIG was set.
[[noreturn]] void run_child(const std::function<int(int)>& body, int fd,  // NOLINT(bugprone-easily-swappable-parameters)
                            pid_t parent) {
  // A hostile input must not leave a core file, nor a child looping after its caller died.
  // Both are best effort: a child without them still answers.
  const rlimit no_core{0, 0};
  static_cast<void>(setrlimit(RLIMIT_CORE, &no_core));
  static_cast<void>(prctl(PR_SET_PDEATHSIG, SIGKILL));
  // A crash ends the child by its signal, also where a sanitizer would catch it and report.
  for (int crash : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) static_cast<void>(signal(crash, SIG_DFL));
  if (getppid() != parent) _exit(127);
  int status = 127;
  try {
    status = body(fd);
  } catch (...) {
    status = 126;
  }
  // _exit: the parent's stdio buffers and atexit work are not the child's to flush or run.
  _exit(status);
}
}  // namespace

child_process::child_process(const std::function<int(int)>& body, uint32_t deadline_ms) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("cannot start the decoder: ") + std::strerror(errno));
  const pid_t parent = getpid();
  deadline_ns_ = now_ns() + int64_t{deadline_ms} * 1000000;
  pid_ = fork();
  if (pid_ < 0) {
    const int error = errno;
    close(fds[0]);
    close(fds[1]);
    throw std::runtime_error(std::string("cannot start the decoder: ") + std::strerror(error));
  }
  if (pid_ == 0) {
    close(fds[0]);
    run_child(body, fds[1], parent);
  }
  close(fds[1]);
  fd_ = fds[0];
}

child_process::~child_process() {
  if (fd_ >= 0) close(fd_);
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

void child_process::set_deadline(uint32_t deadline_ms) { deadline_ns_ = now_ns() + int64_t{deadline_ms} * 1000000; }

bool child_process::read(void* buffer, size_t n) {
  auto* out = static_cast<uint8_t*>(buffer);
  while (n > 0) {
    const int64_t left_ms = (deadline_ns_ - now_ns()) / 1000000;
    if (left_ms <= 0) {
      timed_out_ = true;
      return false;
    }
    pollfd p{fd_, POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(std::min<int64_t>(left_ms, 1000)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    const ssize_t got = ::read(fd_, out, n);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

child_process::outcome child_process::finish() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  // A child that has answered but not yet ended gets the rest of its deadline to do so.
  int status = 0;
  pid_t done = 0;
  while (!timed_out_ && (done = waitpid(pid_, &status, WNOHANG)) == 0) {
    if (now_ns() >= deadline_ns_) timed_out_ = true;
    else usleep(1000);
  }
  if (timed_out_) {
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return {ending::timed_out, 0};
  }
  pid_ = -1;
  if (done < 0) return {ending::exited, 127};
  if (WIFSIGNALED(status)) return {ending::signalled, WTERMSIG(status)};
  return {ending::exited, WEXITSTATUS(status)};
}

bool write_all(int fd, const void* data, size_t n) {
  const auto* in = static_cast<const uint8_t*>(data);
  while (n > 0) {
    const ssize_t put = ::write(fd, in, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    in += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}
