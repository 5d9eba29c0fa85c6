#include "exposure/exposure_correction.h"

#include <algorithm>
#include <cmath>

#include "image/color_model.h"
#include "image/dib.h"
#include "platform/parallel.h"

namespace {
// Factors are exact every `step` columns and linear in between: an exp per pixel and channel
// would cost more than copying the input. The fields change over the whole width, so a
// step of at most 1/64 of it keeps the error of the straight line below 1e-4.
int32_t exact_step_for(int32_t width) { return std::clamp(width / 64, 1, 16); }

// Factors for r, g, b at the lattice columns of row y.
void lattice_row(const input_correction& correction, std::span<const double> falloff, int32_t y, int32_t width,
                 int32_t exact_step, std::vector<float>& factors) {
  const int32_t points = (width - 1 + exact_step - 1) / exact_step + 1;
  factors.resize(3 * static_cast<size_t>(points));
  for (int32_t k = 0; k < points; ++k) {
    const int32_t x = std::min(k * exact_step, width - 1);
    for (int c = 0; c < 3; ++c)
      factors[3 * k + c] = static_cast<float>(correction_factor(correction, falloff, x, y, c));
  }
}
}  // namespace

double correction_factor(const input_correction& correction, std::span<const double> falloff, double x, double y,
                         int c) {
  int32_t index[4];
  double weight[4];
  const int count = correction.grid.corners(x, y, index, weight);
  double log_gain = 0.0;
  for (int k = 0; k < count; ++k) log_gain += weight[k] * correction.log_gain[3 * index[k] + c];
  if (!falloff.empty())
    log_gain -= log_falloff(falloff, radius_squared(x, y, correction.grid.width, correction.grid.height));
  return std::exp(log_gain);
}

void apply_correction(dib& image, const input_correction& correction, std::span<const double> falloff) {
  const int32_t width = image.width(), exact_step = exact_step_for(width);
  const bool floats = image.model() == bgra_float;
  parallel_for(image.height(), 8, [&](int64_t y0, int64_t y1) {
    std::vector<float> factors;
    for (int64_t y = y0; y < y1; ++y) {
      lattice_row(correction, falloff, static_cast<int32_t>(y), width, exact_step, factors);
      locked_row row(image, static_cast<int32_t>(y));
      for (int32_t x = 0; x < width; ++x) {
        const int32_t k = x / exact_step, x0 = k * exact_step, x1 = std::min(x0 + exact_step, width - 1);
        const float t = x == x0 ? 0.0f : static_cast<float>(x - x0) / static_cast<float>(x1 - x0);
        const float* f0 = &factors[3 * k];
        const float* f1 = x == x0 ? f0 : f0 + 3;
        // Memory order B, G, R: channel c of the factors (r, g, b) is byte 2 - c.
        for (int c = 0; c < 3; ++c) {
          const float f = f0[c] + (f1[c] - f0[c]) * t;
          if (floats) {
            float& v = row.as<float>()[4 * x + 2 - c];
            v = std::min(v * f, 1.0f);
          } else {
            uint8_t& v = row.bytes()[4 * x + 2 - c];
            v = to_byte(static_cast<float>(v) * f);
          }
        }
      }
    }
  });
}
