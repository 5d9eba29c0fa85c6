#include <gtest/gtest.h>

#include "image/dib.h"
#include "io/load_image.h"
#include "io/save_image.h"
#include "io_test_files.h"

using namespace io_test;

// Every pair of formats keeps the picture upright: dib row 0 is the top row everywhere.
TEST(IoOrientation, PicturesStayUprightAcrossEveryPairOfFormats) {
  temp_folder dir;
  dib_ptr original(asymmetric_picture(64, 48));
  const char* formats[] = {"jpg", "png", "tif"};
  for (const char* in : formats)
    for (const char* out : formats) {
      SCOPED_TRACE(std::string(in) + " -> " + out);
      const std::string first = dir.file(std::string("first_") + in + "_" + out + "." + in);
      const std::string second = dir.file(std::string("second_") + in + "_" + out + "." + out);
      save_image(first, original.get(), nullptr);
      dib_ptr loaded(load_image(first, nullptr));
      save_image(second, loaded.get(), nullptr);
      dib_ptr again(load_image(second, nullptr));
      ASSERT_EQ(again->width(), 64);
      ASSERT_EQ(again->height(), 48);
      // Quadrant centres and the top-left marker; JPEG blurs only near the edges.
      for (auto [x, y] : {std::pair{2, 2}, {16, 14}, {48, 12}, {16, 36}, {48, 36}}) {
        const rgba8 p = test_images::get_pixel(again.get(), x, y),
                    q = test_images::get_pixel(original.get(), x, y);
        EXPECT_LE(std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b), 60) << x << "," << y;
      }
      if (std::string(in) != "jpg" && std::string(out) != "jpg") {
        EXPECT_EQ(max_difference(again.get(), original.get()), 0);
      }
    }
}

// A TIFF stored in any of its 8 orientations loads upright, through the sample path (8 and
// 16 bits) and the RGBA one (palette). Each file holds the picture as a camera held that way
// stores it: stored pixel (x, y) is the upright pixel the Orientation tag says it is.
// Before, every file loaded in stored order.
TEST(IoOrientation, TiffOrientationTagTurnsThePictureUpright) {
  temp_folder dir;
  const int width = 16, height = 12;
  dib_ptr original(asymmetric_picture(width, height));
  for (uint16_t orientation = 1; orientation <= 8; ++orientation)
    for (const int kind : {8, 16, 3}) {  // bits, or 3 for a palette of the four colours and black
      SCOPED_TRACE(std::to_string(orientation) + " kind " + std::to_string(kind));
      const bool sides_swapped = orientation >= 5;
      tiff_layout layout;
      layout.width = sides_swapped ? height : width;
      layout.height = sides_swapped ? width : height;
      layout.bits = kind == 16 ? 16 : 8;
      layout.orientation = orientation;
      const int w = static_cast<int>(layout.width), h = static_cast<int>(layout.height);
      const std::vector<rgba8> palette = {{0, 0, 0, 255}, {255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255},
                                          {255, 255, 255, 255}};
      if (kind == 3) {
        layout.samples = 1;
        layout.photometric = PHOTOMETRIC_PALETTE;
        layout.colormap.assign(3 * 256, 0);
        for (size_t i = 0; i < palette.size(); ++i)
          for (int c = 0; c < 3; ++c) layout.colormap[c * 256 + i] = static_cast<uint16_t>((&palette[i].r)[c] * 257);
      }
      std::vector<uint16_t> samples;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          // Where stored pixel (x, y) belongs upright, from the tag's definitions: which side
          // stored row 0 and column 0 show.
          const int upright[9][2] = {{0, 0},         {x, y},         {w - 1 - x, y}, {w - 1 - x, h - 1 - y},
                                     {x, h - 1 - y}, {y, x},         {h - 1 - y, x}, {h - 1 - y, w - 1 - x},
                                     {y, w - 1 - x}};
          const rgba8 p = test_images::get_pixel(original.get(), upright[orientation][0], upright[orientation][1]);
          if (kind == 3) {
            for (size_t i = 0; i < palette.size(); ++i)
              if (test_images::operator==(palette[i], p)) samples.push_back(static_cast<uint16_t>(i));
          } else {
            for (const uint8_t v : {p.r, p.g, p.b}) samples.push_back(static_cast<uint16_t>(kind == 16 ? v * 257 : v));
          }
        }
      ASSERT_EQ(samples.size(), static_cast<size_t>(w * h * (kind == 3 ? 1 : 3)));
      const std::string name = dir.file("turned.tif");
      write_test_tiff(name, layout, samples);
      dib_ptr loaded(load_image(name, nullptr));
      ASSERT_EQ(loaded->width(), width);
      ASSERT_EQ(loaded->height(), height);
      EXPECT_EQ(max_difference(loaded.get(), original.get()), 0);
    }
}
