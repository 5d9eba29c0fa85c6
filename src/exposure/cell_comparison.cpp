#include "exposure/cell_comparison.h"

#include <algorithm>
#include <cmath>

namespace {
int64_t floor_div(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t ceil_div(int64_t a, int64_t b) { return -floor_div(-a, b); }

// The mean of canvas cell (u, v) of side `size`, from the grid's smaller cells it is made
// of; false when any of them is missing or unusable.
bool large_cell_mean(const cell_grid& grid, int64_t u, int64_t v, int32_t size, double mean[3]) {
  const int32_t f = size / grid.size;
  double sum[3] = {0.0, 0.0, 0.0};
  for (int64_t j = v * f; j < (v + 1) * f; ++j)
    for (int64_t i = u * f; i < (u + 1) * f; ++i) {
      double m[3];
      if (!grid.mean(i, j, m)) return false;
      for (int c = 0; c < 3; ++c) sum[c] += m[c];
    }
  for (int c = 0; c < 3; ++c) mean[c] = sum[c] / (static_cast<double>(f) * f);
  return true;
}
}  // namespace

void compare_cells(const placed_cells& first, const placed_cells& second, int64_t max_cells,
                   std::vector<cell_comparison>& out) {
  const int64_t left = std::max(first.x, second.x), top = std::max(first.y, second.y);
  const int64_t right = std::min(first.x + first.width, second.x + second.width);  // exclusive
  const int64_t bottom = std::min(first.y + first.height, second.y + second.height);
  if (right <= left || bottom <= top) return;
  int32_t size = std::max(first.grid->size, second.grid->size);
  while (((right - left) / size) * ((bottom - top) / size) > max_cells) size *= 2;

  const int64_t u0 = ceil_div(left, size), u1 = floor_div(right, size);
  const int64_t v0 = ceil_div(top, size), v1 = floor_div(bottom, size);
  // The middle of the pixels the cell's mean is made of: every column, every sampled row.
  const double centre_x = 0.5 * (size - 1), centre_y = 0.5 * (size - sampled_row_step);
  for (int64_t v = v0; v < v1; ++v)
    for (int64_t u = u0; u < u1; ++u) {
      double a[3], b[3];
      if (!large_cell_mean(*first.grid, u, v, size, a) || !large_cell_mean(*second.grid, u, v, size, b)) continue;
      cell_comparison c;
      c.first = first.index;
      c.second = second.index;
      for (int k = 0; k < 3; ++k) c.log_ratio[k] = static_cast<float>(std::log(a[k]) - std::log(b[k]));
      const double cx = static_cast<double>(u * size) + centre_x, cy = static_cast<double>(v * size) + centre_y;
      c.first_x = static_cast<float>(cx - first.x), c.first_y = static_cast<float>(cy - first.y);
      c.second_x = static_cast<float>(cx - second.x), c.second_y = static_cast<float>(cy - second.y);
      out.push_back(c);
    }
}
