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
