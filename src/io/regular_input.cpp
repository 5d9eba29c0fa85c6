#include "io/regular_input.h"

#include <stdexcept>

#include "io/failure_cause.h"
#include "platform/file_identity.h"

namespace {
// What the name is when it exists and is no regular file; empty otherwise.
std::string other_kind(const std::string& file_name) {
  switch (kind_of(file_name)) {
    case file_kind::missing:
    case file_kind::regular: return "";
    case file_kind::fifo: return "a named pipe";
    case file_kind::device: return "a device";
    case file_kind::socket: return "a socket";
    case file_kind::folder: return "a folder";
    case file_kind::other: break;
  }
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
