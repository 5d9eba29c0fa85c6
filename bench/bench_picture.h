// The synthetic picture the kernel benchmarks run on: 4000 x 3000 bgra32 gradients with
// noise, opaque but for a transparent disc and a transparent band on the left.
#pragma once

#include <cstdint>

#include "image/dib.h"

constexpr int32_t picture_width = 4000, picture_height = 3000;

inline dib_ptr make_picture(uint32_t seed) {
  dib_ptr image(create_dib(picture_width, picture_height, 32));
  uint32_t state = seed;
  for (int32_t y = 0; y < picture_height; ++y) {
    locked_row row(*image, y);
    uint8_t* p = row.bytes();
    for (int32_t x = 0; x < picture_width; ++x, p += 4) {
      state = state * 1664525u + 1013904223u;
      const uint32_t noise = state >> 27;
      p[0] = static_cast<uint8_t>((x / 16 + noise) & 255);
      p[1] = static_cast<uint8_t>((y / 12 + 2 * noise) & 255);
      p[2] = static_cast<uint8_t>(((x + y) / 28 + noise) & 255);
      const int64_t dx = x - 2600, dy = y - 1400;
      const bool hole = dx * dx + dy * dy < 500 * 500 || x < 150;
      p[3] = hole ? 0 : 255;
    }
  }
  return image;
}
