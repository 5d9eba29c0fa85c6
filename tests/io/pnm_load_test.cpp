#include "io/pnm_load.h"

#include <gtest/gtest.h>

#include <string>

#include "image/dib.h"
#include "image/dib_cursor.h"
#include "io/load_image.h"
#include "io_test_files.h"

using namespace io_test;

namespace {
std::string be16(int v) { return std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }
}  // namespace

TEST(IoPnm, SixteenBitSamplesBecomeFloatsInTheirPlaces) {
  temp_folder dir;
  // 2 x 2 colour with a comment in the header; maxval 4095 as 12-bit cameras write it.
  std::string colour = "P6\n# camera\n2 2\n4095\n";
  for (int i = 0; i < 12; ++i) colour += be16(i * 300);
  write_content(dir.file("c.ppm"), colour);
  dib_ptr image(load_image(dir.file("c.ppm"), nullptr));
  ASSERT_EQ(image->model(), bgra_float);
  cursor_handle c = make_cursor(image.get());
  c->move_to(1, 1);  // the fourth pixel: samples 9, 10, 11
  rgba_float p;
  c->get_float(p);
  EXPECT_EQ(p.r, 2700.0f / 4095.0f);
  EXPECT_EQ(p.g, 3000.0f / 4095.0f);
  EXPECT_EQ(p.b, 3300.0f / 4095.0f);
  EXPECT_EQ(p.a, 1.0f);

  std::string grey = "P5 3 1 65535\n" + be16(0) + be16(65535) + be16(30000);
  write_content(dir.file("g.pgm"), grey);
  dib_ptr g(load_image(dir.file("g.pgm"), nullptr));
  cursor_handle gc = make_cursor(g.get());
  gc->move_to(2, 0);
  gc->get_float(p);
  EXPECT_EQ(p.r, 30000.0f / 65535.0f);
  EXPECT_EQ(p.g, p.r);
  EXPECT_EQ(p.b, p.r);
}

TEST(IoPnm, ShortOrMalformedFilesFailBeforeDecoding) {
  temp_folder dir;
  const std::string cases[][2] = {
      {"P6\n8 6\n255\n" + std::string(50, 'x'), "Image Load Error: Image data cut short: "},
      {"P5\n4 4\n65535\n" + std::string(31, 'x'), "Image Load Error: Image data cut short: "},
      {"P6\n8 x\n255\n", "Image Load Error: Malformed PNM header: "},
      {"P5\n4 4\n70000\n", "Image Load Error: Malformed PNM header: "},
      {"P6\n0 4\n255\n", "Image Load Error: Unsupported image size 0 x 4: "},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string path = dir.file("bad" + std::to_string(n++) + ".ppm");
    write_content(path, c[0]);
    EXPECT_EQ(error_of([&] { dib_ptr image(load_image(path, nullptr)); }), c[1] + path);
  }
}
