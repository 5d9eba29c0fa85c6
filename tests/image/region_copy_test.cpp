#include <gtest/gtest.h>

#include <cstring>

#include "image/dib_cursor.h"
#include "image/region_copy.h"
#include "support/recording_tracker.h"
#include "support/test_images.h"
#include "platform/internal_error.h"

using namespace test_images;

namespace {
// Pixel (x, y) of the source carries its own coordinates so that misplacement shows.
dib_ptr coordinate_picture(int w, int h) {
  dib_ptr img(create_dib(w, h, 32));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) set_pixel(img.get(), x, y, rgba8{uint8_t(x), uint8_t(y), 7, 255});
  return img;
}
}  // namespace

TEST(CopyDib, ClipsToDestinationAndMapsCoordinates) {
  dib_ptr src = coordinate_picture(10, 10);
  dib_ptr dst(create_dib(20, 20, 32));
  copy_dib(src.get(), dst.get(), 15, -5, nullptr);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      rgba8 p = get_pixel(dst.get(), x, y);
      if (x >= 15 && y <= 4) {
        EXPECT_TRUE(p == (rgba8{uint8_t(x - 15), uint8_t(y + 5), 7, 255})) << x << "," << y;
      } else {
        EXPECT_EQ(p.a, 0) << x << "," << y;
      }
    }
}

TEST(CopyDib, OffsetsOutsideCopyNothingAndEdgesCopyOneColumn) {
  dib_ptr src = coordinate_picture(10, 10);
  dib_ptr dst(create_dib(20, 20, 32));
  recording_tracker t;
  copy_dib(src.get(), dst.get(), 20, 0, &t);
  copy_dib(src.get(), dst.get(), -10, 0, &t);
  copy_dib(src.get(), dst.get(), 0, 20, &t);
  EXPECT_TRUE(t.values("progress").empty());
  EXPECT_EQ(t.depth, 0);
  for (uint8_t b : pixel_bytes(dst.get())) ASSERT_EQ(b, 0);
  copy_dib(src.get(), dst.get(), 19, 0, nullptr);
  EXPECT_TRUE(get_pixel(dst.get(), 19, 3) == (rgba8{0, 3, 7, 255}));
  EXPECT_EQ(get_pixel(dst.get(), 18, 3).a, 0);
}

TEST(CopyDib, SameFormatKeepsPaddingAndTransparentPixels) {
  dib_ptr src(create_dib(3, 2, 32)), dst(create_dib(3, 2, 32));
  fill_random(src.get(), 5);
  set_pixel(src.get(), 1, 1, rgba8{9, 8, 7, 0});
  for (int y = 0; y < 2; ++y) std::memset(dst->lock_row(y), 0xEE, dst->stride()), dst->unlock_row(y);
  copy_dib(src.get(), dst.get(), 0, 0, nullptr);
  EXPECT_EQ(pixel_bytes(dst.get()), pixel_bytes(src.get()));
  EXPECT_TRUE(get_pixel(dst.get(), 1, 1) == (rgba8{9, 8, 7, 0}));
  locked_row row(*dst, 0);
  EXPECT_EQ(row.bytes()[12], 0xEE);  // padding after 3 pixels untouched
}

TEST(CopyDib, ConvertsBetweenModels) {
  dib_ptr rgb(create_dib(2, 1, 24));
  set_pixel(rgb.get(), 0, 0, rgba8{10, 20, 30, 0});
  dib_ptr rgba(create_dib(2, 1, 32));
  copy_dib(rgb.get(), rgba.get(), 0, 0, nullptr);
  EXPECT_TRUE(get_pixel(rgba.get(), 0, 0) == (rgba8{10, 20, 30, 255}));

  dib_ptr f(create_float_dib(2, 1));
  set_pixel(rgba.get(), 1, 0, rgba8{255, 128, 0, 1});
  copy_dib(rgba.get(), f.get(), 0, 0, nullptr);
  cursor_handle c = make_cursor(f.get());
  c->move_to(1, 0);
  rgba_float v;
  c->get_float(v);
  EXPECT_EQ(v.r, 255 * 0.003921569f);
  EXPECT_EQ(v.g, 128 * 0.003921569f);
  EXPECT_EQ(v.a, 0.003921569f);

  // Float to bytes: scaled, rounded and clamped; round trip exact for every byte value.
  dib_ptr all(create_dib(256, 1, 32)), back(create_dib(256, 1, 32)), mid(create_float_dib(256, 1));
  for (int i = 0; i < 256; ++i) set_pixel(all.get(), i, 0, rgba8{uint8_t(i), uint8_t(255 - i), uint8_t(i), uint8_t(i)});
  copy_dib(all.get(), mid.get(), 0, 0, nullptr);
  copy_dib(mid.get(), back.get(), 0, 0, nullptr);
  EXPECT_EQ(pixel_bytes(back.get()), pixel_bytes(all.get()));
}

