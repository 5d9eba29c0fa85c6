#include "blend/reduce_expand.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "blend/kernel_reference.h"
#include "support/recording_tracker.h"
#include "platform/internal_error.h"

namespace ref = kernel_reference;

namespace {

ref::bytes opaque(int w, int h, uint8_t b, uint8_t g, uint8_t r) {
  ref::bytes p(w, h);
  for (int i = 0; i < w * h; ++i) {
    p.px[4 * i] = b, p.px[4 * i + 1] = g, p.px[4 * i + 2] = r, p.px[4 * i + 3] = 255;
  }
  return p;
}

bool same_bits(const ref::floats& a, const ref::floats& b) {
  return a.w == b.w && a.h == b.h && std::memcmp(a.px.data(), b.px.data(), a.px.size() * sizeof(float)) == 0;
}

}  // namespace

TEST(PyramidKernels, ReduceHalvesRoundingUpAndThinsOddEdges) {
  dib_ptr image = ref::make(opaque(5, 3, 10, 20, 30));
  const int expected[][2] = {{3, 2}, {2, 1}, {1, 1}};
  for (const auto& size : expected) {
    image = reduce_dib(image, nullptr);
    EXPECT_EQ(image->width(), size[0]);
    EXPECT_EQ(image->height(), size[1]);
  }

  const ref::bytes r = ref::read<uint8_t>(reduce_dib(ref::make(opaque(5, 3, 10, 20, 30)), nullptr));
  EXPECT_EQ(r.at(1, 0)[3], 255);
  EXPECT_EQ(r.at(2, 0)[3], 128);  // (2 * 255 + 2) >> 2
  EXPECT_EQ(r.at(1, 1)[3], 128);
  EXPECT_EQ(r.at(2, 1)[3], 64);                                // the corner keeps one pixel of four
  for (int i = 0; i < 6; ++i) EXPECT_EQ(r.px[4 * i + 1], 20);  // colour: the mean of what exists
}

TEST(PyramidKernels, ExpandWeighsInTransparentBorders) {
  const ref::bytes one = ref::read<uint8_t>(expand_dib(ref::make(opaque(1, 1, 10, 20, 30)), 2, 2, nullptr));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(one.px[4 * i + 0], 10);
    EXPECT_EQ(one.px[4 * i + 2], 30);
    EXPECT_EQ(one.px[4 * i + 3], 143);  // (2295 + 8) >> 4
  }
  const ref::bytes four = ref::read<uint8_t>(expand_dib(ref::make(opaque(2, 2, 10, 20, 30)), 4, 4, nullptr));
  const int alpha_by_edges[] = {255, 191, 143};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      const int edges = (x == 0 || x == 3) + (y == 0 || y == 3);
      EXPECT_EQ(four.at(x, y)[3], alpha_by_edges[edges]) << x << "," << y;
      EXPECT_EQ(four.at(x, y)[1], 20);
    }
}

TEST(PyramidKernels, BandOfEqualImagesIsCentredAndZeroWhereTransparent) {
  std::mt19937 rng(3);
  const ref::bytes fine = ref::random_bytes(rng, 13, 6);
  dib_ptr f = ref::make(fine), e = ref::make(fine);
  recording_tracker t;
  EXPECT_EQ(subtract_expanded(e, f, &t), e);
  const ref::bytes band = ref::read<uint8_t>(e);
  for (int i = 0; i < 13 * 6; ++i) {
    const uint8_t a = fine.px[4 * i + 3];
    for (int c = 0; c < 3; ++c) EXPECT_EQ(band.px[4 * i + c], a ? 127 : 0);
    EXPECT_EQ(band.px[4 * i + 3], a);
  }
  EXPECT_EQ(t.calls.front().label, "DIB Substraction");
  EXPECT_EQ(t.values("progress").size(), 6u);
  EXPECT_EQ(t.depth, 0);
  EXPECT_EQ(ref::read<uint8_t>(subtract_expanded(f, f, nullptr)).px, band.px);  // one image on both sides
}

TEST(PyramidKernels, ThreeBytePixelsAndMismatchesAreInternalErrors) {
  recording_tracker t;
  EXPECT_THROW(expand_dib(dib_ptr(create_dib(3, 3, 24)), 6, 6, &t), internal_error);
  EXPECT_EQ(t.depth, 0);
  EXPECT_THROW(reduce_dib(dib_ptr(create_dib(3, 3, 24)), nullptr), internal_error);
  EXPECT_THROW(subtract_expanded(dib_ptr(create_dib(3, 3, 32)), dib_ptr(create_dib(3, 2, 32)), nullptr),
               internal_error);
  EXPECT_THROW(add_expanded(dib_ptr(create_dib(3, 3, 32)), dib_ptr(create_float_dib(3, 3)), nullptr),
               internal_error);
}

