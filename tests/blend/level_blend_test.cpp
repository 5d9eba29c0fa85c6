#include "blend/level_blend.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "blend/kernel_reference.h"
#include "blend/box_filter.h"
#include "dumps/debug_dumps.h"
#include "support/recording_tracker.h"
#include "support/storage_override.h"
#include "platform/internal_error.h"

namespace ref = kernel_reference;

namespace {

ref::bytes one_pixel(uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
  ref::bytes p(1, 1);
  p.px = {b, g, r, a};
  return p;
}

// Level 1 pixel after blending one pixel of each level under a mask pixel (green, blue).
std::vector<uint8_t> blend_one(const ref::bytes& p1, const ref::bytes& p2, uint8_t green, uint8_t blue) {
  dib_ptr l1 = ref::make(p1);
  blend_weighted(l1, ref::make(p2), ref::make(one_pixel(blue, green, 0, 255)), nullptr);
  return ref::read<uint8_t>(l1).px;
}

std::vector<float> blend_one(std::vector<float> p1, std::vector<float> p2, uint8_t green, uint8_t blue) {
  ref::floats a(1, 1), b(1, 1);
  a.px = p1, b.px = p2;
  dib_ptr l1 = ref::make(a);
  blend_weighted(l1, ref::make(b), ref::make(one_pixel(blue, green, 0, 255)), nullptr);
  return ref::read<float>(l1).px;
}

}  // namespace

TEST(LevelBlend, ByteMaskExtremesKeepOrTakeAndEqualSharesLeanToImageOne) {
  const ref::bytes p1 = one_pixel(200, 10, 0, 255), p2 = one_pixel(100, 250, 255, 200);
  EXPECT_EQ(blend_one(p1, p2, 255, 0), p1.px);
  EXPECT_EQ(blend_one(p1, p2, 0, 255), p2.px);
  // w = 128: W1 = 255 * 128, W2 = 200 * 127, F = 58040; B (32640*200 + 25400*100 + 29020) / F = 156.
  EXPECT_EQ(blend_one(p1, p2, 77, 77), (std::vector<uint8_t>{156, 115, 112, 228}));
  EXPECT_EQ(blend_one(one_pixel(200, 0, 0, 255), one_pixel(100, 0, 0, 255), 9, 9)[0], 150);
}

TEST(LevelBlend, TransparencyDecidesBeforeTheMask) {
  const ref::bytes opaque = one_pixel(1, 2, 3, 40), clear = one_pixel(9, 9, 9, 0);
  for (uint8_t g : {0, 128, 255}) {
    EXPECT_EQ(blend_one(opaque, clear, g, 255 - g), opaque.px);
    EXPECT_EQ(blend_one(clear, opaque, g, 255 - g), opaque.px);
  }
  EXPECT_EQ(
      blend_one(std::vector<float>{0.2f, 0.3f, 0.4f, 0.5f}, {0.9f, 0.9f, 0.9f, 1.52587890625e-05f}, 0, 255),
      (std::vector<float>{0.2f, 0.3f, 0.4f, 0.5f}));
  EXPECT_EQ(blend_one(std::vector<float>{0.2f, 0.3f, 0.4f, 1e-6f}, {0.9f, 0.8f, 0.7f, 0.5f}, 255, 0),
            (std::vector<float>{0.9f, 0.8f, 0.7f, 0.5f}));
  EXPECT_EQ(blend_one(std::vector<float>{0.2f, 0.3f, 0.4f, 1e-6f}, {0.9f, 0.8f, 0.7f, 0}, 255, 0),
            (std::vector<float>{0, 0, 0, 0}));
}

TEST(LevelBlend, FloatMixesByMaskSharesOrByAlphaAlone) {
  const std::vector<float> p1{0.2f, 0.4f, 0.6f, 0.5f}, p2{0.8f, 0.6f, 0.0f, 1.0f};
  EXPECT_EQ(blend_one(p1, p2, 255, 0), p1);
  EXPECT_EQ(blend_one(p1, p2, 0, 255), p2);
  // A = 100, B = 50: c = 50, d = 50, e = 100; colour halfway, alpha 100 / 150.
  const std::vector<float> mixed = blend_one(p1, p2, 100, 50);
  EXPECT_EQ(mixed[0], 0.5f * 0.2f + 0.5f * 0.8f);
  EXPECT_EQ(mixed[3], 100.0f / 150.0f);
  const std::vector<float> by_alpha = blend_one(p1, p2, 0, 0);
  EXPECT_EQ(by_alpha[1], (1.0f * 0.6f + 0.5f * 0.4f) / 1.5f);
  EXPECT_EQ(by_alpha[3], 0.75f);
}

