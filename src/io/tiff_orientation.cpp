#include "io/tiff_orientation.h"

#include <algorithm>
#include <cstring>

#include "io/locked_rows.h"

namespace {
constexpr int32_t batch_rows = 64;

// Orientations 2 to 4: each result row is one stored row, read forwards or backwards.
void copy_mirrored(dib& source, dib& result, uint16_t orientation, size_t pixel_bytes) {
  const int32_t width = source.width(), height = source.height();
  const bool mirror_rows = orientation == 3 || orientation == 4, mirror_columns = orientation == 2 || orientation == 3;
  for (int32_t y = 0; y < height; ++y) {
    locked_row from(source, mirror_rows ? height - 1 - y : y), to(result, y);
    if (!mirror_columns) {
      std::memcpy(to.bytes(), from.bytes(), pixel_bytes * static_cast<size_t>(width));
      continue;
    }
    for (int32_t x = 0; x < width; ++x)
      std::memcpy(to.bytes() + pixel_bytes * static_cast<size_t>(x),
                  from.bytes() + pixel_bytes * static_cast<size_t>(width - 1 - x), pixel_bytes);
  }
}

// Orientations 5 to 8: result row Y is stored column x, result column X stored row y.
// A batch of result rows takes one pass over the stored rows.
void copy_transposed(dib& source, dib& result, uint16_t orientation, size_t pixel_bytes) {
  const int32_t width = source.width(), height = source.height();
  const bool rows_from_left = orientation == 5 || orientation == 8;   // stored row 0 is the left side
  const bool columns_from_top = orientation == 5 || orientation == 6;  // stored column 0 is the top
  for (int32_t first = 0; first < width; first += batch_rows) {
    const int32_t count = std::min(batch_rows, width - first);
    const locked_rows targets(result, first, count);
    for (int32_t y = 0; y < height; ++y) {
      const locked_row from(source, y);
      const size_t column = static_cast<size_t>(rows_from_left ? y : height - 1 - y);
      for (int32_t k = 0; k < count; ++k) {
        const int32_t x = columns_from_top ? first + k : width - 1 - (first + k);
        std::memcpy(targets[k] + pixel_bytes * column, from.bytes() + pixel_bytes * static_cast<size_t>(x), pixel_bytes);
      }
    }
  }
}
}  // namespace

owned_dib apply_tiff_orientation(owned_dib image, uint16_t orientation) {
  if (orientation < 2 || orientation > 8) return image;
  const bool swap_sides = orientation >= 5;
  const int32_t width = swap_sides ? image->height() : image->width();
  const int32_t height = swap_sides ? image->width() : image->height();
  owned_dib result(image->model() == bgra_float ? create_float_dib(width, height) : create_dib(width, height, 32));
  const size_t pixel_bytes = static_cast<size_t>(image->bits_per_pixel() / 8);
  if (swap_sides)
    copy_transposed(*image, *result, orientation, pixel_bytes);
  else
    copy_mirrored(*image, *result, orientation, pixel_bytes);
  return result;
}
