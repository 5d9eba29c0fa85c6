#include "exposure/estimate_exposure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "exposure/exposure_scene.h"
#include "exposure/exposure_solve.h"
#include "support/storage_override.h"

using exposure_scene::shot;

namespace {
double gain_of(const input_correction& c, int channel) {
  double s = 0.0;
  for (int32_t n = 0; n < c.grid.nodes(); ++n) s += c.log_gain[3 * n + channel];
  return std::exp(s / c.grid.nodes());
}

// The largest relative distance of correction x true gain from its geometric mean over the
// inputs: 0 when every input was corrected back to one common brightness.
double spread_of_products(const exposure_correction& found, const std::vector<shot>& shots) {
  double worst = 0.0;
  for (int c = 0; c < 3; ++c) {
    double mean_log = 0.0;
    for (size_t i = 0; i < shots.size(); ++i) mean_log += std::log(gain_of(found.inputs[i], c) * shots[i].gain[c]);
    mean_log /= shots.size();
    for (size_t i = 0; i < shots.size(); ++i)
      worst = std::max(worst, std::fabs(std::log(gain_of(found.inputs[i], c) * shots[i].gain[c]) - mean_log));
  }
  return worst;
}

// Rewrites an 8-bit shot's file with each pixel (B, G, R, A bytes) passed through change.
void edit(const std::string& file_name, const shot& s, const std::function<void(int, int, uint8_t*)>& change) {
  dib_ptr image(exposure_scene::render(s, false));
  for (int y = 0; y < s.height; ++y) {
    locked_row row(*image, y);
    for (int x = 0; x < s.width; ++x) change(x, y, row.bytes() + 4 * x);
  }
  save_image(file_name, image.get(), nullptr);
}

exposure_options gains_only() {
  exposure_options o;
  o.mode = exposure_mode::gain;
  return o;
}
}  // namespace

TEST(EstimateExposure, RecoversTheGainsOfEightAndSixteenBitShots) {
  for (const bool sixteen : {false, true}) {
    scoped_temp_dir dir;
    std::vector<shot> shots = exposure_scene::grid(3, 2, 160, 120);
    // A larger shot reduces to larger cells; the comparisons must still line up.
    shots.push_back(shots[4]);
    shots.back().x = 40, shots.back().y = 180, shots.back().width = 1600, shots.back().height = 400;
    const exposure_correction found =
        estimate_exposure(exposure_scene::write(dir.path(), shots, sixteen), gains_only(), 0, nullptr).correction;
    ASSERT_EQ(found.inputs.size(), shots.size());
    EXPECT_LT(spread_of_products(found, shots), 0.003) << (sixteen ? "16-bit" : "8-bit");
    EXPECT_TRUE(found.falloff.empty());
  }
}

TEST(EstimateExposure, KeepsTheOverallBrightness) {
  // Gains around 1 are undone, not brought to the first shot's level.
  scoped_temp_dir dir;
  std::vector<shot> shots = exposure_scene::grid(3, 1, 160, 120);
  const double gains[] = {0.8, 1.0, 1.25};
  for (int i = 0; i < 3; ++i) std::fill(shots[i].gain, shots[i].gain + 3, gains[i]);
  const exposure_correction found =
      estimate_exposure(exposure_scene::write(dir.path(), shots), gains_only(), 0, nullptr).correction;
  for (int i = 0; i < 3; ++i)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(gain_of(found.inputs[i], c) * gains[i], 1.0, 0.003) << i;
}

TEST(EstimateExposure, IgnoresAMovingThing) {
  scoped_temp_dir dir;
  std::vector<shot> shots = exposure_scene::grid(2, 1, 200, 150);
  std::vector<exposure_input> inputs = exposure_scene::write(dir.path(), shots);
  // Something dark walked through a third of the overlap (columns 140..199 of the first shot).
  edit(inputs[0].file_name, shots[0], [](int x, int y, uint8_t* p) {
    if (x >= 140 && y >= 20 && y < 70)
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(p[c] / 3);
  });
  const exposure_correction found = estimate_exposure(inputs, gains_only(), 0, nullptr).correction;
  EXPECT_LT(spread_of_products(found, shots), 0.003);
}

