// Row conversions between the dib's pixel layouts and the interleaved R, G, B(, A)
// samples of the image libraries. Each gives the bytes a cursor conversion would.
#pragma once

#include <cstdint>

#include "image/color_model.h"

// R, G, B(, A) bytes (3 or 4 per pixel) to a bgra32 row, as set_bytes stores them;
// alpha is 255 for 3-byte pixels and 255 - A when invert_alpha is set.
void rgb_bytes_to_bgra32(const uint8_t* src, int32_t bytes_per_pixel, bool invert_alpha, uint8_t* dst,
                         int32_t width);

// A row of the given model to R, G, B(, A) bytes (out_channels 3 or 4), as get_bytes
// reads them: float channels go through scaled_to_byte.
void row_to_rgb_bytes(color_model model, const uint8_t* row, uint8_t* dst, int32_t out_channels,
                      int32_t width);

// A float channel as a 16-bit TIFF sample: above 1 gives 65535, below 0 (and NaN) 0,
// otherwise value * 65535 truncated.
inline uint16_t unit_to_sample16(float v) {
  if (v > 1.0f) return 65535;
  if (!(v >= 0.0f)) return 0;
  return static_cast<uint16_t>(v * 65535.0f);
}

// A bgra_float row to 16-bit R, G, B, A samples.
void float_row_to_rgba16(const float* row, uint16_t* dst, int32_t width);

// Colours stored multiplied by their alpha (TIFF's associated alpha) divided back, in place,
// to the plain colours the dib holds. Bytes round to nearest, (c * 255 + a / 2) / a: a colour
// written as round(c * a / 255) comes back within 255 / (2a) of c, exactly where a is 255. A
// colour above its alpha (a damaged file) gives 255. Pixels of alpha 0 keep their stored
// colour: there is nothing to divide by, and a sound file stores 0 there anyway.
void unpremultiply_bgra32(uint8_t* row, int32_t width);
// The same for floats: c / a, at most 1.
void unpremultiply_bgra_float(float* row, int32_t width);

// libtiff's packed RGBA raster words to a bgra32 row.
void packed_abgr_to_bgra32(const uint32_t* src, uint8_t* dst, int32_t width);
