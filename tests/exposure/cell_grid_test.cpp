#include "exposure/cell_grid.h"

#include <gtest/gtest.h>

#include "support/test_images.h"

using namespace test_images;

namespace {
dib_ptr flat(int w, int h, uint8_t level) {
  dib_ptr image(create_dib(w, h, 32));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) set_pixel(image.get(), x, y, rgba8{level, level, level, 255});
  return image;
}
}  // namespace

TEST(CellGrid, CellsLieOnTheCanvasGridAndAverageTheirPixels) {
  // Placed at (-5, 6), 20 x 13: whole 4-pixel cells cover canvas columns -4..11, rows 8..15.
  dib_ptr image(create_dib(20, 13, 32));
  for (int y = 0; y < 13; ++y)
    for (int x = 0; x < 20; ++x) set_pixel(image.get(), x, y, rgba8{uint8_t(10 * x + 20), uint8_t(100 + y), 60, 255});
  const cell_grid g = reduce_to_cells(*image, -5, 6, 4);
  EXPECT_EQ(g.first_column, -1);
  EXPECT_EQ(g.first_row, 2);
  EXPECT_EQ(g.columns, 4);
  EXPECT_EQ(g.rows, 2);
  // Canvas cell (1, 3): columns 4..7 = input columns 9..12, and of rows 12..15 the sampled
  // canvas row 12 = input row 6.
  double m[3];
  ASSERT_TRUE(g.mean(1, 3, m));
  EXPECT_NEAR(m[0], (10 * 10.5 + 20) / 255, 1e-5);
  EXPECT_NEAR(m[1], (100 + 6.0) / 255, 1e-5);
  EXPECT_NEAR(m[2], 60.0 / 255, 1e-5);
  EXPECT_FALSE(g.mean(3, 3, m));  // canvas 12..15 is not wholly inside
}

TEST(CellGrid, ClippedTransparentAndDarkCellsAreNotCompared) {
  dib_ptr image = flat(12, 4, 128);
  set_pixel(image.get(), 1, 0, rgba8{128, 250, 128, 255});  // canvas row 0 is sampled, rows 1..3 are not
  set_pixel(image.get(), 6, 0, rgba8{128, 128, 128, 254});
  for (int y = 0; y < 4; ++y) set_pixel(image.get(), 9, y, rgba8{0, 0, 0, 255});
  dib_ptr dark = flat(4, 4, 4);
  const cell_grid g = reduce_to_cells(*image, 0, 0, 4);
  double m[3];
  EXPECT_FALSE(g.mean(0, 0, m));
  EXPECT_FALSE(g.mean(1, 0, m));
  EXPECT_TRUE(g.mean(2, 0, m));  // a black column among grey is still a fair mean
  EXPECT_FALSE(reduce_to_cells(*dark, 0, 0, 4).mean(0, 0, m));
}
