#include "exposure/exposure_correction.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/parallel.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
// A 3 x 3 grid of gains that differ per channel, and a falloff of 30 % in the corners.
input_correction smooth_correction(int width, int height) {
  input_correction c;
  c.grid = node_grid{3, 3, width, height};
  for (int n = 0; n < 9; ++n)
    for (int k = 0; k < 3; ++k) c.log_gain.push_back(0.05 * (n % 3) - 0.04 * (n / 3) + 0.1 * k);
  return c;
}
const std::vector<double> falloff{-0.3, -0.05};
}  // namespace

TEST(ApplyCorrection, FollowsTheExactFactorsAndKeepsAlpha) {
  // Exact every 16 pixels both ways, and the last stretch each way is shorter.
  const int w = 1101, h = 1090;
  const input_correction c = smooth_correction(w, h);
  dib_ptr image(create_float_dib(w, h));
  for (int y = 0; y < h; ++y) {
    locked_row row(*image, y);
    for (int x = 0; x < w; ++x)
      for (int k = 0; k < 4; ++k) row.as<float>()[4 * x + k] = k == 3 ? 0.5f : 0.4f;
  }
  apply_correction(*image, c, falloff);
  for (int y = 0; y < h; y += y + 7 < h ? 7 : std::max(1, h - 1 - y)) {
    locked_row row(*image, y);
    for (int x = 0; x < w; ++x) {
      const float* p = row.as<float>() + 4 * x;
      const std::array<double, 3> exact = correction_factors(c, falloff, x, y);
      for (int k = 0; k < 3; ++k)  // memory order B, G, R; factors r, g, b
        ASSERT_NEAR(p[2 - k] / 0.4 / std::min(2.5, exact[k]), 1.0, 4e-4) << x << "," << y;
      ASSERT_EQ(p[3], 0.5f);
    }
  }
}

TEST(ApplyCorrection, RoundsBytesAndClampsAtFullScale) {
  input_correction c;
  c.grid = node_grid{1, 1, 2, 1};
  c.log_gain = {std::log(1.5), std::log(0.5), std::log(1.0)};
  dib_ptr image(create_dib(2, 1, 32));
  set_pixel(image.get(), 0, 0, rgba8{101, 101, 101, 7});
  set_pixel(image.get(), 1, 0, rgba8{200, 200, 200, 255});
  apply_correction(*image, c, {});
  EXPECT_TRUE(get_pixel(image.get(), 0, 0) == (rgba8{152, 51, 101, 7}));  // 151.5 and 50.5 round up
  EXPECT_TRUE(get_pixel(image.get(), 1, 0) == (rgba8{255, 100, 200, 255}));
}

TEST(ApplyCorrection, SameBytesForAnyThreadCount) {
  const int w = 333, h = 211;
  const input_correction c = smooth_correction(w, h);
  for (const bool floats : {false, true}) {
    std::vector<uint8_t> first;
    for (const int threads : {1, 2, 5}) {
      set_thread_count(threads);
      dib_ptr image(floats ? create_float_dib(w, h) : create_dib(w, h, 32));
      fill_random(image.get(), 7);
      apply_correction(*image, c, falloff);
      if (first.empty())
        first = pixel_bytes(image.get());
      else
        EXPECT_EQ(pixel_bytes(image.get()), first) << threads << " threads";
    }
  }
  set_thread_count(0);
}

TEST(ApplyCorrection, OneFactorPerChannelByTableGivesTheLoopsBytes) {
  // A falloff of zero changes no factor but takes the per-pixel loops.
  input_correction c;
  c.grid = node_grid{1, 1, 257, 9};
  c.log_gain = {std::log(1.37), std::log(0.61), std::log(1.003)};
  dib_ptr by_table(create_dib(257, 9, 32));
  fill_random(by_table.get(), 11);
  dib_ptr by_loop(by_table->clone());
  apply_correction(*by_table, c, {});
  apply_correction(*by_loop, c, std::vector<double>{0.0});
  EXPECT_EQ(pixel_bytes(by_table.get()), pixel_bytes(by_loop.get()));
}
