// The reduced copy of one placed input that the exposure estimate works on: the mean colour
// of square cells on a grid aligned to canvas coordinates, so that two inputs are compared
// on exactly the same canvas pixels. Cells that would mislead a comparison are marked.
#pragma once

#include <cstdint>
#include <vector>

class dib;

struct cell_grid {
  int32_t size = 0;          // cell side in canvas pixels
  int64_t first_column = 0;  // canvas cell index of the grid's first column: it covers
  int64_t first_row = 0;     // canvas columns first_column * size .. + size - 1
  int32_t columns = 0;
  int32_t rows = 0;
  // r, g, b per cell in 1/65534 of full scale, 16 bits to keep thousands of inputs' grids
  // small; not_compared in r marks a cell to leave out.
  std::vector<uint16_t> means;

  static constexpr uint16_t not_compared = 65535;
  static constexpr double scale = 65534.0;

  // The mean of canvas cell (u, v) on a 0..1 scale; false when the grid has no usable cell there.
  bool mean(int64_t u, int64_t v, double out[3]) const {
    if (u < first_column || v < first_row || u >= first_column + columns || v >= first_row + rows) return false;
    const uint16_t* m = &means[3 * ((v - first_row) * columns + (u - first_column))];
    if (m[0] == not_compared) return false;
    for (int c = 0; c < 3; ++c) out[c] = m[c] / scale;
    return true;
  }
};

// A pixel at or above this share of full scale in any channel may be clipped.
constexpr float clipped_level = 0.98f;
// A cell whose mean is below this in any channel is mostly noise and quantisation.
constexpr float dark_level = 0.02f;

// Cells average only the rows whose canvas y is a multiple of this: a quarter of the reading,
// and still the same canvas pixels in every input. A cell's rows thus centre at
// (size - sampled_row_step) / 2 below its top.
constexpr int32_t sampled_row_step = 4;

// The cells wholly inside the input placed at canvas (x, y). A cell is usable when all its
// sampled pixels are opaque and none is clipped, and their mean is not dark.
cell_grid reduce_to_cells(dib& image, int64_t x, int64_t y, int32_t size);

// The cell side for an input of this size: a power of two, at least sampled_row_step, that
// keeps the grid to about 2^15 cells (192 KB).
int32_t cell_size_for(int32_t width, int32_t height);
