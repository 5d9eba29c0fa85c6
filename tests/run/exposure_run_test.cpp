// The exposure options run end to end: same bytes for any thread count, the report, the
// wrap closed with corrected pieces, and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "exposure/exposure_scene.h"
#include "io/load_image.h"
#include "support/run_binary.h"
#include "support/storage_override.h"

using exposure_scene::shot;

namespace {
std::string words(const std::vector<exposure_input>& inputs) {
  std::string out;
  for (const exposure_input& in : inputs)
    out += " -xoff " + std::to_string(in.x_offset) + " -yoff " + std::to_string(in.y_offset) + " " + in.file_name;
  return out;
}
}  // namespace

TEST(ExposureRun, SameBytesForAnyThreadCountAndOneReportLinePerInput) {
  scoped_temp_dir dir;
  const std::string places = words(exposure_scene::write(dir.path(), exposure_scene::grid(3, 2, 160, 120)));
  for (const std::string options : {"--exposure gain", "--exposure gain-grid --vignetting"}) {
    binary_run one = run_quiltmerge(dir.path(), "-threads 1 -profile " + options + " -o one.tif" + places);
    ASSERT_EQ(one.status, 0) << one.output;
    binary_run three = run_quiltmerge(dir.path(), "-threads 3 " + options + " -o three.tif" + places);
    ASSERT_EQ(three.status, 0) << three.output;
    EXPECT_TRUE(read_file(dir.path() + "/one.tif") == read_file(dir.path() + "/three.tif")) << options;
    for (int i = 0; i < 6; ++i)
      EXPECT_NE(
          one.output.find("\n  " + std::to_string(i + 1) + " " + dir.path() + "/shot_" + std::to_string(i) + ".tif: "),
          std::string::npos)
          << one.output;
    EXPECT_EQ(one.output.find("falloff") != std::string::npos, options.find("vignetting") != std::string::npos);
    EXPECT_EQ(three.output.find("Exposure correction"), std::string::npos);  // asked for by -profile only
  }
  ASSERT_EQ(run_quiltmerge(dir.path(), "-o plain.tif" + places).status, 0);
  ASSERT_EQ(run_quiltmerge(dir.path(), "--exposure off -o off.tif" + places).status, 0);
  EXPECT_TRUE(read_file(dir.path() + "/plain.tif") == read_file(dir.path() + "/off.tif"));
  EXPECT_FALSE(read_file(dir.path() + "/plain.tif") == read_file(dir.path() + "/one.tif"));
}

TEST(ExposureRun, TheWrapIsClosedWithCorrectedPieces) {
  // Four shots around a 400-column circle; the last runs 20 columns past the edge onto the first.
  scoped_temp_dir dir;
  std::vector<shot> shots(4);
  const double gains[] = {1.0, 1.15, 0.9, 1.2};
  for (int i = 0; i < 4; ++i) {
    shots[i].x = 100 * i, shots[i].width = 120, shots[i].height = 80, shots[i].period = 400;
    std::fill(shots[i].gain, shots[i].gain + 3, gains[i]);
  }
  const std::string places = words(exposure_scene::write(dir.path(), shots));
  binary_run run = run_quiltmerge(dir.path(), "--exposure gain -HorWrap 400" + places);
  ASSERT_EQ(run.status, 0) << run.output;
  dib_ptr out(load_image(dir.path() + "/blended.tif", nullptr));
  ASSERT_EQ(out->width(), 400);
  // Every column, the wrap's seam included, at one brightness relative to the scene.
  std::vector<double> ratios;
  for (int x = 0; x < 400; ++x) {
    double sum = 0.0, scene = 0.0;
    for (int y = 10; y < 70; ++y) {
      locked_row row(*out, y);
      sum += row.bytes()[4 * x + 1];
      scene += 255 * exposure_scene::value(x, y, 1, 400);
    }
    ratios.push_back(sum / scene);
  }
  const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
  EXPECT_LT(*high / *low, 1.01) << "darkest column " << low - ratios.begin() << ", brightest " << high - ratios.begin();
}

TEST(ExposureRun, RefusalsEndWithStatusTwo) {
  scoped_temp_dir dir;
  std::vector<shot> shots = exposure_scene::grid(2, 1, 160, 120);
  shots[1].height = 100;
  const std::string places = words(exposure_scene::write(dir.path(), shots));
  binary_run mixed = run_quiltmerge(dir.path(), "--vignetting" + places);
  EXPECT_EQ(mixed.status, 2);
  EXPECT_NE(mixed.output.find("--vignetting needs inputs of one size: "), std::string::npos) << mixed.output;
  EXPECT_FALSE(file_exists(dir.path() + "/blended.tif"));
  binary_run bad = run_quiltmerge(dir.path(), "--exposure blocks" + places);
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.output.find("Invalid value for --exposure: \"blocks\""), std::string::npos) << bad.output;
}
