#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <stdexcept>
#include <string>

#include "blend/kernel_reference.h"
#include "blend/box_filter.h"
#include "support/recording_tracker.h"
#include "platform/internal_error.h"

namespace ref = kernel_reference;

namespace {

// A picture of fewer than 24 bits per pixel, which no factory makes.
class eight_bit_dib : public dib {
 public:
  dib* create_blank(int32_t, int32_t) const override { return nullptr; }
  dib* clone() const override { return nullptr; }
  void destroy() override { delete this; }
  uint8_t* data() override { return nullptr; }
  uint8_t* lock_row(int32_t) override { return nullptr; }
  void unlock_row(int32_t) override {}
  int width() const override { return 2; }
  int height() const override { return 2; }
  int stride() const override { return 16; }
  int bits_per_pixel() const override { return 8; }
  dib_cursor* create_cursor() override { return nullptr; }
  int channels() const override { return 1; }
  color_model model() const override { return bgr24; }
};

}  // namespace

TEST(FilterColorModels, MismatchedModelsAreInternalErrors) {
  dib_ptr rgb(create_dib(3, 3, 24)), rgba(create_dib(3, 3, 32)), eight(new eight_bit_dib);
  EXPECT_THROW(check_color_models(rgb, rgba), internal_error);
  EXPECT_THROW(check_color_models(rgba, eight), internal_error);
  EXPECT_THROW(check_color_models(eight, rgb), internal_error);
  EXPECT_NO_THROW(check_color_models(rgba, rgba));

  recording_tracker t;
  EXPECT_THROW(low_pass_filter(rgb, rgba, 1, &t), internal_error);
  EXPECT_THROW(high_pass_filter(rgba, rgb, 1, 1, &t), internal_error);
  EXPECT_EQ(t.depth, 0);
  ASSERT_EQ(t.calls.size(), 4u);
  EXPECT_EQ(t.calls[0].label, "Low Pass filtration");
  EXPECT_EQ(t.calls[2].label, "High Pass filtration");

  // Float pixels would be read as bytes: refused rather than filtered into noise.
  dib_ptr f1(create_float_dib(3, 3)), f2(create_float_dib(3, 3));
  EXPECT_THROW(low_pass_filter(f1, f2, 1, nullptr), internal_error);
  EXPECT_THROW(low_pass_filter(rgba, dib_ptr(create_dib(3, 4, 32)), 1, nullptr), internal_error);
}

TEST(FilterWorkedExamples, RadiusZeroCopiesOpaquePixelsAndCentresHighPass) {
  std::mt19937 rng(5);
  const ref::bytes src = ref::random_bytes(rng, 9, 7);
  ref::bytes old(9, 7);
  std::fill(old.px.begin(), old.px.end(), 77);
  dib_ptr s = ref::make(src), low = ref::make(old), high = ref::make(old);
  low_pass_filter(s, low, 0, nullptr);
  high_pass_filter(s, high, 0, 1, nullptr);
  const ref::bytes l = ref::read<uint8_t>(low), h = ref::read<uint8_t>(high);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 9; ++x) {
      const uint8_t* p = src.at(x, y);
      for (int c = 0; c < 4; ++c) {
        // A transparent pixel is its own whole window: nothing taken, the old value stays.
        EXPECT_EQ(l.at(x, y)[c], p[3] ? p[c] : 77);
        EXPECT_EQ(h.at(x, y)[c], p[3] ? (c == 3 ? p[3] : 127) : 77);
      }
    }
}

TEST(FilterWorkedExamples, TransparentPixelsAndRadiusBeyondThePicture) {
  // 3 x 2, opaque except (1, 0) with alpha 0 and (2, 1) with alpha 9.
  ref::bytes src(3, 2);
  const uint8_t values[6][4] = {{10, 20, 30, 255}, {200, 200, 200, 0},   {40, 50, 60, 255},
                                {70, 80, 90, 255}, {100, 110, 120, 255}, {130, 140, 150, 9}};
  for (int i = 0; i < 6; ++i) std::copy(values[i], values[i] + 4, src.at(i % 3, i / 3));
  ref::bytes old(3, 2);
  std::fill(old.px.begin(), old.px.end(), 99);
  for (int radius : {3, 1000000}) {
    dib_ptr dst = ref::make(old);
    low_pass_filter(ref::make(src), dst, radius, nullptr);
    const ref::bytes out = ref::read<uint8_t>(dst);
    // Mean of the five taken pixels, rounded: B (350 + 2) / 5 = 70, G 402 / 5 = 80, R 452 / 5 = 90.
    for (int i = 0; i < 6; ++i) {
      const uint8_t* d = out.at(i % 3, i / 3);
      if (i == 1) {
        EXPECT_EQ(d[0] + d[1] + d[2] + d[3], 0);  // transparent next to opaque: four zero bytes
        continue;
      }
      EXPECT_EQ(d[0], 70);
      EXPECT_EQ(d[1], 80);
      EXPECT_EQ(d[2], 90);
      EXPECT_EQ(d[3], values[i][3]);
    }
  }
}

