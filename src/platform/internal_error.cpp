#include "platform/internal_error.h"

#include <cstring>
#include <string>

void fail_internal(const char* condition, const char* file, int line) {
  const char* src = std::strstr(file, "src/");
  throw internal_error(std::string(src ? src : file) + ":" + std::to_string(line) + ": " + condition);
}
