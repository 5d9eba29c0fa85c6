#include "run/tiff_placement.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <system_error>

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

std::optional<output_position> reference_position(const input_list& inputs) {
  for (const input_image_spec& input : inputs) {
    const std::optional<tiff_position> p = tiff_position_load(input.file_name);
    if (!p) continue;
    output_position position;
    position.x_resolution = p->x_resolution;
    position.y_resolution = p->y_resolution;
    position.resolution_unit = p->resolution_unit;
    position.full_width = static_cast<uint32_t>(p->full_width);
    position.full_height = static_cast<uint32_t>(p->full_height);
    return position;
  }
  return std::nullopt;
}

std::string unused_position_tags_notice(const input_list& inputs) {
  size_t tagged = 0;
  const std::string* first = nullptr;
  for (const input_image_spec& input : inputs) {
    // A pipe or device read here would lose what the loader needs.
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(input.file_name, ignored)) continue;
    bool has_tags = true;
    try {
      has_tags = tiff_position_load(input.file_name).has_value();
    } catch (const std::runtime_error&) {
      // Tags too far out to use are still tags; unused, they harm nothing.
    }
    if (!has_tags) continue;
    if (!first) first = &input.file_name;
    ++tagged;
  }
  if (tagged == 0) return "";
  const std::string who =
      tagged == 1 ? *first + " carries" : *first + " and " + std::to_string(tagged - 1) + " more inputs carry";
  return "Warning: " + who +
         " position tags, unused without --tiff-positions (or -f): every input is placed by -xoff/-yoff alone";
}
