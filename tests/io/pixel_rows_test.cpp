#include "io/pixel_rows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "image/dib.h"
#include "image/dib_cursor.h"
#include "support/test_images.h"

using test_images::fill_random;

namespace {
// Row bytes as the cursor sees them: get_bytes per pixel, r g b (a).
std::vector<uint8_t> cursor_rgb_bytes(dib* image, int y, int channels) {
  std::vector<uint8_t> out;
  cursor_handle c = make_cursor(image);
  c->move_to(0, y);
  for (int x = 0; x < image->width(); ++x, c->next_pixel()) {
    rgba8 p;
    c->get_bytes(p);
    out.insert(out.end(), {p.r, p.g, p.b});
    if (channels == 4) out.push_back(p.a);
  }
  return out;
}
}  // namespace

TEST(IoPixelRows, RowToRgbBytesMatchesCursorForEveryModel) {
  const int width = 37;
  for (int model : {24, 32, 128}) {
    dib_ptr image(model == 128 ? create_float_dib(width, 3) : create_dib(width, 3, model));
    fill_random(image.get(), 7);
    if (model == 128) {  // values outside 0..1 and NaN must clamp exactly as get_bytes does
      locked_row row(*image, 1);
      float* f = row.as<float>();
      const float odd[] = {-0.2f, 1.5f, 0.5f, 254.5f / 255.0f, std::numeric_limits<float>::quiet_NaN(),
                           2e9f,  -0.0f};
      for (size_t i = 0; i < std::size(odd); ++i) f[i * 3] = odd[i];
    }
    for (int channels : {3, 4})
      for (int y = 0; y < 3; ++y) {
        std::vector<uint8_t> fast(static_cast<size_t>(width) * channels);
        locked_row row(*image, y);
        row_to_rgb_bytes(image->model(), row.bytes(), fast.data(), channels, width);
        EXPECT_EQ(fast, cursor_rgb_bytes(image.get(), y, channels)) << "model " << model << " row " << y;
      }
  }
}

TEST(IoPixelRows, RgbBytesToBgra32MatchesCursorSetBytes) {
  const int width = 29;
  std::vector<uint8_t> src(width * 4);
  for (size_t i = 0; i < src.size(); ++i) src[i] = static_cast<uint8_t>(i * 37 + 11);
  for (int bpp : {3, 4})
    for (bool invert : {false, true}) {
      dib_ptr fast(create_dib(width, 1, 32)), slow(create_dib(width, 1, 32));
      {
        locked_row row(*fast, 0);
        rgb_bytes_to_bgra32(src.data(), bpp, invert, row.bytes(), width);
      }
      cursor_handle c = make_cursor(slow.get());
      for (int x = 0; x < width; ++x, c->next_pixel()) {
        const uint8_t* s = &src[x * bpp];
        const uint8_t a = bpp == 3 ? 255 : invert ? 255 - s[3] : s[3];
        c->set_bytes(rgba8{s[0], s[1], s[2], a});
      }
      EXPECT_EQ(test_images::pixel_bytes(fast.get()), test_images::pixel_bytes(slow.get())) << bpp << invert;
    }
}

TEST(IoPixelRows, SixteenBitSamplesClampAndTruncate) {
  EXPECT_EQ(unit_to_sample16(1.5f), 65535);
  EXPECT_EQ(unit_to_sample16(-0.2f), 0);
  EXPECT_EQ(unit_to_sample16(0.5f), 32767);
  EXPECT_EQ(unit_to_sample16(1.0f), 65535);
  EXPECT_EQ(unit_to_sample16(std::numeric_limits<float>::quiet_NaN()), 0);
  // Every 16-bit sample survives loading (s / 65535.0f) and saving again.
  for (int s = 0; s <= 65535; ++s) ASSERT_EQ(unit_to_sample16(static_cast<float>(s) / 65535.0f), s);

  const float row[8] = {0.25f, 0.5f, 0.75f, 1.0f, 2.0f, -1.0f, 0.0f, 0.1f};  // B G R A per pixel
  uint16_t out[8];
  float_row_to_rgba16(row, out, 2);
  const uint16_t expected[8] = {49151, 32767, 16383, 65535, 0, 0, 65535, 6553};
  EXPECT_TRUE(std::equal(out, out + 8, expected));
}
