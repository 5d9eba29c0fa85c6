#include <gtest/gtest.h>

#include <stdexcept>

#include "image/dib_window.h"
#include "image/region_copy.h"
#include "support/test_images.h"
#include "platform/internal_error.h"

using namespace test_images;

namespace {
dib_ptr make_image(color_model model, int w, int h) {
  return dib_ptr(model == bgra_float ? create_float_dib(w, h) : create_dib(w, h, model == bgra32 ? 32 : 24));
}

// The window's rectangle of the parent, as an ordinary image.
dib_ptr cut(const dib_ptr& parent, int left, int top, int w, int h) {
  dib_ptr out(parent->create_blank(w, h));
  copy_dib(parent.get(), out.get(), -left, -top, nullptr);
  return out;
}
}  // namespace

// Whatever is done through a window lands where the same work on a plain image of the
// window's size would put it, and nothing reaches the parent outside the window.
TEST(DibWindow, WorksLikeAPlainImageAndStaysInside) {
  for (color_model model : {bgr24, bgra32, bgra_float}) {
    const int pw = 53, ph = 31, left = 9, top = 5, w = 30, h = 20;
    dib_ptr parent = make_image(model, pw, ph);
    fill_random(parent.get(), 7);
    dib_ptr expected(parent->clone());
    dib_ptr window(new dib_window(parent, left, top, w, h));
    dib_ptr plain = cut(parent, left, top, w, h);
    ASSERT_EQ(pixel_bytes(window.get()), pixel_bytes(plain.get())) << model;

    // Pastes that overhang every edge, and a pixel written through a cursor.
    dib_ptr src = make_image(model, 25, 25);
    fill_random(src.get(), 11);
    for (dib_ptr dst : {window, plain}) {
      copy_dib(src.get(), dst.get(), -7, -4, nullptr);
      copy_opaque(src.get(), dst.get(), 18, 9, nullptr);
      set_pixel(dst.get(), w - 1, h - 1, rgba8{1, 2, 3, 255});
    }
    EXPECT_EQ(pixel_bytes(window.get()), pixel_bytes(plain.get())) << model;

    // The parent changed inside the window only.
    copy_dib(plain.get(), expected.get(), left, top, nullptr);
    EXPECT_EQ(pixel_bytes(parent.get()), pixel_bytes(expected.get())) << model;
  }
}

TEST(DibWindow, BlankAndCloneAreOrdinaryImagesOfTheWindowsSize) {
  dib_ptr parent = make_image(bgra_float, 40, 30);
  fill_random(parent.get(), 3);
  dib_ptr window(new dib_window(parent, 4, 6, 20, 10));
  dib_ptr blank(window->create_blank(20, 10));
  EXPECT_EQ(dynamic_cast<dib_window*>(blank.get()), nullptr);
  EXPECT_EQ(blank->model(), bgra_float);
  EXPECT_EQ(pixel_bytes(blank.get()), std::vector<uint8_t>(20 * 10 * 16, 0));
  dib_ptr copy(window->clone());
  EXPECT_EQ(dynamic_cast<dib_window*>(copy.get()), nullptr);
  ASSERT_EQ(copy->width(), 20);
  ASSERT_EQ(copy->height(), 10);
  EXPECT_EQ(pixel_bytes(copy.get()), pixel_bytes(cut(parent, 4, 6, 20, 10).get()));
}

TEST(DibWindow, WindowOfAWindowSitsOnTheOutermostParent) {
  dib_ptr parent = make_image(bgra32, 40, 30);
  fill_random(parent.get(), 5);
  dib_ptr outer(new dib_window(parent, 4, 6, 30, 20));
  dib_window inner(outer, 3, 2, 10, 10);
  EXPECT_EQ(inner.parent().get(), parent.get());
  EXPECT_EQ(inner.left(), 7);
  EXPECT_EQ(inner.top(), 8);
  EXPECT_EQ(pixel_bytes(&inner), pixel_bytes(cut(parent, 7, 8, 10, 10).get()));
  EXPECT_THROW(dib_window(outer, 21, 0, 10, 10), internal_error);
  EXPECT_THROW(dib_window(parent, 0, -1, 10, 10), internal_error);
}
