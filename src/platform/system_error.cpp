#include "platform/system_error.h"

#include <cerrno>
#include <cstring>

std::string system_error_text() {
  int code = errno;
  if (code == 0) return "no error";
  return std::strerror(code);
}

void clear_system_error() { errno = 0; }
