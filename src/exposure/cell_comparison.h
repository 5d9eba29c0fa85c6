// The canvas cells two placed inputs both saw, as comparisons for the exposure estimate:
// how much brighter the first input saw the cell than the second, and where the cell lies
// in each of them.
#pragma once

#include <cstdint>
#include <vector>

#include "exposure/cell_grid.h"

struct cell_comparison {
  int32_t first = 0;
  int32_t second = 0;
  float log_ratio[3] = {0, 0, 0};  // log(mean in first) - log(mean in second), r g b
  float first_x = 0, first_y = 0;  // the cell's centre in each input's pixel coordinates
  float second_x = 0, second_y = 0;
};

// One input as the comparison sees it: its cells and its top-left corner on the canvas
// (the grid must have been reduced at that place).
struct placed_cells {
  const cell_grid* grid;
  int32_t index;
  int64_t x, y;
  int32_t width, height;
};

// Appends a comparison for every canvas cell both inputs saw usable, on cells at least as
// large as both grids' and enlarged until at most max_cells fit the overlap.
void compare_cells(const placed_cells& first, const placed_cells& second, int64_t max_cells,
                   std::vector<cell_comparison>& out);
