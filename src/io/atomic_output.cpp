#include "io/atomic_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "io/failure_cause.h"
#include "platform/file_identity.h"

namespace {
// Leaves room for the ".qm_tmp_XXXXXX" part within the usual 255-byte name limit.
constexpr size_t max_stem_length = 200;

// The permissions a plain fopen would give a new file.
mode_t new_file_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

bool unnamed_files_allowed = true;

std::string errno_text(int code) { return code ? std::strerror(code) : std::string(); }

// Renaming over a pipe or a device would put a plain file in its place, and a TIFF is
// written with seeks back that a stream cannot take: those are refused, not replaced.
std::string refusal_of(const std::string& target) {
  switch (kind_of(target)) {
    case file_kind::missing:
    case file_kind::regular:
      return {};
    case file_kind::folder:
      return errno_text(EISDIR);
    case file_kind::fifo:
      return "It is a named pipe (FIFO); outputs are written as regular files only";
    case file_kind::device:
      return "It is a device; outputs are written as regular files only";
    default:
      return "It is not a regular file; outputs are written as regular files only";
  }
}

// Gives the unnamed file at fd the name `name`; fails with EEXIST when it is taken.
bool link_unnamed(int fd, const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno == EEXIST) return false;
  // Without /proc, a privileged process can still link the descriptor itself.
  return linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
}
}  // namespace

atomic_output::atomic_output(const std::string& target, std::string failure_message)
    : target_(follow_links(target)), failure_message_(std::move(failure_message)) {
  // Through a link the file it points to is replaced, beside itself; the link stays.
  const size_t slash = target_.rfind('/');
  folder_ = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  const size_t dot = base.rfind('.');
  const std::string extension = dot == std::string::npos ? "" : base.substr(dot);
  std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
  if (stem.size() > max_stem_length) stem.resize(max_stem_length);
  pattern_ = folder_ + "." + stem + ".qm_tmp_XXXXXX" + extension;
  extension_length_ = static_cast<int>(extension.size());

  if (const std::string refusal = refusal_of(target_); !refusal.empty()) fail(refusal);

  // An unnamed file cannot be left behind by a killed run.
  const std::string dir = folder_.empty() ? "." : folder_;
  fd_ = unnamed_files_allowed ? open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, new_file_mode()) : -1;
  if (fd_ >= 0) return;
  const int tmpfile_error = unnamed_files_allowed ? errno : EOPNOTSUPP;
  if (tmpfile_error == ENOENT || tmpfile_error == EACCES || tmpfile_error == ENOTDIR || tmpfile_error == EROFS)
    fail(errno_text(tmpfile_error));
  // The file system has no unnamed files: a hidden named one, removed on failure.
  std::vector<char> name(pattern_.begin(), pattern_.end());
  name.push_back('\0');
  fd_ = mkstemps(name.data(), extension_length_);
  if (fd_ < 0) fail(errno_text(errno));
  temp_name_ = name.data();
  if (fchmod(fd_, new_file_mode()) != 0) fail(errno_text(errno));
}

void atomic_output::allow_unnamed_files(bool allow) { unnamed_files_allowed = allow; }

atomic_output::~atomic_output() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !temp_name_.empty()) std::remove(temp_name_.c_str());
}

void atomic_output::fail(const std::string& cause) const {
  throw std::runtime_error(with_cause(failure_message_, cause));
}

std::string atomic_output::place_under_temporary_name(const std::string& pattern, int extension_length) {
  // mkstemps only finds a free name; the file it makes is dropped for the link.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int probe = mkstemps(name.data(), extension_length);
    if (probe < 0) fail(errno_text(errno));
    close(probe);
    unlink(name.data());
    if (link_unnamed(fd_, name.data())) return name.data();
    if (errno != EEXIST) fail(errno_text(errno));
  }
  fail(errno_text(EEXIST));
}

void atomic_output::flush() {
  // The data must be on disk before it takes the target's name, or a crash could leave
  // an empty file where the old one was.
  if (!flushed_ && fsync(fd_) != 0) fail(errno_text(errno));
  flushed_ = true;
}

void atomic_output::commit() {
  flush();
  if (temp_name_.empty()) {
    if (link_unnamed(fd_, target_)) {
      committed_ = true;
      return;
    }
    if (errno != EEXIST) fail(errno_text(errno));
    // The target exists: link under a hidden name, then rename over it atomically.
    temp_name_ = place_under_temporary_name(pattern_, extension_length_);
  }
  if (std::rename(temp_name_.c_str(), target_.c_str()) != 0) fail(errno_text(errno));
  committed_ = true;
}
