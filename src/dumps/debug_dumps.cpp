#include "dumps/debug_dumps.h"

#include <cstdio>

#include "io/save_image.h"

void debug_dumps::next_prefix() {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04x", static_cast<unsigned>(counter_));
  ++counter_;
  prefix_ = std::string(digits) + "_Verb_";
}

std::string debug_dumps::file_name(const std::string& name, const char* extension) const {
  return prefix_ + "_" + name + extension;
}

void debug_dumps::seam(const std::string& name, const dib_ptr& image) const {
  if (!seam_enabled() || !image) return;
  save_debug_image(file_name(name, ".png"), image.get());
}

void debug_dumps::pyramid(const std::string& name, const dib_ptr& image) const {
  if (!pyramid_enabled() || !image) return;
  save_image(file_name(name, ".tif"), image.get(), nullptr);
}
