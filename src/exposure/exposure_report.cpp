#include "exposure/exposure_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
std::string format(const char* pattern, double a, double b = 0, double c = 0, double d = 0) {
  char text[160];
  std::snprintf(text, sizeof text, pattern, a, b, c, d);
  return text;
}
}  // namespace

std::string exposure_report(const exposure_correction& correction, const std::vector<std::string>& names) {
  std::string out = "Exposure correction, the factor each channel is multiplied by (r g b):\n";
  for (size_t i = 0; i < correction.inputs.size(); ++i) {
    const input_correction& in = correction.inputs[i];
    const int32_t nodes = in.grid.nodes();
    out += "  " + std::to_string(i + 1) + " " + names[i] + ":";
    double mean[3] = {0, 0, 0}, low = INFINITY, high = -INFINITY;
    for (int32_t n = 0; n < nodes; ++n)
      for (int c = 0; c < 3; ++c) {
        const double g = std::exp(in.log_gain[3 * n + c]);
        mean[c] += g / nodes;
        low = std::min(low, g);
        high = std::max(high, g);
      }
    out += format(" %.4f %.4f %.4f", mean[0], mean[1], mean[2]);
    if (nodes > 1) out += format(" (%.4f to %.4f across the grid)", low, high);
    out += "\n";
  }
  if (!correction.falloff.empty()) {
    const std::vector<double>& f = correction.falloff;
    out += format("  falloff: %.4f of the centre's brightness in the corners; log V = %.4f r^2 %+.4f r^4 %+.4f r^6\n",
                  std::exp(log_falloff(f, 1.0)), f[0], f.size() > 1 ? f[1] : 0.0, f.size() > 2 ? f[2] : 0.0);
  }
  return out;
}
