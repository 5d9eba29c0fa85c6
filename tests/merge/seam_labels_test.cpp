#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "io/load_image.h"
#include "io/save_image.h"
#include "support/run_binary.h"
#include "support/storage_override.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
const rgba8 colours[] = {{220, 40, 40, 255}, {40, 220, 40, 255}, {40, 40, 220, 255}};

// Input k (0-based) as a flat tile of its own colour, so every output pixel tells whose it mostly is.
void write_tile(const std::string& folder, int k, int w, int h) {
  dib_ptr tile(create_dib(w, h, 32));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) set_pixel(tile.get(), x, y, colours[k]);
  save_image(folder + "/t" + std::to_string(k) + ".tif", tile.get(), nullptr);
}

constexpr int seam_reach = 2;

int distance(rgba8 a, rgba8 b) { return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b); }

// Runs with the label map and without it: the output must not change, and each label must
// name the input whose colour the output pixel is nearest to (0 where it is transparent),
// except within a few pixels of a seam, where the blend mixes both sides.
void expect_labels_follow_the_output(const std::string& arguments, const std::string& map_name, int width) {
  scoped_temp_dir dir;
  for (int k = 0; k < 3; ++k) write_tile(dir.path(), k, 90, 40);
  binary_run plain = run_quiltmerge(dir.path(), "-o plain.tif " + arguments + " >/dev/null");
  ASSERT_EQ(plain.status, 0) << plain.output;
  binary_run run = run_quiltmerge(dir.path(), "--save-seams " + map_name + " " + arguments + " >/dev/null");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(read_file(dir.path() + "/plain.tif"), read_file(dir.path() + "/blended.tif"));

  dib_ptr out(load_image(dir.path() + "/blended.tif", nullptr));
  dib_ptr map(load_image(dir.path() + "/" + map_name, nullptr));
  ASSERT_EQ(out->width(), width);
  ASSERT_EQ(map->width(), out->width());
  ASSERT_EQ(map->height(), out->height());
  auto label_at = [&](int x, int y) { return get_pixel(map.get(), x, y).r; };
  auto near_a_seam = [&](int x, int y) {
    for (int v = std::max(0, y - seam_reach); v <= std::min(out->height() - 1, y + seam_reach); ++v)
      for (int u = std::max(0, x - seam_reach); u <= std::min(out->width() - 1, x + seam_reach); ++u)
        if (label_at(u, v) != label_at(x, y) && label_at(u, v) != 0) return true;
    return false;
  };
  int seen[4] = {0, 0, 0, 0};
  for (int y = 0; y < out->height(); ++y)
    for (int x = 0; x < out->width(); ++x) {
      const rgba8 o = get_pixel(out.get(), x, y);
      const int label = label_at(x, y);
      ASSERT_LE(label, 3);
      ++seen[label];
      if (o.a == 0) {
        EXPECT_EQ(label, 0) << x << "," << y;
        continue;
      }
      ASSERT_GT(label, 0) << x << "," << y;
      if (near_a_seam(x, y)) continue;
      for (int k = 0; k < 3; ++k)
        EXPECT_LE(distance(o, colours[label - 1]), distance(o, colours[k])) << x << "," << y << " label " << label;
    }
  for (int k = 1; k <= 3; ++k) EXPECT_GT(seen[k], 0) << k;
}
}  // namespace

TEST(SeamLabels, NameTheInputOnEachSideOfTheCut) {
  expect_labels_follow_the_output("t0.tif -xoff 50 -yoff 6 t1.tif -xoff 100 -yoff -3 t2.tif", "seams.png", 190);
}

// The last tile runs past the period into the first: its piece and the self-blend relabel the start.
TEST(SeamLabels, FollowTheWrapClosing) {
  expect_labels_follow_the_output("-HorWrap 170 t0.tif -xoff 50 t1.tif -xoff 100 t2.tif", "seams.tif", 170);
}

TEST(SeamLabels, AnUnwritableMapFailsTheRunBeforeTheOutputIsWritten) {
  scoped_temp_dir dir;
  for (int k = 0; k < 2; ++k) write_tile(dir.path(), k, 40, 20);
  binary_run run = run_quiltmerge(dir.path(), "--save-seams missing/s.png t0.tif -xoff 30 t1.tif");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("Can't write the seam label map: missing/s.png"), std::string::npos) << run.output;
  EXPECT_FALSE(file_exists(dir.path() + "/blended.tif"));
}

// A canvas taller than the tiles and starting inside the period: the map is cut and padded
// as the output is, and wraps with it.
TEST(SeamLabels, FollowTheCanvas) {
  expect_labels_follow_the_output("-w -f170x50+60-5 t0.tif -xoff 50 t1.tif -xoff 100 t2.tif", "seams.png", 170);
}
