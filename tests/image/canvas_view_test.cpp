#include "image/canvas_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/test_images.h"

using namespace test_images;

namespace {
struct view_case {
  irect source_rect;
  irect canvas;
  int32_t period;
};

// The rule pixel by pixel: canvas column c shows source column c - left, or with a period
// (c - left) mod period, when that lies inside the source; everything else is zero.
std::vector<uint8_t> expected_bytes(dib* source, const view_case& c) {
  const int64_t pixel = source->bits_per_pixel() / 8;
  const std::vector<uint8_t> from = pixel_bytes(source);
  std::vector<uint8_t> out(static_cast<size_t>(c.canvas.width() * c.canvas.height() * pixel), 0);
  for (int64_t v = 0; v < c.canvas.height(); ++v) {
    const int64_t sy = c.canvas.top + v - c.source_rect.top;
    if (sy < 0 || sy >= source->height()) continue;
    for (int64_t u = 0; u < c.canvas.width(); ++u) {
      int64_t sx = c.canvas.left + u - c.source_rect.left;
      if (c.period > 0) sx = ((sx % c.period) + c.period) % c.period;
      if (sx < 0 || sx >= source->width()) continue;
      std::memcpy(&out[static_cast<size_t>((v * c.canvas.width() + u) * pixel)],
                  &from[static_cast<size_t>((sy * source->width() + sx) * pixel)], static_cast<size_t>(pixel));
    }
  }
  return out;
}
}  // namespace

TEST(CanvasView, PadsCutsAndWrapsAsThePixelRuleSays) {
  const view_case cases[] = {
      {{10, 20, 39, 39}, {5, 15, 49, 44}, 0},     // padded on every side
      {{10, 20, 39, 39}, {15, 22, 24, 26}, 0},    // cut from inside: the source's own rows
      {{10, 20, 39, 39}, {30, 10, 49, 49}, 0},    // across the right and both horizontal edges
      {{0, 0, 39, 19}, {-10, -2, 89, 22}, 40},    // a closed wrap shown more than twice round
      {{7, 0, 46, 19}, {0, 0, 39, 19}, 40},       // the period starting left of the source
      {{30, 0, 49, 9}, {0, 0, 99, 9}, 50},        // a source narrower than its period: gaps repeat too
      {{10, 20, 39, 39}, {100, 100, 104, 104}, 0} // nowhere near
  };
  for (const color_model model : {bgra32, bgra_float}) {
    for (const view_case& c : cases) {
      dib_ptr source(model == bgra32 ? create_dib(c.source_rect.width(), c.source_rect.height(), 32)
                                     : create_float_dib(c.source_rect.width(), c.source_rect.height()));
      fill_random(source.get(), 7);
      dib_ptr view = view_on_canvas(source, c.source_rect, c.canvas, c.period);
      ASSERT_EQ(view->width(), c.canvas.width());
      ASSERT_EQ(view->height(), c.canvas.height());
      EXPECT_EQ(pixel_bytes(view.get()), expected_bytes(source.get(), c)) << c.canvas.left << "," << c.canvas.top;
      // A row locked twice (a cursor beside a batch of rows) stays readable until both let go.
      {
        locked_row first(*view, 0), second(*view, 0);
        EXPECT_EQ(first.bytes(), second.bytes());
      }
      dib_ptr copy(view->clone());
      EXPECT_EQ(pixel_bytes(copy.get()), pixel_bytes(view.get()));
      const auto* as_view = dynamic_cast<const canvas_view*>(view.get());
      ASSERT_NE(as_view, nullptr);
      EXPECT_EQ(as_view->misses_source(), c.canvas.left == 100);
    }
  }
}

TEST(CanvasView, TheSourceItselfWhenTheCanvasIsItsPlace) {
  dib_ptr source(create_dib(30, 20, 32));
  EXPECT_EQ(view_on_canvas(source, {5, 5, 34, 24}, {5, 5, 34, 24}, 0), source);
  EXPECT_EQ(view_on_canvas(source, {5, 5, 34, 24}, {5, 5, 34, 24}, 30), source);
  EXPECT_NE(view_on_canvas(source, {5, 5, 34, 24}, {5, 5, 34, 24}, 20), source);  // repeats inside itself
}
