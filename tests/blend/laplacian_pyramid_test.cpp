#include "blend/laplacian_pyramid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "blend/kernel_reference.h"
#include "support/recording_tracker.h"
#include "support/storage_override.h"

namespace ref = kernel_reference;

namespace {

// Slowly varying colours, so that no band-pass difference needs clamping; alpha 255 or 0, and
// transparent pixels carry no colour (the pyramid cannot keep one there).
ref::bytes smooth_picture(int w, int h, bool with_holes) {
  ref::bytes p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (with_holes && (x * 7 + y * 3) % 11 == 0) continue;
      for (int c = 0; c < 3; ++c)
        p.at(x, y)[c] = static_cast<uint8_t>(128 + 90 * std::sin(x / (5.0 + c)) * std::cos(y / (4.0 + c)));
      p.at(x, y)[3] = 255;
    }
  return p;
}

ref::bytes region(const ref::bytes& p, int x0, int w, int h) {
  ref::bytes out(w, h);
  for (int y = 0; y < h; ++y) std::memcpy(out.at(0, y), p.at(x0, y), 4 * w);
  return out;
}

bool same_bits(const ref::floats& a, const ref::floats& b) {
  return a.w == b.w && a.h == b.h && std::memcmp(a.px.data(), b.px.data(), a.px.size() * sizeof(float)) == 0;
}

}  // namespace

TEST(PyramidBuild, OneLevelHoldsTheImageItself) {
  dib_ptr image = ref::make(smooth_picture(5, 4, false));
  for (int levels : {1, 0}) {
    laplacian_pyramid p(image, levels, nullptr);
    ASSERT_EQ(p.size(), 1);
    EXPECT_EQ(p[0], image);
    EXPECT_EQ(p.collapse(nullptr), image);
    EXPECT_EQ(p.size(), 0);
  }
  EXPECT_FALSE(laplacian_pyramid().montage());
  EXPECT_FALSE(laplacian_pyramid().collapse(nullptr));
}

TEST(PyramidBuild, ByteLevelsAreBandsOfTheGaussianLevels) {
  std::mt19937 rng(21);
  const ref::bytes src = ref::random_bytes(rng, 37, 22);
  dib_ptr image = ref::make(src);
  laplacian_pyramid p(image, 4, nullptr);
  ASSERT_EQ(p.size(), 4);
  EXPECT_EQ(ref::read<uint8_t>(image).px, src.px);  // the source is left alone

  ref::bytes g = src;
  for (int k = 0; k < 3; ++k) {
    const ref::bytes coarse = ref::reduce(g);
    EXPECT_EQ(ref::read<uint8_t>(p[k]).px, ref::combine(ref::expand(coarse, g.w, g.h), g, -1).px) << k;
    g = coarse;
  }
  EXPECT_EQ(p[3]->width(), 5);
  EXPECT_EQ(p[3]->height(), 3);
  EXPECT_EQ(ref::read<uint8_t>(p[3]).px, g.px);
}

TEST(PyramidRoundTrip, SmoothBytePictureComesBackExactly) {
  for (bool holes : {false, true}) {
    const ref::bytes src = smooth_picture(61, 45, holes);
    laplacian_pyramid p(ref::make(src), 6, nullptr);
    EXPECT_EQ(ref::read<uint8_t>(p.collapse(nullptr)).px, src.px) << holes;
  }
}

TEST(PyramidRoundTrip, NoisyBytePictureIsExactUpToTheClampedDifferences) {
  std::mt19937 rng(22);
  ref::bytes src = ref::random_bytes(rng, 33, 19);
  for (int i = 0; i < 33 * 19; ++i) src.px[4 * i + 3] = 255;
  laplacian_pyramid p(ref::make(src), 2, nullptr);
  const ref::bytes out = ref::read<uint8_t>(p.collapse(nullptr));
  const ref::bytes up = ref::expand(ref::reduce(src), 33, 19);
  int clamped = 0;
  for (size_t i = 0; i < src.px.size(); ++i) {
    if (i % 4 == 3) {
      EXPECT_EQ(out.px[i], 255);
      continue;
    }
    const int d = src.px[i] - up.px[i];
    if (d >= -127 && d <= 128) {
      EXPECT_EQ(out.px[i], src.px[i]) << i;
    } else {
      ++clamped;
      EXPECT_EQ(out.px[i], std::clamp(up.px[i] + (d < 0 ? -127 : 128), 0, 255)) << i;
    }
  }
  EXPECT_GT(clamped, 0);  // the picture is noisy enough to reach the limits
}

