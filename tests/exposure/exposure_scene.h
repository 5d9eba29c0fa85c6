// Shots cut from one synthetic scene with known gains and lens falloff, written as TIFF
// files, for the exposure tests.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "exposure/estimate_exposure.h"
#include "image/dib.h"
#include "io/save_image.h"

namespace exposure_scene {

// Smooth shading with texture at several scales, 0.1 .. 0.85 in every channel; repeats
// every `period` columns when period > 0.
inline double value(long x, long y, int c, long period = 0) {
  if (period > 0) x = ((x % period) + period) % period;
  const double two_pi = 6.283185307179586;
  const double phase = period > 0 ? two_pi / period : 0.013;
  double v = 0.45 + 0.18 * std::sin(x * phase * 3 + c) * std::cos(y * 0.021 - c) +
             0.1 * std::sin((x * (period > 0 ? phase * 20 : 0.17)) + y * 0.11 + c);
  v += ((x / 7 + y / 5 + c) % 3) * 0.03;
  return v;
}

struct shot {
  long x = 0, y = 0;
  int width = 0, height = 0;
  double gain[3] = {1, 1, 1};  // what the camera multiplied the scene by
  double falloff = 0.0;        // V(r) = 1 + falloff * r^2, r = 1 in the corners
  long period = 0;             // the scene repeats every period columns
};

// The shot's pixels: scene x gain x falloff, 8-bit (bgra32) or 16-bit (float), opaque.
inline dib* render(const shot& s, bool sixteen_bit) {
  dib* image = sixteen_bit ? create_float_dib(s.width, s.height) : create_dib(s.width, s.height, 32);
  const double hx = 0.5 * s.width, hy = 0.5 * s.height;
  for (int y = 0; y < s.height; ++y) {
    locked_row row(*image, y);
    for (int x = 0; x < s.width; ++x) {
      const double dx = x + 0.5 - hx, dy = y + 0.5 - hy;
      const double v = 1.0 + s.falloff * (dx * dx + dy * dy) / (hx * hx + hy * hy);
      for (int c = 0; c < 3; ++c) {
        const double p = std::min(1.0, value(s.x + x, s.y + y, c, s.period) * s.gain[c] * v);
        if (sixteen_bit)
          row.as<float>()[4 * x + 2 - c] = static_cast<float>(std::lround(p * 65535) / 65535.0);
        else
          row.bytes()[4 * x + 2 - c] = static_cast<uint8_t>(std::lround(p * 255));
      }
      if (sixteen_bit)
        row.as<float>()[4 * x + 3] = 1.0f;
      else
        row.bytes()[4 * x + 3] = 255;
    }
  }
  return image;
}

inline std::vector<exposure_input> write(const std::string& folder, const std::vector<shot>& shots,
                                         bool sixteen_bit = false) {
  std::vector<exposure_input> inputs;
  for (size_t i = 0; i < shots.size(); ++i) {
    const std::string name = folder + "/shot_" + std::to_string(i) + ".tif";
    dib_ptr image(render(shots[i], sixteen_bit));
    save_image(name, image.get(), nullptr);
    inputs.push_back({name, static_cast<int32_t>(shots[i].x), static_cast<int32_t>(shots[i].y)});
  }
  return inputs;
}

// Shots of w x h in a grid, stepping by 70 % of their size, with gains that differ.
inline std::vector<shot> grid(int columns, int rows, int w, int h) {
  std::vector<shot> shots;
  const double gains[][3] = {{1.0, 1.0, 1.0},    {1.18, 1.15, 1.2},  {0.85, 0.88, 0.83},
                             {1.08, 1.02, 0.95}, {0.92, 0.97, 1.05}, {1.25, 1.2, 1.22},
                             {0.8, 0.82, 0.86},  {1.1, 1.12, 1.07},  {0.95, 0.9, 0.93}};
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      shot s;
      s.x = c * (w * 7 / 10);
      s.y = r * (h * 7 / 10);
      s.width = w;
      s.height = h;
      const double* g = gains[shots.size() % 9];
      for (int k = 0; k < 3; ++k) s.gain[k] = g[k];
      shots.push_back(s);
    }
  return shots;
}

}  // namespace exposure_scene
