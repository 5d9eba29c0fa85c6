#include "io/regular_input.h"

#include <sys/stat.h>

#include <stdexcept>

#include "io/failure_cause.h"

namespace {
// What the name is when it exists and is no regular file; empty otherwise.
std::string other_kind(const std::string& file_name) {
  struct stat info {};
  if (stat(file_name.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return "";
  if (S_ISFIFO(info.st_mode)) return "a named pipe";
  if (S_ISCHR(info.st_mode)) return "a character device";
  if (S_ISBLK(info.st_mode)) return "a block device";
  if (S_ISSOCK(info.st_mode)) return "a socket";
  if (S_ISDIR(info.st_mode)) return "a folder";
  return "not a file";
}
}  // namespace

bool is_regular_input(const std::string& file_name) { return other_kind(file_name).empty(); }

void check_regular_input(const std::string& file_name) {
  const std::string kind = other_kind(file_name);
  if (kind.empty()) return;
  throw std::runtime_error(with_cause("Image Load Error: Not a regular file: " + file_name,
                                      "it is " + kind + "; inputs are read more than once, so save it to a file first"));
}
