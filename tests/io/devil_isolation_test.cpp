#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "image/dib.h"
#include "io/load_image.h"
#include "io_test_files.h"

using namespace io_test;

namespace {
std::string le16(uint32_t v) { return {static_cast<char>(v & 0xff), static_cast<char>(v >> 8)}; }
std::string le32(uint32_t v) { return le16(v & 0xffff) + le16(v >> 16); }

// A 24-bit BMP header of width x height followed by a few bytes of pixels.
std::string bmp_header(uint32_t width, uint32_t height) {
  return "BM" + le32(54 + 64) + le32(0) + le32(54) + le32(40) + le32(width) + le32(height) + le16(1) + le16(24) +
         le32(0) + le32(0) + le32(2835) + le32(2835) + le32(0) + le32(0) + std::string(64, '\x40');
}

// An uncompressed 24-bit TGA header, top row first.
std::string tga_header(uint16_t width, uint16_t height) {
  return std::string("\0\0\2", 3) + std::string(9, '\0') + le16(width) + le16(height) + "\x18\x20" +
         std::string(64, '\x40');
}
}  // namespace

TEST(DevilIsolation, DecoderCrashBecomesALoadError) {
  // DevIL's BMP loader writes through the allocation it was refused for this header.
  temp_folder dir;
  const std::string name = dir.file("huge.bmp");
  write_content(name, bmp_header(60000, 60000));
  const std::string error = error_of([&] { dib_ptr image(load_image(name, nullptr)); });
  const std::string start = "DEVIL Error : out of memory \n While loading image: " + name +
                            "\ndecoder crashed (signal 11) after a request for ";
  EXPECT_EQ(error.substr(0, start.size()), start);
  EXPECT_EQ(error.substr(error.size() - 15), " MB was refused") << error;
}

namespace {
// A complete GIF of 60000 x 60000 in a few coded bytes.
std::string huge_gif() {
  return "GIF89a" + le16(60000) + le16(60000) + std::string("\x80\0\0\0\0\0\xff\xff\xff\x2c", 10) + le32(0) +
         le16(60000) + le16(60000) + std::string("\0\x02\x02\x44\x01\0\x3b", 7);
}
}  // namespace

TEST(DevilIsolation, HeaderPromisingMoreThanTheFileIsRefusedBeforeAllocation) {
  temp_folder dir;
  const std::string gif = dir.file("huge.gif");
  write_content(gif, huge_gif());
  EXPECT_EQ(error_of([&] { dib_ptr image(load_image(gif, nullptr)); }),
            "DEVIL Error : out of memory \n While loading image: " + gif);
  // Uncoded pixels the file does not hold are found missing before the decoder starts.
  const std::string name = dir.file("huge.tga");
  write_content(name, tga_header(60000, 60000));
  EXPECT_EQ(error_of([&] { dib_ptr image(load_image(name, nullptr)); }),
            "Image Load Error: Image data cut short: " + name +
                "\nthe file ends after 82 bytes, but its pixels need 10800000018");
  // The same header with a size the file holds decodes.
  write_content(name, tga_header(4, 4));
  dib_ptr small(load_image(name, nullptr));
  EXPECT_EQ(small->width(), 4);
  EXPECT_EQ(small->height(), 4);
}

TEST(DevilIsolation, PixelsCrossIntactAndFailuresKeepTheirText) {
  temp_folder dir;
  const std::string name = dir.file("wide.tga");
  // 3000 x 30 with a gradient: more than a pipe holds at once.
  std::string pixels;
  for (int i = 0; i < 90000; ++i)
    pixels += std::string{static_cast<char>(i), static_cast<char>(i >> 2), static_cast<char>(7)};
  write_content(name, std::string("\0\0\2", 3) + std::string(9, '\0') + le16(3000) + le16(30) + "\x18\x20" + pixels);
  dib_ptr image(load_image(name, nullptr));
  ASSERT_EQ(image->width(), 3000);
  ASSERT_EQ(image->height(), 30);
  for (int y = 0; y < 30; y += 7)
    for (int x = 0; x < 3000; x += 37) {
      const int i = y * 3000 + x;
      const rgba8 p = test_images::get_pixel(image.get(), x, y);
      // TGA stores B, G, R.
      EXPECT_EQ(p.b, static_cast<uint8_t>(i));
      EXPECT_EQ(p.g, static_cast<uint8_t>(i >> 2));
      EXPECT_EQ(p.r, 7);
      EXPECT_EQ(p.a, 255);
    }
  const std::string missing = dir.file("missing.png");
  EXPECT_EQ(error_of([&] { dib_ptr gone(load_image(missing, nullptr)); }).rfind("DEVIL Error : ", 0), 0u);
}

TEST(DevilIsolation, FormatsOutsideThePhotoSetAreRefusedUndecoded) {
  temp_folder dir;
  const std::string xpm = "/* XPM */\nstatic char *x[] = {\n\"2 1 1 1\",\n\"a c #FF0000\",\n\"aa\"};\n";
  // By extension, and by content under a name DevIL does not know.
  // A DCX, which the library names no loader for and whose load failed with "no error".
  write_content(dir.file("pages.dcx"), le32(987654321) + le32(12) + le32(0) + std::string(128, '\x0a'));
  for (const std::string& name : {dir.file("red.xpm"), dir.file("red.dat"), dir.file("pages.dcx")}) {
    if (name.find("red") != std::string::npos) write_content(name, xpm);
    EXPECT_EQ(error_of([&] { dib_ptr image(load_image(name, nullptr)); }),
              "Image Load Error: Unsupported file format: " + name +
                  "\nquiltmerge reads TIFF, JPEG, PNG, BMP, GIF, PNM, PSD, TGA, PCX and SGI files");
  }
}
