#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "io/io_test_files.h"
#include "io/load_image.h"
#include "io/save_image.h"
#include "io/tiff_position_load.h"
#include "support/run_binary.h"
#include "support/storage_override.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
// Two opaque tiles of a smooth pattern; the second sits at (70, 12) when placed by hand.
void write_tiles(const std::string& folder) {
  for (int k = 0; k < 2; ++k) {
    dib_ptr tile(create_dib(100, 60, 32));
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 100; ++x)
        set_pixel(tile.get(), x, y,
                  {static_cast<uint8_t>(x * 2 + 70 * k), static_cast<uint8_t>(y * 3 + 12 * k), 90, 255});
    save_image(folder + "/t" + std::to_string(k) + ".tif", tile.get(), nullptr);
  }
}

const std::string tiles = "t0.tif -xoff 70 -yoff 12 t1.tif";
}  // namespace

// The merge is the same with or without -f; the output is exactly the canvas rectangle,
// transparent where the merge does not reach, and records where its corner lies.
TEST(OutputCanvas, CutsAndPadsTheMergeAndRecordsItsCorner) {
  scoped_temp_dir dir;
  write_tiles(dir.path());
  ASSERT_EQ(run_quiltmerge(dir.path(), "-q -o plain.tif " + tiles).status, 0);
  const dib_ptr plain(load_image(dir.path() + "/plain.tif", nullptr));  // 170 x 72 from (0, 0)
  EXPECT_FALSE(tiff_position_load(dir.path() + "/plain.tif"));
  for (const std::string canvas : {"200x90-10-5", "50x30+60+20", "170x72"}) {
    const binary_run run = run_quiltmerge(dir.path(), "-q -o cut.tif -f" + canvas + " " + tiles);
    ASSERT_EQ(run.status, 0) << run.output;
    const dib_ptr cut(load_image(dir.path() + "/cut.tif", nullptr));
    int w = 0, h = 0, x = 0, y = 0;
    ASSERT_GE(std::sscanf(canvas.c_str(), "%dx%d%d%d", &w, &h, &x, &y), 2);
    ASSERT_EQ(cut->width(), w) << canvas;
    ASSERT_EQ(cut->height(), h) << canvas;
    for (int v = 0; v < h; ++v)
      for (int u = 0; u < w; ++u) {
        const int px = x + u, py = y + v;
        const bool inside = px >= 0 && py >= 0 && px < plain->width() && py < plain->height();
        const rgba8 expected = inside ? get_pixel(plain.get(), px, py) : rgba8{0, 0, 0, 0};
        ASSERT_TRUE(get_pixel(cut.get(), u, v) == expected) << canvas << " at " << u << "," << v;
      }
    const std::optional<tiff_position> corner = tiff_position_load(dir.path() + "/cut.tif");
    ASSERT_EQ(corner.has_value(), x >= 0 && y >= 0) << canvas;  // TIFF cannot point left of 0
    if (corner) {
      EXPECT_EQ(corner->x, x);
      EXPECT_EQ(corner->y, y);
    }
  }
}

// Refused command lines end with status 2 before anything is written; a canvas that misses
// everything is allowed, and says so.
TEST(OutputCanvas, BadWordsTouchNoOutput) {
  scoped_temp_dir dir;
  write_tiles(dir.path());
  const std::string earlier = "an earlier result";
  io_test::write_content(dir.path() + "/blended.tif", earlier);
  const std::string refused[][2] = {{"-f 200x90+-10+-5 ", "Invalid value for -f: \"200x90+-10+-5\""},
                                    {"--canvas=0x5 ", "Invalid value for --canvas: \"0x5\""},
                                    {"--sharpen ", "Unknown option: --sharpen"},
                                    {"--wrap=both ", "--wrap=both: only horizontal wrapping can be done here"}};
  for (const auto& [words, message] : refused) {
    const binary_run run = run_quiltmerge(dir.path(), words + tiles);
    EXPECT_EQ(run.status, 2) << words;
    EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
  }
  const binary_run dangling = run_quiltmerge(dir.path(), tiles + " --");
  EXPECT_EQ(dangling.status, 2);
  EXPECT_NE(dangling.output.find("Nothing follows --"), std::string::npos) << dangling.output;
  EXPECT_EQ(read_file(dir.path() + "/blended.tif"), earlier);

  const binary_run away = run_quiltmerge(dir.path(), "-q -f20x20+500+500 " + tiles);
  ASSERT_EQ(away.status, 0) << away.output;
  EXPECT_NE(away.output.find("Warning: the canvas 20x20+500+500 misses every input"), std::string::npos)
      << away.output;
  const dib_ptr empty(load_image(dir.path() + "/blended.tif", nullptr));
  EXPECT_EQ(empty->width(), 20);
  EXPECT_TRUE(get_pixel(empty.get(), 10, 10) == (rgba8{0, 0, 0, 0}));
}
