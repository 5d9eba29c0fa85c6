#include "io/atomic_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {
// Leaves room for the ".qm_tmp_XXXXXX" part within the usual 255-byte name limit.
constexpr size_t max_stem_length = 200;

// The permissions a plain fopen would give a new file.
mode_t new_file_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}
}  // namespace

atomic_output::atomic_output(const std::string& target, std::string failure_message)
    : target_(target), failure_message_(std::move(failure_message)) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  const size_t dot = base.rfind('.');
  const std::string extension = dot == std::string::npos ? "" : base.substr(dot);
  std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
  if (stem.size() > max_stem_length) stem.resize(max_stem_length);

  std::string pattern = folder + "." + stem + ".qm_tmp_XXXXXX" + extension;
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemps(name.data(), static_cast<int>(extension.size()));
  if (fd < 0) throw std::runtime_error(failure_message_);
  temp_name_ = name.data();
  const bool mode_set = fchmod(fd, new_file_mode()) == 0;
  close(fd);
  if (!mode_set) {
    std::remove(temp_name_.c_str());
    throw std::runtime_error(failure_message_);
  }
}

atomic_output::~atomic_output() {
  if (!committed_) std::remove(temp_name_.c_str());
}

void atomic_output::commit() {
  // The data must be on disk before the rename makes it the target, or a crash could
  // leave an empty file where the old one was.
  const int fd = open(temp_name_.c_str(), O_RDONLY);
  const bool synced = fd >= 0 && fsync(fd) == 0;
  if (fd >= 0) close(fd);
  if (!synced || std::rename(temp_name_.c_str(), target_.c_str()) != 0)
    throw std::runtime_error(failure_message_);
  committed_ = true;
}