TEST(PyramidKernels, ReduceReportsInteriorRowsOnly) {
  recording_tracker t;
  reduce_dib(dib_ptr(create_dib(4, 7, 32)), &t);
  EXPECT_EQ(t.calls.front().label, "Reducing of DIB");
  EXPECT_EQ(t.values("progress"), (std::vector<double>{0, 33, 66}));
}

TEST(PyramidReference, ByteKernelsMatchOnRandomPictures) {
  std::mt19937 rng(11);
  for (int round = 0; round < 150; ++round) {
    const int w = 1 + rng() % 67, h = 1 + rng() % 67;
    SCOPED_TRACE(::testing::Message() << w << "x" << h);
    ref::bytes src = ref::random_bytes(rng, w, h);
    if (round % 3 == 0) {  // mostly opaque, as photographs are: long opaque stretches, a few holes
      for (int i = 0; i < w * h; ++i) src.px[4 * i + 3] = rng() % 50 == 0 ? 0 : 255;
    }
    EXPECT_EQ(ref::read<uint8_t>(reduce_dib(ref::make(src), nullptr)).px, ref::reduce(src).px);

    // Output sizes as the pyramid asks for them (2w, 2w - 1), in every combination.
    const int ow = 2 * w - static_cast<int>(rng() % 2), oh = 2 * h - static_cast<int>(rng() % 2);
    const ref::bytes up = ref::expand(src, ow, oh);
    EXPECT_EQ(ref::read<uint8_t>(expand_dib(ref::make(src), ow, oh, nullptr)).px, up.px);

    const ref::bytes other = ref::random_bytes(rng, w, h);
    EXPECT_EQ(ref::read<uint8_t>(subtract_expanded(ref::make(src), ref::make(other), nullptr)).px,
              ref::combine(src, other, -1).px);
    EXPECT_EQ(ref::read<uint8_t>(add_expanded(ref::make(src), ref::make(other), nullptr)).px,
              ref::combine(src, other, +1).px);
  }
}

TEST(PyramidReference, ExpandToOtherSizesSeesTransparentBeyondTheSource) {
  std::mt19937 rng(12);
  for (int round = 0; round < 20; ++round) {
    const int w = 1 + rng() % 9, h = 1 + rng() % 9, ow = 1 + rng() % 25, oh = 1 + rng() % 25;
    const ref::bytes src = ref::random_bytes(rng, w, h);
    EXPECT_EQ(ref::read<uint8_t>(expand_dib(ref::make(src), ow, oh, nullptr)).px, ref::expand(src, ow, oh).px)
        << w << "x" << h << " to " << ow << "x" << oh;
  }
}

TEST(PyramidReference, FloatKernelsMatchBitForBit) {
  std::mt19937 rng(13);
  for (int round = 0; round < 80; ++round) {
    const int w = 1 + rng() % 40, h = 1 + rng() % 40;
    SCOPED_TRACE(::testing::Message() << w << "x" << h << " round " << round);
    const ref::floats src = ref::random_floats(rng, w, h);
    EXPECT_TRUE(same_bits(ref::read<float>(reduce_dib(ref::make(src), nullptr)), ref::reduce(src)));

    const int ow = 2 * w - static_cast<int>(rng() % 2), oh = 2 * h - static_cast<int>(rng() % 2);
    ref::floats stored(ow, oh);
    ref::expand(src, stored, true, ref::write_mode::store);
    EXPECT_TRUE(same_bits(ref::read<float>(expand_dib(ref::make(src), ow, oh, nullptr)), stored));

    const ref::floats fine = ref::random_floats(rng, ow, oh);
    for (bool weighted : {false, true})
      for (auto mode : {ref::write_mode::subtract, ref::write_mode::add}) {
        ref::floats expected = fine;
        ref::expand(src, expected, weighted, mode);
        dib_ptr target = ref::make(fine);
        expand_float_into(ref::make(src), target, weighted,
                          mode == ref::write_mode::add ? expand_write::add : expand_write::subtract, nullptr);
        EXPECT_TRUE(same_bits(ref::read<float>(target), expected)) << weighted << " " << int(mode);
      }

    ref::floats diff = fine, sum = fine;
    for (int i = 0; i < ow * oh; ++i) {
      const float* e = &fine.px[4 * i];
      const float* f = &stored.px[4 * i];
      for (int c = 0; c < 3; ++c) {
        diff.px[4 * i + c] = f[3] > 0.0f ? (f[c] - e[c]) + 0.5f : 0.0f;
        sum.px[4 * i + c] = f[3] > 0.0f ? (e[c] + f[c]) - 0.5f : 0.0f;
      }
      diff.px[4 * i + 3] = sum.px[4 * i + 3] = f[3] > 0.0f ? f[3] : 0.0f;
    }
    EXPECT_TRUE(
        same_bits(ref::read<float>(subtract_expanded(ref::make(fine), ref::make(stored), nullptr)), diff));
    EXPECT_TRUE(same_bits(ref::read<float>(add_expanded(ref::make(fine), ref::make(stored), nullptr)), sum));
  }
}
