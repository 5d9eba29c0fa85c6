#include "run/tiff_placement.h"

#include <cstdint>
#include <stdexcept>

#include "io/tiff_position_load.h"

namespace {
int32_t moved(int32_t offset, int64_t by, const std::string& file_name) {
  const int64_t v = int64_t{offset} + by;
  if (v < INT32_MIN || v > INT32_MAX)
    throw std::runtime_error("Position tags of " + file_name + " place it beyond the canvas limits");
  return static_cast<int32_t>(v);
}

bool outside_full_image(const tiff_position& p) {
  const bool beyond_width = p.full_width > 0 && (p.x < 0 || p.x + p.width > p.full_width);
  const bool beyond_height = p.full_height > 0 && (p.y < 0 || p.y + p.height > p.full_height);
  return beyond_width || beyond_height;
}
}  // namespace

std::vector<std::string> place_by_tiff_tags(input_list& inputs) {
  std::vector<std::string> warnings;
  for (input_image_spec& input : inputs) {
    const std::optional<tiff_position> p = tiff_position_load(input.file_name);
    if (!p) continue;
    input.x_offset = moved(input.x_offset, p->x, input.file_name);
    input.y_offset = moved(input.y_offset, p->y, input.file_name);
    if (outside_full_image(*p))
      warnings.push_back("Warning: the position tags of " + input.file_name + " place it outside the " +
                         std::to_string(p->full_width) + " x " + std::to_string(p->full_height) +
                         " image they say it was cropped from");
  }
  return warnings;
}
