#include <gtest/gtest.h>

#include <filesystem>

#include "image/dib_cursor.h"
#include "io/load_image.h"
#include "io/save_image.h"
#include "run/run_driver.h"
#include "support/recording_tracker.h"
#include "support/storage_override.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
// n small opaque tiles side by side with one column of overlap, written as TIFF.
input_list write_tiles(const std::string& folder, int n) {
  input_list inputs;
  for (int i = 0; i < n; ++i) {
    dib_ptr tile(create_dib(6, 4, 32));
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) set_pixel(tile.get(), x, y, rgba8{uint8_t(20 * i), 80, uint8_t(x * 10), 255});
    std::string name = folder + "/tile" + std::to_string(i) + ".tif";
    save_image(name, tile.get(), nullptr);
    inputs.push_back({name, 5 * i, 0});
  }
  return inputs;
}

// The step ends planned on the driver's main stage (one stage deep).
std::vector<double> main_stage_steps(const recording_tracker& t) { return t.values("step_end", 1); }

// Runs the driver on n tiles into folder/out.tif, recording the progress calls.
void run_tiles(const scoped_temp_dir& dir, int n, const wrap_options& wrap, recording_tracker& t) {
  input_list inputs = write_tiles(dir.path(), n);
  blend_options blend;
  run_driver(inputs, dir.path() + "/out.tif", blend, wrap, &t);
}
}  // namespace

TEST(RunDriver, TwoInputsShareTheMainStage) {
  scoped_temp_dir dir;
  wrap_options wrap;
  recording_tracker t;
  run_tiles(dir, 2, wrap, t);
  std::vector<double> root = t.values("step_end", 0);
  ASSERT_EQ(root.size(), 2u);
  EXPECT_EQ(root[0], 95);
  EXPECT_EQ(root[1], 99);
  EXPECT_EQ(main_stage_steps(t), (std::vector<double>{5, 99}));
  EXPECT_EQ(t.calls.back().what, "progress");
  EXPECT_EQ(t.calls.back().value, 100);
  EXPECT_EQ(t.depth, 0);
  dib_ptr out(load_image(dir.path() + "/out.tif", nullptr));
  EXPECT_EQ(out->width(), 11);
  EXPECT_EQ(out->height(), 4);
}

TEST(RunDriver, TenInputsMergeInEqualShares) {
  scoped_temp_dir dir;
  wrap_options wrap;
  recording_tracker t;
  run_tiles(dir, 10, wrap, t);
  std::vector<double> steps = main_stage_steps(t);
  ASSERT_EQ(steps.size(), 10u);
  EXPECT_EQ(steps[0], 1);
  for (int i = 1; i <= 9; ++i) EXPECT_DOUBLE_EQ(steps[i], 1 + 98.0 * i / 9) << i;
}

TEST(RunDriver, WrapModeShrinksTheMergeShare) {
  scoped_temp_dir dir;
  wrap_options wrap;
  wrap.WrapMode = 2;
  recording_tracker t;
  run_tiles(dir, 2, wrap, t);
  std::vector<double> root = t.values("step_end", 0);
  ASSERT_EQ(root.size(), 3u);
  EXPECT_EQ(root[0], 60);
  EXPECT_EQ(root[1], 95);
  EXPECT_EQ(root[2], 99);
  dib_ptr out(load_image(dir.path() + "/out.tif", nullptr));
  EXPECT_EQ(out->width(), 11);  // the period defaults to the merged width
}

TEST(RunDriver, AFailedLabelMapLeavesTheOutputUnwritten) {
  scoped_temp_dir dir;
  input_list inputs = write_tiles(dir.path(), 2);
  output_options output;
  output.seams_name = dir.path() + "/missing/seams.png";
  recording_tracker t;
  EXPECT_THROW(run_driver(inputs, dir.path() + "/out.tif", blend_options{}, wrap_options{}, &t, output),
               std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/out.tif"));
}