TEST(EstimateExposure, IgnoresClippedHighlights) {
  // A flat sky over the top 60 % of both shots: the brighter shot clips it to white, which
  // would read as a gain of 1 / 0.75 where the truth is 1.5.
  scoped_temp_dir dir;
  std::vector<shot> shots = exposure_scene::grid(2, 1, 200, 150);
  shots[0].gain[0] = shots[0].gain[1] = shots[0].gain[2] = 1.0;
  shots[1].gain[0] = shots[1].gain[1] = shots[1].gain[2] = 1.5;
  std::vector<exposure_input> inputs = exposure_scene::write(dir.path(), shots);
  for (int i = 0; i < 2; ++i)
    edit(inputs[i].file_name, shots[i], [g = shots[i].gain[0]](int, int y, uint8_t* p) {
      if (y < 90) p[0] = p[1] = p[2] = static_cast<uint8_t>(std::lround(std::min(1.0, 0.75 * g) * 255));
    });
  const exposure_correction found = estimate_exposure(inputs, gains_only(), 0, nullptr).correction;
  EXPECT_LT(spread_of_products(found, shots), 0.003);
}

TEST(EstimateExposure, RecoversASharedFalloff) {
  scoped_temp_dir dir;
  std::vector<shot> shots = exposure_scene::grid(3, 3, 200, 150);
  for (shot& s : shots) s.falloff = -0.3;
  exposure_options options = gains_only();
  options.vignetting = true;
  const exposure_correction found =
      estimate_exposure(exposure_scene::write(dir.path(), shots), options, 0, nullptr).correction;
  ASSERT_EQ(found.falloff.size(), static_cast<size_t>(falloff_terms));
  for (const double r2 : {0.1, 0.3, 0.6, 1.0})
    EXPECT_NEAR(std::exp(log_falloff(found.falloff, r2)), 1.0 - 0.3 * r2, 0.01) << "r^2 = " << r2;
  EXPECT_LT(spread_of_products(found, shots), 0.005);
}

TEST(EstimateExposure, CountsTheOverlapAcrossTheWrap) {
  // The third shot meets the first only across the 0/360 edge at column 300.
  scoped_temp_dir dir;
  std::vector<shot> shots(3);
  const long xs[] = {0, 90, 240};
  const double gains[] = {1.0, 1.1, 0.8};
  for (int i = 0; i < 3; ++i) {
    shots[i].x = xs[i], shots[i].width = 120, shots[i].height = 100, shots[i].period = 300;
    std::fill(shots[i].gain, shots[i].gain + 3, gains[i]);
  }
  const std::vector<exposure_input> inputs = exposure_scene::write(dir.path(), shots);
  EXPECT_LT(spread_of_products(estimate_exposure(inputs, gains_only(), 300, nullptr).correction, shots), 0.004);
  // Without the wrap the third shot is on its own, and stays as it is.
  const exposure_correction alone = estimate_exposure(inputs, gains_only(), 0, nullptr).correction;
  EXPECT_NEAR(gain_of(alone.inputs[2], 1), 1.0, 0.001);
}

TEST(EstimateExposure, RefusesTheFalloffForInputsOfDifferentSizes) {
  scoped_temp_dir dir;
  std::vector<shot> shots = exposure_scene::grid(2, 1, 160, 120);
  shots[1].width = 150;
  exposure_options options;
  options.vignetting = true;
  try {
    static_cast<void>(estimate_exposure(exposure_scene::write(dir.path(), shots), options, 0, nullptr));
    FAIL() << "no error";
  } catch (const vignetting_size_error& e) {
    EXPECT_NE(std::string(e.what()).find("shot_0.tif is 160x120, " + dir.path() + "/shot_1.tif is 150x120"),
              std::string::npos)
        << e.what();
  }
}

TEST(EstimateExposure, GainGridFollowsAnExposureThatChangesAcrossAShot) {
  // The middle shot of a row darkens from left to right, as a sky gradient a single gain
  // cannot undo; its neighbours are right.
  scoped_temp_dir dir;
  std::vector<shot> shots = exposure_scene::grid(3, 1, 200, 150);
  for (shot& s : shots) std::fill(s.gain, s.gain + 3, 1.0);
  std::vector<exposure_input> inputs = exposure_scene::write(dir.path(), shots);
  auto ramp = [](double x) { return 1.15 - 0.3 * x / 199.0; };
  edit(inputs[1].file_name, shots[1], [&](int x, int, uint8_t* p) {
    for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::lround(p[c] * ramp(x)));
  });
  exposure_options options;
  options.mode = exposure_mode::gain_grid;
  const exposure_correction found = estimate_exposure(inputs, options, 0, nullptr).correction;
  // Corrected, the middle shot meets each neighbour where they overlap.
  for (const double x : {20.0, 180.0})
    for (int c = 0; c < 3; ++c) {
      const double neighbour =
          correction_factors(found.inputs[x < 100 ? 0 : 2], {}, x < 100 ? x + 140 : x - 140, 75)[c];
      EXPECT_NEAR(correction_factors(found.inputs[1], {}, x, 75)[c] * ramp(x) / neighbour, 1.0, 0.015) << x;
    }
}
