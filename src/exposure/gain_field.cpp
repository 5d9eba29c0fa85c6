#include "exposure/gain_field.h"

#include <algorithm>

namespace {
// The node interval holding position p on an axis of `length` pixels with `count` nodes,
// and the weight of its upper node.
void locate(double p, int32_t length, int32_t count, int32_t& lower, double& upper_weight) {
  if (count < 2 || length < 2) {
    lower = 0;
    upper_weight = 0.0;
    return;
  }
  const double t = std::clamp(p / (length - 1), 0.0, 1.0) * (count - 1);
  lower = std::min(static_cast<int32_t>(t), count - 2);
  upper_weight = t - lower;
}
}  // namespace

int node_grid::corners(double x, double y, int32_t index[4], double weight[4]) const {
  int32_t u, v;
  double wu, wv;
  locate(x, width, columns, u, wu);
  locate(y, height, rows, v, wv);
  if (columns < 2 && rows < 2) {
    index[0] = 0;
    weight[0] = 1.0;
    return 1;
  }
  if (rows < 2) {
    index[0] = u, weight[0] = 1.0 - wu;
    index[1] = u + 1, weight[1] = wu;
    return 2;
  }
  if (columns < 2) {
    index[0] = v, weight[0] = 1.0 - wv;
    index[1] = v + 1, weight[1] = wv;
    return 2;
  }
  const int32_t n = v * columns + u;
  index[0] = n, weight[0] = (1.0 - wu) * (1.0 - wv);
  index[1] = n + 1, weight[1] = wu * (1.0 - wv);
  index[2] = n + columns, weight[2] = (1.0 - wu) * wv;
  index[3] = n + columns + 1, weight[3] = wu * wv;
  return 4;
}

double radius_squared(double x, double y, int32_t width, int32_t height) {
  const double hx = 0.5 * width, hy = 0.5 * height;
  const double dx = x + 0.5 - hx, dy = y + 0.5 - hy;
  return (dx * dx + dy * dy) / (hx * hx + hy * hy);
}

double log_falloff(std::span<const double> coefficients, double r2) {
  double value = 0.0, power = r2;
  for (const double c : coefficients) {
    value += c * power;
    power *= r2;
  }
  return value;
}
