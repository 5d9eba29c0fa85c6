// Where a cropped TIFF layer says it lies: its XPOSITION/YPOSITION tags in pixels and,
// when given, the size of the full image it was cropped from (the PIXAR full-size tags).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct tiff_position {
  int64_t x = 0;  // position x resolution, rounded to the nearest pixel
  int64_t y = 0;
  int64_t width = 0;  // the layer's own size
  int64_t height = 0;
  int64_t full_width = 0;  // 0 when the file does not say
  int64_t full_height = 0;
  float x_resolution = 1, y_resolution = 1;  // pixels per unit, 1 when missing
  uint16_t resolution_unit = 1;  // none when missing
};

// Empty for a file that is not a TIFF (or no regular file, left unread) or has neither
// position tag; one tag alone places the other axis at 0. A missing resolution counts as 1
// (the position is then in pixels). Throws std::runtime_error "Damaged position tag TAG in
// FILE" with the cause for a position or its resolution that is not one number (a wrong
// type, no value or several, n/0), a resolution that is not positive, or a position too far
// out to be a canvas offset.
std::optional<tiff_position> tiff_position_load(const std::string& file_name);
