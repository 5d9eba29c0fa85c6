// Small helpers for building and comparing pictures in tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "image/dib.h"
#include "image/dib_cursor.h"

namespace test_images {

// Every row byte (padding excluded) of the picture, top row first.
inline std::vector<uint8_t> pixel_bytes(dib* image) {
  const size_t row_bytes = static_cast<size_t>(image->width()) * (image->bits_per_pixel() / 8);
  std::vector<uint8_t> out(row_bytes * image->height());
  for (int y = 0; y < image->height(); ++y) {
    locked_row row(*image, y);
    std::memcpy(out.data() + row_bytes * y, row.bytes(), row_bytes);
  }
  return out;
}

// Fills every pixel byte with random values; alpha (every 4th byte of bgra32) is
// zero in about a quarter of the pixels so that transparent areas occur.
inline void fill_random(dib* image, uint32_t seed) {
  std::mt19937 rng(seed);
  const size_t row_bytes = static_cast<size_t>(image->width()) * (image->bits_per_pixel() / 8);
  for (int y = 0; y < image->height(); ++y) {
    locked_row row(*image, y);
    if (image->model() == bgra_float) {
      float* f = row.as<float>();
      for (int x = 0; x < image->width() * 4; ++x) f[x] = static_cast<float>(rng() % 1001) / 1000.0f;
    } else {
      for (size_t i = 0; i < row_bytes; ++i) row.bytes()[i] = static_cast<uint8_t>(rng());
      if (image->model() == bgra32)
        for (int x = 0; x < image->width(); ++x)
          if (rng() % 4 == 0) row.bytes()[4 * x + 3] = 0;
    }
  }
}

inline rgba8 get_pixel(dib* image, int x, int y) {
  cursor_handle c = make_cursor(image);
  c->move_to(x, y);
  rgba8 p;
  c->get_bytes(p);
  return p;
}

inline void set_pixel(dib* image, int x, int y, rgba8 p) {
  cursor_handle c = make_cursor(image);
  c->move_to(x, y);
  c->set_bytes(p);
}

inline bool operator==(const rgba8& a, const rgba8& b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

}  // namespace test_images