TEST(LevelBlendReference, ByteAndFloatBlendsMatchOnRandomLevels) {
  std::mt19937 rng(31);
  for (int round = 0; round < 60; ++round) {
    const int w = 1 + rng() % 67, h = 1 + rng() % 67;
    ref::bytes l1 = ref::random_bytes(rng, w, h);
    const ref::bytes l2 = ref::random_bytes(rng, w, h), mask = ref::random_bytes(rng, w, h);
    dib_ptr level = ref::make(l1);
    blend_weighted(level, ref::make(l2), ref::make(mask), nullptr);
    ref::blend(l1, l2, mask);
    EXPECT_EQ(ref::read<uint8_t>(level).px, l1.px) << w << "x" << h;
  }
  for (int round = 0; round < 30; ++round) {
    const int w = 1 + rng() % 40, h = 1 + rng() % 40;
    ref::floats l1 = ref::random_floats(rng, w, h);
    const ref::floats l2 = ref::random_floats(rng, w, h);
    ref::bytes mask = ref::random_bytes(rng, w, h);
    for (int i = 0; i < w * h; ++i)  // shares of 0 on either side or both
      for (int c : {0, 1})
        if (rng() % 3 == 0) mask.px[4 * i + c] = 0;
    dib_ptr level = ref::make(l1);
    blend_weighted(level, ref::make(l2), ref::make(mask), nullptr);
    ref::blend(l1, l2, mask);
    const ref::floats out = ref::read<float>(level);
    EXPECT_EQ(std::memcmp(out.px.data(), l1.px.data(), l1.px.size() * sizeof(float)), 0) << w << "x" << h;
  }
  EXPECT_THROW(blend_weighted(dib_ptr(create_dib(3, 3, 32)), dib_ptr(create_dib(3, 3, 32)),
                              dib_ptr(create_dib(3, 2, 32)), nullptr),
               internal_error);
}

TEST(LevelBlend, BlendLevelSmoothsTheMaskInPlaceAndDumpsIt) {
  std::mt19937 rng(32);
  const ref::bytes l1 = ref::random_bytes(rng, 20, 14), l2 = ref::random_bytes(rng, 20, 14);
  const ref::bytes mask = ref::random_bytes(rng, 20, 14);

  scoped_temp_dir dir;
  char old_dir[4096];
  ASSERT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  const blend_options options;
  debug_dumps dumps(false, true);
  dumps.next_prefix();

  dib_ptr level = ref::make(l1), m = ref::make(mask);
  recording_tracker t;
  blend_level(level, ref::make(l2), m, 2, 3, blend_context{options, &dumps, &t});
  const std::vector<std::string> files = dir.entries();
  ASSERT_EQ(chdir(old_dir), 0);

  const ref::bytes smoothed = ref::box_filter(mask, mask, 2, false, 1);
  EXPECT_EQ(ref::read<uint8_t>(m).px, smoothed.px);
  ref::bytes expected = l1;
  ref::blend(expected, l2, smoothed);
  EXPECT_EQ(ref::read<uint8_t>(level).px, expected.px);
  EXPECT_EQ(files, std::vector<std::string>{"0000_Verb__BlendMask_3.tif"});

  std::vector<std::string> labels;
  for (const auto& c : t.calls)
    if (c.what == "begin") labels.push_back(c.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"Final Blending", "Low Pass filtration", "blend_weighted"}));
  EXPECT_EQ(t.values("step_end"), (std::vector<double>{50, 100}));
  EXPECT_EQ(t.depth, 0);

  // Without smoothing and dumps the mask is used as given.
  dib_ptr plain = ref::make(l1), untouched = ref::make(mask);
  blend_level(plain, ref::make(l2), untouched, 0, 0, blend_context{blend_options{}, nullptr, nullptr});
  EXPECT_EQ(ref::read<uint8_t>(untouched).px, mask.px);
}

TEST(LevelBlend, FloatPathOpensItsInnerStage) {
  recording_tracker t;
  blend_weighted(dib_ptr(create_float_dib(2, 3)), dib_ptr(create_float_dib(2, 3)),
                 dib_ptr(create_dib(2, 3, 32)), &t);
  ASSERT_GE(t.calls.size(), 2u);
  EXPECT_EQ(t.calls[0].label, "blend_weighted");
  EXPECT_EQ(t.calls[1].label, "Alpha blending of laplacian");
  EXPECT_EQ(t.values("progress"), (std::vector<double>{0, 33, 66}));
  EXPECT_EQ(t.depth, 0);
}
