#include "exposure/exposure_correction.h"

#include <algorithm>
#include <cmath>

#include "image/color_model.h"
#include "image/dib.h"
#include "platform/parallel.h"

namespace {
// Factors are exact on a lattice of points `step` pixels apart and bilinear in between:
// an exp per pixel and channel would cost more than reading the input. The fields change
// over the whole picture, so a step of at most 1/64 of its side keeps the error of the
// interpolation below 1e-4.
struct axis {
  int32_t side, step, points;
  explicit axis(int32_t length)
      : side(length), step(std::clamp(length / 64, 1, 16)), points((length - 1 + step - 1) / step + 1) {}
  // Point k lies at min(k * step, side - 1).
  int32_t at(int32_t k) const { return std::min(k * step, side - 1); }
};

// Like to_byte for the finite, non-negative values met here, in a form that vectorises.
inline uint8_t scaled_byte(uint8_t v, float f) {
  return static_cast<uint8_t>(static_cast<int>(std::min(static_cast<float>(v) * f + 0.5f, 255.0f)));
}
}  // namespace

std::array<double, 3> correction_factors(const input_correction& correction, std::span<const double> falloff, double x,
                                         double y) {
  int32_t index[4];
  double weight[4];
  const int count = correction.grid.corners(x, y, index, weight);
  const double v =
      falloff.empty() ? 0.0 : log_falloff(falloff, radius_squared(x, y, correction.grid.width, correction.grid.height));
  std::array<double, 3> factors;
  for (int c = 0; c < 3; ++c) {
    double log_gain = -v;
    for (int k = 0; k < count; ++k) log_gain += weight[k] * correction.log_gain[3 * index[k] + c];
    factors[c] = std::exp(log_gain);
  }
  return factors;
}

void apply_correction(dib& image, const input_correction& correction, std::span<const double> falloff) {
  const int32_t width = image.width(), height = image.height();
  if (correction.grid.nodes() == 1 && falloff.empty() && image.model() == bgra32) {
    // One factor per channel: a table per channel of what the loop below computes, since
    // f0 + (f0 - f0) * t is f0 exactly.
    const std::array<double, 3> f = correction_factors(correction, falloff, 0, 0);
    uint8_t table[4][256];  // memory order B, G, R, A
    for (int v = 0; v < 256; ++v) {
      for (int c = 0; c < 3; ++c) table[2 - c][v] = scaled_byte(static_cast<uint8_t>(v), static_cast<float>(f[c]));
      table[3][v] = static_cast<uint8_t>(v);
    }
    parallel_for(height, 8, [&](int64_t y0, int64_t y1) {
      for (int64_t y = y0; y < y1; ++y) {
        locked_row row(image, static_cast<int32_t>(y));
        uint8_t* p = row.bytes();
        for (int32_t x = 0; x < width; ++x, p += 4)
          for (int c = 0; c < 3; ++c) p[c] = table[c][p[c]];
      }
    });
    return;
  }
  const axis across(width), down(height);
  // Exact factors at every lattice point in the pixels' memory order B, G, R, A (A: 1).
  const size_t lattice_row = 4 * static_cast<size_t>(across.points);
  std::vector<float> lattice(lattice_row * down.points);
  parallel_for(down.points, 4, [&](int64_t j0, int64_t j1) {
    for (int64_t j = j0; j < j1; ++j)
      for (int32_t k = 0; k < across.points; ++k) {
        const std::array<double, 3> f =
            correction_factors(correction, falloff, across.at(k), down.at(static_cast<int32_t>(j)));
        float* p = &lattice[j * lattice_row + 4 * k];
        p[0] = static_cast<float>(f[2]), p[1] = static_cast<float>(f[1]), p[2] = static_cast<float>(f[0]);
        p[3] = 1.0f;
      }
  });
  // The share of the way along a lattice interval, for the whole ones and the last.
  std::vector<float> share(across.step), last_share;
  for (int32_t i = 0; i < across.step; ++i) share[i] = static_cast<float>(i) / static_cast<float>(across.step);
  if (across.points > 1) {
    const int32_t last = across.at(across.points - 1) - across.at(across.points - 2);
    for (int32_t i = 0; i < last; ++i) last_share.push_back(static_cast<float>(i) / static_cast<float>(last));
  }

  const bool floats = image.model() == bgra_float;
  parallel_for(height, 8, [&](int64_t y0, int64_t y1) {
    std::vector<float> row_lattice(lattice_row), factor(4 * static_cast<size_t>(width));
    for (int64_t y = y0; y < y1; ++y) {
      const int32_t j = static_cast<int32_t>(y) / down.step, top = down.at(j);
      const float ty = y == top ? 0.0f : static_cast<float>(y - top) / static_cast<float>(down.at(j + 1) - top);
      const float* above = &lattice[j * lattice_row];
      const float* below = ty == 0.0f ? above : above + lattice_row;
      for (size_t i = 0; i < lattice_row; ++i) row_lattice[i] = above[i] + (below[i] - above[i]) * ty;
      for (int32_t k = 0; k + 1 < across.points; ++k) {
        const std::vector<float>& t = k + 2 < across.points ? share : last_share;
        const float* left = &row_lattice[4 * k];
        float* f = &factor[4 * static_cast<size_t>(across.at(k))];
        for (size_t i = 0; i < t.size(); ++i)
          for (int c = 0; c < 4; ++c) f[4 * i + c] = left[c] + (left[4 + c] - left[c]) * t[i];
      }
      std::copy_n(&row_lattice[lattice_row - 4], 4, &factor[4 * static_cast<size_t>(width - 1)]);
      locked_row row(image, static_cast<int32_t>(y));
      if (floats) {
        float* p = row.as<float>();
        for (size_t i = 0; i < factor.size(); ++i) p[i] = std::min(p[i] * factor[i], 1.0f);
      } else {
        uint8_t* p = row.bytes();
        for (size_t i = 0; i < factor.size(); ++i) p[i] = scaled_byte(p[i], factor[i]);
      }
    }
  });
}
