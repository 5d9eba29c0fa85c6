// Pasting one image into another at an offset, clipped to the destination:
// every pixel with conversion ("Copying DIB"), or only the opaque ones.
#pragma once

#include <cstdint>
#include <cstring>

#include "image/color_model.h"

class dib;
class progress_tracker;

void copy_dib(dib* src, dib* dst, int32_t x, int32_t y, progress_tracker* progress);
void copy_opaque(dib* src, dib* dst, int32_t x, int32_t y, progress_tracker* progress);

// Runs of n pixels: a pixel is copied whole when its alpha says it is opaque.
void copy_opaque_float_run(const float* src, float* dst, int32_t n);
void copy_opaque_bgra32_run(const uint8_t* src, uint8_t* dst, int32_t n);

// Whether copy_opaque takes pixel x of a source row of the given model.
inline bool copy_opaque_takes(color_model model, const uint8_t* row, int32_t x) {
  switch (model) {
    case bgra32:
      return row[4 * x + 3] != 0;
    case bgra_float: {
      float a;
      std::memcpy(&a, row + 16 * static_cast<size_t>(x) + 12, sizeof a);
      return a > float_alpha_epsilon;
    }
    default:
      return true;
  }
}
