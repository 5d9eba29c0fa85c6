#include "io/pixel_rows.h"

#include <tiffio.h>

void rgb_bytes_to_bgra32(const uint8_t* src, int32_t bytes_per_pixel, bool invert_alpha, uint8_t* dst,
                         int32_t width) {
  if (bytes_per_pixel == 4) {
    for (int32_t x = 0; x < width; ++x, src += 4, dst += 4) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
      dst[3] = invert_alpha ? static_cast<uint8_t>(255 - src[3]) : src[3];
    }
  } else {
    for (int32_t x = 0; x < width; ++x, src += 3, dst += 4) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
      dst[3] = 255;
    }
  }
}

void row_to_rgb_bytes(color_model model, const uint8_t* row, uint8_t* dst, int32_t out_channels,
                      int32_t width) {
  const bool with_alpha = out_channels == 4;
  switch (model) {
    case bgr24:
      for (int32_t x = 0; x < width; ++x, row += 3, dst += out_channels) {
        dst[0] = row[2];
        dst[1] = row[1];
        dst[2] = row[0];
        if (with_alpha) dst[3] = 255;
      }
      break;
    case bgra32:
      for (int32_t x = 0; x < width; ++x, row += 4, dst += out_channels) {
        dst[0] = row[2];
        dst[1] = row[1];
        dst[2] = row[0];
        if (with_alpha) dst[3] = row[3];
      }
      break;
    case bgra_float: {
      const float* f = reinterpret_cast<const float*>(row);
      for (int32_t x = 0; x < width; ++x, f += 4, dst += out_channels) {
        dst[0] = scaled_to_byte(f[2]);
        dst[1] = scaled_to_byte(f[1]);
        dst[2] = scaled_to_byte(f[0]);
        if (with_alpha) dst[3] = scaled_to_byte(f[3]);
      }
      break;
    }
  }
}

void float_row_to_rgba16(const float* row, uint16_t* dst, int32_t width) {
  for (int32_t x = 0; x < width; ++x, row += 4, dst += 4) {
    dst[0] = unit_to_sample16(row[2]);
    dst[1] = unit_to_sample16(row[1]);
    dst[2] = unit_to_sample16(row[0]);
    dst[3] = unit_to_sample16(row[3]);
  }
}

void packed_abgr_to_bgra32(const uint32_t* src, uint8_t* dst, int32_t width) {
  for (int32_t x = 0; x < width; ++x, dst += 4) {
    const uint32_t p = src[x];
    dst[0] = static_cast<uint8_t>(TIFFGetB(p));
    dst[1] = static_cast<uint8_t>(TIFFGetG(p));
    dst[2] = static_cast<uint8_t>(TIFFGetR(p));
    dst[3] = static_cast<uint8_t>(TIFFGetA(p));
  }
}

void unpremultiply_bgra32(uint8_t* row, int32_t width) {
  for (int32_t x = 0; x < width; ++x, row += 4) {
    const int a = row[3];
    if (a == 0) continue;
    for (int c = 0; c < 3; ++c) {
      const int plain = (row[c] * 255 + a / 2) / a;
      row[c] = static_cast<uint8_t>(plain > 255 ? 255 : plain);
    }
  }
}

void unpremultiply_bgra_float(float* row, int32_t width) {
  for (int32_t x = 0; x < width; ++x, row += 4) {
    const float a = row[3];
    if (!(a > 0.0f)) continue;
    for (int c = 0; c < 3; ++c) {
      const float plain = row[c] / a;
      row[c] = plain > 1.0f ? 1.0f : plain;
    }
  }
}
