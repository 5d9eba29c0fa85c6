#include <gtest/gtest.h>

#include <stdexcept>

#include "image/dib.h"
#include "image/dib_cursor.h"
#include "image/irect.h"
#include "support/test_images.h"
#include "platform/internal_error.h"

using namespace test_images;

TEST(DibGeometry, StrideIsPackedRowRoundedTo16) {
  EXPECT_EQ(dib_ptr(create_dib(1, 1, 24))->stride(), 16);
  EXPECT_EQ(dib_ptr(create_dib(6, 1, 24))->stride(), 32);
  EXPECT_EQ(dib_ptr(create_dib(5, 1, 32))->stride(), 32);
  EXPECT_EQ(dib_ptr(create_float_dib(3, 1))->stride(), 48);
}

TEST(DibGeometry, FactoriesChooseModelByBitsPerPixel) {
  EXPECT_EQ(create_dib(4, 4, 8), nullptr);
  EXPECT_EQ(create_dib(4, 4, 128), nullptr);
  dib_ptr a(create_dib(2, 3, 24)), b(create_dib(2, 3, 32)), c(create_float_dib(2, 3));
  EXPECT_EQ(a->model(), bgr24);
  EXPECT_EQ(a->channels(), 3);
  EXPECT_EQ(b->model(), bgra32);
  EXPECT_EQ(b->bits_per_pixel(), 32);
  EXPECT_EQ(c->model(), bgra_float);
  EXPECT_EQ(c->bits_per_pixel(), 128);
  dib_ptr blank(c->create_blank(7, 1));
  EXPECT_EQ(blank->model(), bgra_float);
  EXPECT_EQ(blank->width(), 7);
}

TEST(DibGeometry, SizesThatDoNotFitAreRefusedBeforeAllocation) {
  // A negative side is our own arithmetic gone wrong; a row too wide is a real limit.
  EXPECT_THROW(create_dib(-1, 5, 32), internal_error);
  EXPECT_THROW(create_dib(5, -1, 32), internal_error);
  EXPECT_THROW(create_float_dib(INT32_MAX, 1), std::runtime_error);
  EXPECT_THROW(create_dib(INT32_MAX / 3, 1, 32), std::runtime_error);
}

TEST(DibGeometry, ZeroSizedPicturesAreLegalAndEmpty) {
  dib_ptr a(create_dib(0, 5, 32)), b(create_dib(5, 0, 32)), c(create_float_dib(0, 0));
  EXPECT_EQ(a->width(), 0);
  EXPECT_EQ(b->height(), 0);
  dib_ptr copy(b->clone());
  EXPECT_EQ(copy->height(), 0);
  cursor_handle cur = make_cursor(b.get());
  EXPECT_EQ(cur->row(), -1);
  EXPECT_THROW(cur->move_to(0, 0), internal_error);
}

TEST(DibPtr, CountsReferencesAndDestroysWithTheLast) {
  dib* raw = create_dib(2, 2, 32);
  EXPECT_EQ(raw->ref_count(), 0);
  {
    dib_ptr a(raw);
    EXPECT_EQ(raw->ref_count(), 1);
    dib_ptr b = a;
    EXPECT_EQ(raw->ref_count(), 2);
    dib_ptr c(std::move(b));
    EXPECT_EQ(raw->ref_count(), 2);
    a = c;  // same object: no change
    EXPECT_EQ(raw->ref_count(), 2);
    c.reset();
    EXPECT_EQ(raw->ref_count(), 1);
  }
}

TEST(DibCursor, NewPixelsReadAsTransparentOrOpaqueBlack) {
  dib_ptr a(create_dib(3, 2, 32)), b(create_dib(3, 2, 24));
  EXPECT_TRUE(get_pixel(a.get(), 1, 1) == (rgba8{0, 0, 0, 0}));
  EXPECT_TRUE(get_pixel(b.get(), 1, 1) == (rgba8{0, 0, 0, 255}));
}

TEST(DibCursor, ByteConversionsRoundAndClamp) {
  dib_ptr img(create_dib(4, 1, 32));
  cursor_handle c = make_cursor(img.get());
  const float inputs[4] = {254.5f, 254.4f, -3.0f, 300.0f};
  const uint8_t expected[4] = {255, 254, 0, 255};
  for (int i = 0; i < 4; ++i) {
    c->move_to(i, 0);
    c->set_float(rgba_float{inputs[i], 0, 0, 0});
    rgba8 p;
    c->get_bytes(p);
    EXPECT_EQ(p.r, expected[i]) << inputs[i];
  }
  // Memory order is B, G, R, A.
  c->move_to(0, 0);
  c->set_bytes(rgba8{10, 20, 30, 40});
  EXPECT_EQ(c->pixel()[0], 30);
  EXPECT_EQ(c->pixel()[1], 20);
  EXPECT_EQ(c->pixel()[2], 10);
  EXPECT_EQ(c->pixel()[3], 40);
}

