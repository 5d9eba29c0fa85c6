// Pixel layouts of an image and the two pixel value forms (r, g, b, a order)
// that cursors convert to and from.
#pragma once

#include <cstdint>

enum color_model : int { bgr24 = 2, bgra32 = 3, bgra_float = 5 };

struct rgba8 {
  uint8_t r = 0, g = 0, b = 0, a = 0;
};

struct rgba_float {
  float r = 0, g = 0, b = 0, a = 0;
};

// Float alpha at or below this counts as transparent.
constexpr float float_alpha_epsilon = 1.52587890625e-05f;  // 2^-16

// v + 0.5 truncated toward zero, clamped to 0..255.
inline uint8_t to_byte(float v) {
  float t = v + 0.5f;
  if (!(t >= 1.0f)) return 0;  // also catches NaN
  if (t >= 255.0f) return 255;
  return static_cast<uint8_t>(static_cast<int>(t));
}

inline uint8_t scaled_to_byte(float v) { return to_byte(v * 255.0f); }

// The single-precision constant nearest 1/255.
constexpr float byte_to_unit = 0.003921569f;
