#include <gtest/gtest.h>

#include <vector>

#include "image/dib_window.h"
#include "image/growing_canvas.h"
#include "image/region_copy.h"
#include "support/storage_override.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
irect joined(const irect& a, const irect& b) {
  return irect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
               std::max(a.bottom, b.bottom)};
}

// Grows a canvas tile by tile both ways, through the growing canvas and the plain way
// (a new image of the canvas's size, the old pixels copied over); every step must give
// the same pixels. Counts the steps that widened the canvas and the backings made.
struct growth_counts {
  int widening = 0, backings = 0;
};

growth_counts grow_both_ways(const std::vector<irect>& tiles, color_model model) {
  auto make = [&](int w, int h) {
    return dib_ptr(model == bgra_float ? create_float_dib(w, h) : create_dib(w, h, 32));
  };
  dib_ptr grown = make(tiles[0].width(), tiles[0].height()), plain = make(tiles[0].width(), tiles[0].height());
  fill_random(grown.get(), 1);
  fill_random(plain.get(), 1);
  irect rect = tiles[0];
  growth_counts counts;
  for (size_t i = 1; i < tiles.size(); ++i) {
    const irect canvas = joined(rect, tiles[i]);
    if (canvas != rect) ++counts.widening;
    dib_ptr next = widen_canvas_in_place(grown, rect, canvas);
    if (!next) {
      next = new_canvas_window(grown, rect, canvas);
      copy_dib(grown.get(), next.get(), rect.left - canvas.left, rect.top - canvas.top, nullptr);
      ++counts.backings;
    }
    dib_ptr next_plain(plain->create_blank(canvas.width(), canvas.height()));
    copy_dib(plain.get(), next_plain.get(), rect.left - canvas.left, rect.top - canvas.top, nullptr);
    dib_ptr tile = make(tiles[i].width(), tiles[i].height());
    fill_random(tile.get(), static_cast<uint32_t>(i + 1));
    copy_opaque(tile.get(), next.get(), tiles[i].left - canvas.left, tiles[i].top - canvas.top, nullptr);
    copy_opaque(tile.get(), next_plain.get(), tiles[i].left - canvas.left, tiles[i].top - canvas.top, nullptr);
    grown = next;
    plain = next_plain;
    rect = canvas;
    EXPECT_EQ(grown->width(), canvas.width());
    EXPECT_EQ(grown->height(), canvas.height());
    EXPECT_EQ(pixel_bytes(grown.get()), pixel_bytes(plain.get())) << "tile " << i;
  }
  return counts;
}

// A row to the right, then a row above it running left: every side grows.
std::vector<irect> two_rows(int n, int w, int h) {
  std::vector<irect> tiles;
  for (int i = 0; i < n; ++i) tiles.push_back(irect{i * (w - 5), i % 3, i * (w - 5) + w - 1, i % 3 + h - 1});
  for (int i = 0; i < n; ++i) {
    const int left = (n - 2 - i) * (w - 5) - 3;
    tiles.push_back(irect{left, 4 - h, left + w - 1, 3});
  }
  return tiles;
}
}  // namespace

TEST(GrowingCanvas, EveryStepShowsThePlainCanvasWithFewCopies) {
  // Geometric room: the copies stay a few per side while the widening steps grow with the tiles.
  const growth_counts row = grow_both_ways(two_rows(40, 12, 7), bgra32);
  EXPECT_GE(row.widening, 40);
  EXPECT_LE(row.backings, 10);
  grow_both_ways(two_rows(12, 9, 5), bgra_float);
}

TEST(GrowingCanvas, FileBackedBackingGivesTheSamePixels) {
  scoped_temp_dir tmp;
  force_file_storage files;
  grow_both_ways(two_rows(10, 300, 40), bgra32);
}

TEST(GrowingCanvas, RoomOnlyTowardsTheGrowthAndWithinLimits) {
  const irect old{0, 0, 99, 49};
  EXPECT_EQ(backing_rect(old, irect{0, 0, 149, 49}, 4), (irect{0, 0, 149 + 75, 49}));
  EXPECT_EQ(backing_rect(old, irect{-20, -10, 99, 49}, 4), (irect{-20 - 60, -10 - 30, 99, 49}));
  // No room past the int32 coordinates, and none when a row would grow too wide.
  EXPECT_EQ(backing_rect(irect{INT32_MAX - 99, 0, INT32_MAX - 10, 9}, irect{INT32_MAX - 99, 0, INT32_MAX, 9}, 4),
            (irect{INT32_MAX - 99, 0, INT32_MAX, 9}));
  const int32_t widest_float = 0x7FFFFF00 / 16;
  const irect wide{0, 0, widest_float - 100, 9};
  EXPECT_EQ(backing_rect(old, wide, 16), (irect{0, 0, widest_float - 100, 49}));
}

// Only the newest window of a backing widens in place: an older one would show pixels
// written through the newer one as if they were the empty canvas.
TEST(GrowingCanvas, StaleWindowsGetANewBacking) {
  dib_ptr first(create_dib(10, 10, 32));
  fill_random(first.get(), 2);
  const irect r1{0, 0, 9, 9}, r2{0, 0, 14, 9}, r3{0, 0, 19, 9};
  dib_ptr w1 = new_canvas_window(first, r1, r2);
  copy_dib(first.get(), w1.get(), 0, 0, nullptr);
  dib_ptr w2 = widen_canvas_in_place(w1, r2, r3);
  ASSERT_TRUE(w2);
  EXPECT_EQ(static_cast<dib_window*>(w2.get())->parent(), static_cast<dib_window*>(w1.get())->parent());
  set_pixel(w2.get(), 17, 3, rgba8{9, 9, 9, 255});
  EXPECT_FALSE(widen_canvas_in_place(w1, r2, r3));
  EXPECT_TRUE(widen_canvas_in_place(w2, r3, r3));
  // Beyond the room a new backing is needed.
  EXPECT_FALSE(widen_canvas_in_place(w2, r3, irect{0, 0, 200, 9}));
}