TEST(DibCursor, FloatConversionsScaleBy255) {
  dib_ptr img(create_float_dib(4, 1));
  cursor_handle c = make_cursor(img.get());
  const float inputs[4] = {1.0f, 2.0f, -0.1f, 0.002f};
  const uint8_t expected[4] = {255, 255, 0, 1};
  for (int i = 0; i < 4; ++i) {
    c->move_to(i, 0);
    c->set_float(rgba_float{inputs[i], 0, 0, inputs[i]});
    rgba8 p;
    c->get_bytes(p);
    EXPECT_EQ(p.r, expected[i]);
    EXPECT_EQ(p.a, expected[i]);
  }
  c->move_to(0, 0);
  c->set_bytes(rgba8{255, 0, 1, 128});
  rgba_float f;
  c->get_float(f);
  EXPECT_EQ(f.r, 255 * 0.003921569f);
  EXPECT_EQ(f.b, 0.003921569f);
  EXPECT_EQ(f.a, 128 * 0.003921569f);
}

TEST(DibCursor, SetFromCopiesThroughEachModelsView) {
  dib_ptr bytes(create_dib(1, 1, 32)), floats(create_float_dib(1, 1));
  set_pixel(bytes.get(), 0, 0, rgba8{200, 100, 50, 255});
  cursor_handle bc = make_cursor(bytes.get()), fc = make_cursor(floats.get());
  fc->set_from(*bc);  // float takes the byte image's 0..255 float view unscaled
  rgba_float f;
  fc->get_float(f);
  EXPECT_EQ(f.r, 200.0f);
  EXPECT_EQ(f.a, 255.0f);
  bc->set_from(*fc);  // byte takes the float image's scaled byte view (saturated)
  rgba8 p;
  bc->get_bytes(p);
  EXPECT_TRUE(p == (rgba8{255, 255, 255, 255}));
}

TEST(DibCursor, RowMovesKeepColumnAndLockOneRow) {
  dib_ptr img(create_dib(20, 6, 32));
  cursor_handle c = make_cursor(img.get());
  EXPECT_THROW(c->move_to(0, 6), internal_error);
  try {
    c->move_to(0, -1);
    ADD_FAILURE() << "a row above the picture must be refused";
  } catch (const internal_error& e) {
    // The place of the broken invariant, not a message for the user.
    EXPECT_NE(std::string(e.what()).find("src/image/dib_cursor.cpp:"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(": y >= 0 && y < image_->height()"), std::string::npos) << e.what();
  }
  c->move_to(10, 3);
  c->skip_pixels(5);
  c->next_row();
  EXPECT_EQ(c->row(), 4);
  EXPECT_EQ(c->pixel(), img->lock_row(4) + 10 * 4);
  img->unlock_row(4);
  c->move_to(10, 3);
  for (int i = 0; i < 5; ++i) c->next_pixel();
  c->next_row();
  EXPECT_EQ(c->x(), 15);
  EXPECT_EQ(c->pixel(), img->lock_row(4) + 15 * 4);
  img->unlock_row(4);
  c->move_to(25, 0);  // x is not checked
  EXPECT_EQ(c->x(), 25);
  c->prev_row();
  EXPECT_EQ(c->row(), -1);
  EXPECT_EQ(c->pixel(), nullptr);
  c->next_row();
  EXPECT_EQ(c->row(), 0);
}

TEST(DibView, NullImageIsRefused) {
  EXPECT_THROW(dib_view(static_cast<dib*>(nullptr)), internal_error);
  dib_ptr img(create_dib(5, 4, 32));
  dib_view v(img);
  EXPECT_EQ(v.bounds, (irect{0, 0, 4, 3}));
  EXPECT_EQ(v.bytes_per_pixel, 4);
}

TEST(Irect, IntersectIncludesSharedEdgesAndLeavesOutputOnMiss) {
  irect out;
  EXPECT_TRUE(intersect(irect{0, 0, 9, 9}, irect{9, 9, 20, 20}, out));
  EXPECT_EQ(out, (irect{9, 9, 9, 9}));
  irect keep{7, 7, 7, 7};
  EXPECT_FALSE(intersect(irect{0, 0, 9, 9}, irect{10, 0, 20, 9}, keep));
  EXPECT_EQ(keep, (irect{7, 7, 7, 7}));
  EXPECT_TRUE(irect{}.empty());
  EXPECT_EQ((irect{2, 3, 5, 3}.width()), 4);
}

TEST(DibClone, KeepsModelAndPixels) {
  for (int bpp : {24, 32}) {
    dib_ptr img(create_dib(7, 5, bpp));
    fill_random(img.get(), 7);
    dib_ptr copy(img->clone());
    EXPECT_EQ(copy->model(), img->model());
    EXPECT_EQ(pixel_bytes(copy.get()), pixel_bytes(img.get()));
  }
  dib_ptr f(create_float_dib(3, 3));
  fill_random(f.get(), 9);
  EXPECT_EQ(pixel_bytes(dib_ptr(f->clone()).get()), pixel_bytes(f.get()));
}
