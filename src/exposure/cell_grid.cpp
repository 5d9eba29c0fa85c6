#include "exposure/cell_grid.h"

#include <algorithm>
#include <cmath>

#include "image/dib.h"
#include "platform/parallel.h"

namespace {
int64_t floor_div(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int64_t ceil_div(int64_t a, int64_t b) { return -floor_div(-a, b); }

// Sums of one cell, in the order its pixels are visited (rows top down, left to right),
// so that every thread count adds the same numbers in the same order.
struct cell_sum {
  double sum[3] = {0.0, 0.0, 0.0};
  bool spoilt = false;
};

void add_row(const uint8_t* row, int32_t first, int32_t size, cell_sum& cell) {
  uint32_t r = 0, g = 0, b = 0;
  const uint8_t* p = row + 4 * static_cast<size_t>(first);
  for (int32_t i = 0; i < size; ++i, p += 4) {
    // Memory order B, G, R, A; 250 is clipped_level of 255.
    if (p[3] != 255 || p[0] >= 250 || p[1] >= 250 || p[2] >= 250) cell.spoilt = true;
    b += p[0], g += p[1], r += p[2];
  }
  cell.sum[0] += r, cell.sum[1] += g, cell.sum[2] += b;
}

void add_row(const float* row, int32_t first, int32_t size, cell_sum& cell) {
  const float* p = row + 4 * static_cast<size_t>(first);
  for (int32_t i = 0; i < size; ++i, p += 4) {
    if (!(p[3] >= 1.0f) || p[0] >= clipped_level || p[1] >= clipped_level || p[2] >= clipped_level) cell.spoilt = true;
    cell.sum[0] += p[2], cell.sum[1] += p[1], cell.sum[2] += p[0];
  }
}
}  // namespace

int32_t cell_size_for(int32_t width, int32_t height) {
  int32_t size = 4;
  while ((int64_t{width} / size) * (int64_t{height} / size) > (int64_t{1} << 15)) size *= 2;
  return size;
}

cell_grid reduce_to_cells(dib& image, int64_t x, int64_t y, int32_t size) {
  cell_grid grid;
  grid.size = size;
  grid.first_column = ceil_div(x, size);
  grid.first_row = ceil_div(y, size);
  grid.columns = static_cast<int32_t>(std::max<int64_t>(0, floor_div(x + image.width(), size) - grid.first_column));
  grid.rows = static_cast<int32_t>(std::max<int64_t>(0, floor_div(y + image.height(), size) - grid.first_row));
  grid.means.assign(3 * static_cast<size_t>(grid.columns) * grid.rows, cell_grid::not_compared);
  if (grid.columns == 0 || grid.rows == 0) return grid;

  const bool floats = image.model() == bgra_float;
  const double full = floats ? 1.0 : 255.0;
  const double pixels = static_cast<double>(size) * (size / sampled_row_step);
  const int32_t left = static_cast<int32_t>(grid.first_column * size - x);
  const int32_t top = static_cast<int32_t>(grid.first_row * size - y);
  parallel_for(grid.rows, 1, [&](int64_t v0, int64_t v1) {
    std::vector<cell_sum> cells(grid.columns);
    for (int64_t v = v0; v < v1; ++v) {
      std::fill(cells.begin(), cells.end(), cell_sum{});
      for (int32_t k = 0; k < size; k += sampled_row_step) {
        locked_row row(image, top + static_cast<int32_t>(v) * size + k);
        for (int32_t u = 0; u < grid.columns; ++u) {
          if (floats)
            add_row(row.as<float>(), left + u * size, size, cells[u]);
          else
            add_row(row.bytes(), left + u * size, size, cells[u]);
        }
      }
      for (int32_t u = 0; u < grid.columns; ++u) {
        if (cells[u].spoilt) continue;
        double mean[3];
        for (int c = 0; c < 3; ++c) mean[c] = cells[u].sum[c] / (pixels * full);
        if (mean[0] < dark_level || mean[1] < dark_level || mean[2] < dark_level) continue;
        uint16_t* m = &grid.means[3 * (static_cast<size_t>(v) * grid.columns + u)];
        for (int c = 0; c < 3; ++c) m[c] = static_cast<uint16_t>(std::lround(mean[c] * cell_grid::scale));
      }
    }
  });
  return grid;
}