TEST(PyramidRoundTrip, FloatPyramidIsBuiltInPlaceAndCollapsesWithinRounding) {
  std::mt19937 rng(23);
  ref::floats src = ref::random_floats(rng, 41, 30);
  for (int i = 0; i < 41 * 30; ++i) src.px[4 * i + 3] = 1.0f;
  dib_ptr image = ref::make(src);
  laplacian_pyramid p(image, 5, nullptr);
  ASSERT_EQ(p.size(), 5);
  EXPECT_EQ(p[0], image);

  // Level by level as the float kernels define it: plain interpolation at the two finest levels.
  std::vector<ref::floats> levels;
  ref::floats g = src;
  for (int k = 0; k < 4; ++k) {
    ref::floats coarse = ref::reduce(g);
    ref::expand(coarse, g, k >= 2, ref::write_mode::subtract);
    levels.push_back(g);
    g = coarse;
  }
  levels.push_back(g);
  for (int k = 0; k < 5; ++k) EXPECT_TRUE(same_bits(ref::read<float>(p[k]), levels[k])) << k;

  ref::floats expected = levels.back();
  for (int k = 3; k >= 0; --k) {
    ref::floats target = levels[k];
    ref::expand(expected, target, k >= 2, ref::write_mode::add);
    expected = target;
  }
  const ref::floats out = ref::read<float>(p.collapse(nullptr));
  EXPECT_TRUE(same_bits(out, expected));
  float worst = 0.0f;
  for (size_t i = 0; i < src.px.size(); ++i) worst = std::max(worst, std::fabs(out.px[i] - src.px[i]));
  EXPECT_LT(worst, 4e-6f);  // a few units in the last place of values around 1
}

TEST(PyramidProgress, StepsAndStagesOfBuildAndCollapse) {
  recording_tracker t;
  laplacian_pyramid bytes(dib_ptr(create_dib(8, 8, 32)), 3, &t);
  EXPECT_EQ(t.values("step_end"), (std::vector<double>{0, 30, 80, 100, 75, 30, 80, 100}));
  t.calls.clear();
  bytes.collapse(&t);
  EXPECT_EQ(t.values("step_end"), (std::vector<double>{25, 70, 100, 100, 70, 100}));

  t.calls.clear();
  laplacian_pyramid floats(dib_ptr(create_float_dib(8, 8)), 3, &t);
  EXPECT_EQ(t.values("step_end"), (std::vector<double>{0, 30, 80, 75, 30, 80}));
  t.calls.clear();
  floats.collapse(&t);
  EXPECT_EQ(t.values("step_end"), (std::vector<double>{25, 100}));
  EXPECT_EQ(t.depth, 0);
}

TEST(PyramidMontage, LevelsAlphaViewsAndReconstructionsSideBySide) {
  std::mt19937 rng(24);
  const ref::bytes src = ref::random_bytes(rng, 8, 6);
  laplacian_pyramid p(ref::make(src), 3, nullptr);
  const ref::bytes canvas = ref::read<uint8_t>(p.montage());
  ASSERT_EQ(canvas.w, 3 * 8 + 2 * (8 + 4 + 2));
  ASSERT_EQ(canvas.h, 6);

  const int xs[] = {0, 8, 12};
  for (int k = 0; k < 3; ++k) {
    const ref::bytes level = ref::read<uint8_t>(p[k]);
    EXPECT_EQ(region(canvas, xs[k], level.w, level.h).px, level.px) << k;
    const ref::bytes view = region(canvas, 14 + xs[k], level.w, level.h);
    for (int i = 0; i < level.w * level.h; ++i) {
      const int a = level.px[4 * i + 3];
      EXPECT_EQ(view.px[4 * i + 0], a == 0 ? 255 : 0);
      EXPECT_EQ(view.px[4 * i + 1], a);
      EXPECT_EQ(view.px[4 * i + 2], (a * a + 128) >> 8);
      EXPECT_EQ(view.px[4 * i + 3], 255);
    }
  }
  EXPECT_EQ(canvas.at(8, 5)[3], 0);  // below the shorter level 1

  const ref::bytes g1 = ref::reduce(src), g2 = ref::reduce(g1);
  EXPECT_EQ(region(canvas, 28, 8, 6).px, ref::expand(ref::expand(g2, 4, 3), 8, 6).px);
  laplacian_pyramid copy(ref::make(src), 3, nullptr);
  EXPECT_EQ(region(canvas, 44, 8, 6).px, ref::read<uint8_t>(copy.collapse(nullptr)).px);
  EXPECT_EQ(p.size(), 3);
}

TEST(PyramidStorage, FileBackedImagesGiveTheSameLevels) {
  std::mt19937 rng(25);
  const ref::bytes src = ref::random_bytes(rng, 57, 83);
  laplacian_pyramid in_memory(ref::make(src), 5, nullptr);
  const ref::bytes expected = ref::read<uint8_t>(in_memory.collapse(nullptr));

  scoped_temp_dir dir;
  force_file_storage files;
  dib_ptr image = ref::make(src);
  ASSERT_EQ(image->data(), nullptr);  // rows live in a mapped file
  laplacian_pyramid mapped(image, 5, nullptr);
  EXPECT_EQ(ref::read<uint8_t>(mapped.collapse(nullptr)).px, expected.px);
}