TEST(CopyOpaque, SkipsTransparentSourcePixels) {
  dib_ptr src(create_dib(3, 1, 32)), dst(create_dib(3, 1, 32));
  set_pixel(dst.get(), 0, 0, rgba8{1, 1, 1, 1});
  set_pixel(dst.get(), 1, 0, rgba8{2, 2, 2, 2});
  set_pixel(src.get(), 0, 0, rgba8{50, 60, 70, 0});
  set_pixel(src.get(), 1, 0, rgba8{50, 60, 70, 1});
  copy_opaque(src.get(), dst.get(), 0, 0, nullptr);
  EXPECT_TRUE(get_pixel(dst.get(), 0, 0) == (rgba8{1, 1, 1, 1}));
  EXPECT_TRUE(get_pixel(dst.get(), 1, 0) == (rgba8{50, 60, 70, 1}));

  dib_ptr fs(create_float_dib(2, 1)), fd(create_float_dib(2, 1));
  cursor_handle c = make_cursor(fs.get());
  c->set_float(rgba_float{0.5f, 0.5f, 0.5f, 1.52587890625e-05f});
  c->next_pixel();
  c->set_float(rgba_float{0.5f, 0.5f, 0.5f, 1.5259e-05f});
  c.reset();
  copy_opaque(fs.get(), fd.get(), 0, 0, nullptr);
  cursor_handle d = make_cursor(fd.get());
  rgba_float v;
  d->get_float(v);
  EXPECT_EQ(v.r, 0.0f);
  d->next_pixel();
  d->get_float(v);
  EXPECT_EQ(v.r, 0.5f);
}

TEST(CopyOpaque, GeneralPathCopiesEveryBgr24PixelAndCarriesFloatViews) {
  dib_ptr rgb(create_dib(2, 2, 24)), dst(create_dib(2, 2, 32));
  set_pixel(rgb.get(), 1, 1, rgba8{3, 4, 5, 0});
  copy_opaque(rgb.get(), dst.get(), 0, 0, nullptr);
  EXPECT_TRUE(get_pixel(dst.get(), 0, 0) == (rgba8{0, 0, 0, 255}));
  EXPECT_TRUE(get_pixel(dst.get(), 1, 1) == (rgba8{3, 4, 5, 255}));
  EXPECT_THROW(copy_opaque(nullptr, dst.get(), 0, 0, nullptr), internal_error);
}

TEST(RegionCopyProgress, ReportsPerRowRules) {
  dib_ptr src(create_dib(4, 1, 32)), dst(create_dib(4, 20, 32));
  recording_tracker t;
  copy_dib(src.get(), dst.get(), 0, 3, &t);  // row 3 is not a multiple of 8
  EXPECT_TRUE(t.values("progress").empty());
  copy_dib(src.get(), dst.get(), 0, 8, &t);
  EXPECT_EQ(t.values("progress"), std::vector<double>{0.0});
  recording_tracker u;
  copy_opaque(src.get(), dst.get(), 0, 3, &u);
  EXPECT_EQ(u.values("progress"), std::vector<double>{0.0});
  ASSERT_FALSE(u.calls.empty());
  EXPECT_EQ(u.calls.front().label, "Copying opaque pixels");
  recording_tracker v;
  dib_ptr tall(create_dib(4, 4, 24));
  copy_dib(tall.get(), dst.get(), 0, 0, &v);  // converting path: after every row
  EXPECT_EQ(v.values("progress"), (std::vector<double>{0, 25, 50, 75}));
  EXPECT_EQ(v.calls.front().label, "Copying DIB");
  EXPECT_EQ(v.depth, 0);
}
