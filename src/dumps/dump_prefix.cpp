#include "dumps/dump_prefix.h"

#include <cstdio>

namespace {
int32_t dump_counter = 0;
std::string& prefix_text() {
  static std::string text;
  return text;
}
}  // namespace

void next_dump_prefix(blend_options* options) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04x", static_cast<unsigned>(dump_counter));
  ++dump_counter;
  prefix_text() = std::string(digits) + "_Verb_";
  options->dump_prefix = prefix_text().c_str();
}

std::string dump_file_name(const blend_options& options, const std::string& name, const char* extension) {
  std::string prefix = options.dump_prefix ? options.dump_prefix : "";
  return prefix + "_" + name + extension;
}

void reset_dump_counter() { dump_counter = 0; }