TEST(FilterReference, BothFiltersMatchTheWindowSumsOnRandomPictures) {
  std::mt19937 rng(42);
  for (int round = 0; round < 60; ++round) {
    // Every tenth round a radius beyond the picture, on a small one to keep the reference quick.
    const bool beyond = round % 10 == 9;
    const int w = 1 + rng() % (beyond ? 20 : 67), h = 1 + rng() % (beyond ? 20 : 67),
              ch = round % 3 == 2 ? 3 : 4;
    const int radius = beyond ? 70 : static_cast<int>(rng() % 6);
    const int gain = std::vector<int>{1, 3, -2, 0}[rng() % 4];
    const ref::bytes src = ref::random_bytes(rng, w, h, ch), old = ref::random_bytes(rng, w, h, ch);
    SCOPED_TRACE(::testing::Message() << w << "x" << h << " ch " << ch << " r " << radius << " g " << gain);

    dib_ptr low = ref::make(old), high = ref::make(old);
    EXPECT_EQ(low_pass_filter(ref::make(src), low, radius, nullptr), low);
    high_pass_filter(ref::make(src), high, radius, gain, nullptr);
    EXPECT_EQ(ref::read<uint8_t>(low).px, ref::box_filter(src, old, radius, false, 1).px);
    EXPECT_EQ(ref::read<uint8_t>(high).px, ref::box_filter(src, old, radius, true, gain).px);

    // Source and destination the same image: filtered as from an untouched copy.
    dib_ptr same = ref::make(src);
    high_pass_filter(same, same, radius, gain, nullptr);
    EXPECT_EQ(ref::read<uint8_t>(same).px, ref::box_filter(src, src, radius, true, gain).px);
  }
}

TEST(FilterReference, HugeGainSaturatesLikeExactArithmetic) {
  // Radius beyond the picture: every window is the whole picture, and n s - S reaches millions,
  // so that (n s + n/2 - S) * gain passes 2^52.
  std::mt19937 rng(7);
  const ref::bytes src = ref::random_bytes(rng, 140, 130);
  int64_t sum[3] = {0, 0, 0}, n = 0;
  for (int i = 0; i < 140 * 130; ++i)
    if (src.px[4 * i + 3] != 0) {
      for (int c = 0; c < 3; ++c) sum[c] += src.px[4 * i + c];
      ++n;
    }
  for (int gain : {2000000000, -2000000000, 1}) {
    dib_ptr dst = ref::make(src);
    high_pass_filter(ref::make(src), dst, 1000, gain, nullptr);
    const ref::bytes out = ref::read<uint8_t>(dst);
    for (int i = 0; i < 140 * 130; ++i) {
      const uint8_t* p = &src.px[4 * i];
      for (int c = 0; c < 3; ++c) {
        const int64_t v =
            p[3] == 0 ? 0 : std::clamp<int64_t>(((n * p[c] + n / 2 - sum[c]) * gain) / n + 127, 0, 255);
        ASSERT_EQ(out.px[4 * i + c], v) << i << " gain " << gain;
      }
    }
  }
}

TEST(FilterProgress, OneReportPerOutputRowCountingTheLeadingRows) {
  dib_ptr a(create_dib(5, 4, 32)), b(create_dib(5, 4, 32));
  recording_tracker t;
  low_pass_filter(a, b, 3, &t);
  // c runs from 0 at row -r; rows 0..3 report c = 3..6 over r + h = 7.
  EXPECT_EQ(t.values("progress"), (std::vector<double>{42, 57, 71, 85}));
  EXPECT_EQ(t.depth, 0);
}
