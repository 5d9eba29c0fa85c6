#include "platform/file_identity.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {
std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string last_name(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
}  // namespace

std::string follow_links(const std::string& path) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return at;
    std::vector<char> target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1);
    const ssize_t n = readlink(at.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) return at;
    const std::string next(target.data(), static_cast<size_t>(n));
    at = next.front() == '/' || at.find('/') == std::string::npos ? next : folder_of(at) + "/" + next;
  }
  return at;
}

file_kind kind_of(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return file_kind::missing;
  if (S_ISREG(info.st_mode)) return file_kind::regular;
  if (S_ISDIR(info.st_mode)) return file_kind::folder;
  if (S_ISFIFO(info.st_mode)) return file_kind::fifo;
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return file_kind::device;
  if (S_ISSOCK(info.st_mode)) return file_kind::socket;
  return file_kind::other;
}

file_identity identify(const std::string& path) {
  file_identity id;
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) {
    id.known = id.exists = true;
  } else {
    const std::string resolved = follow_links(path);
    if (stat(folder_of(resolved).c_str(), &info) != 0) return id;
    id.known = true;
    id.name = last_name(resolved);
  }
  id.device = static_cast<uint64_t>(info.st_dev);
  id.inode = static_cast<uint64_t>(info.st_ino);
  return id;
}
