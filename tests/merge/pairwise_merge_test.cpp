#include <gtest/gtest.h>

#include "image/dib_cursor.h"
#include "merge/pairwise_merge.h"
#include "support/recording_tracker.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
dib_ptr filled(int w, int h, rgba8 colour) {
  dib_ptr img(create_dib(w, h, 32));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) set_pixel(img.get(), x, y, colour);
  return img;
}
constexpr rgba8 red{200, 10, 10, 255}, blue{10, 10, 200, 255}, clear{0, 0, 0, 0};
}  // namespace

TEST(PairwiseMerge, ImageInsideChangesTheResultInPlace) {
  dib_ptr acc = filled(10, 10, red);
  irect rect{5, 7, 14, 16};
  blend_options options;
  dib_ptr result = pairwise_merge(acc, filled(4, 4, red), 8, 10, rect, blend_context{options, nullptr, nullptr});
  EXPECT_EQ(result.get(), acc.get());
  EXPECT_EQ(rect, (irect{5, 7, 14, 16}));
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_TRUE(get_pixel(result.get(), x, y) == red) << x << "," << y;
}

TEST(PairwiseMerge, CanvasGrowsLeftAndUp) {
  dib_ptr acc = filled(6, 6, red);
  irect rect{0, 0, 5, 5};
  blend_options options;
  dib_ptr result = pairwise_merge(acc, filled(6, 6, blue), -4, -3, rect, blend_context{options, nullptr, nullptr});
  EXPECT_EQ(rect, (irect{-4, -3, 5, 5}));
  ASSERT_EQ(result->width(), 10);
  ASSERT_EQ(result->height(), 9);
  EXPECT_TRUE(get_pixel(result.get(), 0, 0) == blue);
  EXPECT_TRUE(get_pixel(result.get(), 9, 8) == red);
  EXPECT_TRUE(get_pixel(result.get(), 9, 0) == clear);
  EXPECT_TRUE(get_pixel(result.get(), 0, 8) == clear);
  // The overlap is all red or all blue pixel by pixel, never a foreign colour.
  for (int y = 3; y < 6; ++y)
    for (int x = 4; x < 6; ++x) {
      rgba8 p = get_pixel(result.get(), x, y);
      EXPECT_EQ(p.a, 255);
      EXPECT_EQ(p.g, 10);
    }
}

TEST(PairwiseMerge, GapStaysTransparentAndNothingIsBlended) {
  dib_ptr acc = filled(4, 4, red);
  irect rect{0, 0, 3, 3};
  blend_options options;
  dib_ptr result = pairwise_merge(acc, filled(4, 4, blue), 10, 0, rect, blend_context{options, nullptr, nullptr});
  ASSERT_EQ(result->width(), 14);
  for (int x = 0; x < 14; ++x) {
    rgba8 expected = x < 4 ? red : (x < 10 ? clear : blue);
    for (int y = 0; y < 4; ++y) ASSERT_TRUE(get_pixel(result.get(), x, y) == expected) << x;
  }
}

TEST(PairwiseMerge, TouchingOnlyWithTransparentPixelsPastesUnchanged) {
  dib_ptr acc = filled(4, 4, red);
  for (int y = 0; y < 4; ++y) set_pixel(acc.get(), 3, y, clear);
  irect rect{0, 0, 3, 3};
  blend_options options;
  recording_tracker t;
  dib_ptr result = pairwise_merge(acc, filled(4, 4, blue), 3, 0, rect, blend_context{options, nullptr, &t});
  ASSERT_EQ(result->width(), 7);
  for (int x = 0; x < 7; ++x)
    for (int y = 0; y < 4; ++y) ASSERT_TRUE(get_pixel(result.get(), x, y) == (x < 3 ? red : blue)) << x;
  EXPECT_EQ(t.depth, 0);
  EXPECT_EQ(t.calls.front().what, "begin");
}

TEST(PairwiseMerge, ByteImageIsRescaledIntoAFloatCanvas) {
  dib_ptr acc(create_float_dib(4, 4));
  {
    cursor_handle c = make_cursor(acc.get());
    for (int y = 0; y < 4; ++y) {
      c->move_to(0, y);
      for (int x = 0; x < 4; ++x, c->next_pixel()) c->set_float(rgba_float{0.5f, 0.5f, 0.5f, 1.0f});
    }
  }
  irect rect{0, 0, 3, 3};
  blend_options options;
  dib_ptr result = pairwise_merge(acc, filled(4, 4, rgba8{255, 255, 255, 255}), 6, 0, rect, blend_context{options, nullptr, nullptr});
  EXPECT_EQ(result->model(), bgra_float);
  cursor_handle c = make_cursor(result.get());
  c->move_to(8, 2);
  rgba_float v;
  c->get_float(v);
  EXPECT_FLOAT_EQ(v.r, 255 * 0.003921569f);
  EXPECT_FLOAT_EQ(v.a, 255 * 0.003921569f);
  c->move_to(1, 1);
  c->get_float(v);
  EXPECT_EQ(v.g, 0.5f);
}

TEST(PairwiseMerge, OffsetsBeyondInt32AreRefusedBeforeAllocation) {
  dib_ptr acc = filled(4, 4, red);
  irect rect{0, 0, 3, 3};
  blend_options options;
  EXPECT_THROW(pairwise_merge(acc, filled(4, 4, blue), INT32_MAX - 1, 0, rect, blend_context{options, nullptr, nullptr}),
               std::runtime_error);
  irect far{INT32_MIN, 0, INT32_MIN + 3, 3};
  EXPECT_THROW(pairwise_merge(acc, filled(4, 4, blue), INT32_MAX - 10, 0, far, blend_context{options, nullptr, nullptr}),
               std::runtime_error);
}
