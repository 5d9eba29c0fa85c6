#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <vector>

#include "image/dib.h"
#include "image/dib_cursor.h"
#include "io/load_image.h"
#include "platform/parallel.h"
#include "io/tiff_messages.h"
#include "io_test_files.h"
#include "support/recording_tracker.h"

using namespace io_test;

namespace {
// Samples counting up from `start` in steps of `step` (mod 2^bits), so every pixel differs.
std::vector<uint16_t> ramp(size_t n, int bits, uint32_t start = 3, uint32_t step = 37) {
  std::vector<uint16_t> v(n);
  const uint32_t mask = bits == 8 ? 0xFF : 0xFFFF;
  for (size_t i = 0; i < n; ++i)
    v[i] = static_cast<uint16_t>((start + step * i * (bits == 8 ? 1 : 251)) & mask);
  return v;
}

// Byte count of the header and directory of minimal_grey_tiff; the pixels follow.
constexpr size_t minimal_tiff_header = 8 + 2 + 9 * 12 + 4;

// An uncompressed 8-bit grey TIFF, one strip, little-endian, with its directory in front
// of the pixels so that cutting the file shortens only the pixel data.
std::string minimal_grey_tiff(uint32_t width, uint32_t height) {
  std::string out = "II*";
  auto u16 = [&](uint32_t v) { out += static_cast<char>(v & 0xFF), out += static_cast<char>(v >> 8 & 0xFF); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  out += '\0';
  u32(8);
  u16(9);
  const uint32_t pixels = static_cast<uint32_t>(uint64_t{width} * height);
  const uint32_t entries[9][3] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},
                                  {259, 3, 1},     {262, 3, 1},      {273, 4, minimal_tiff_header},
                                  {277, 3, 1},     {278, 4, height}, {279, 4, pixels}};
  for (const auto& e : entries) {
    u16(e[0]), u16(e[1]), u32(1);
    if (e[1] == 3)
      u16(e[2]), u16(0);
    else
      u32(e[2]);
  }
  u32(0);
  out.append(std::min<uint32_t>(pixels, 1u << 20), '\x40');
  return out;
}

// What a pixel must hold, straight from the mapping rules: R, G, B, A as samples of the
// given depth (grey spreads to R = G = B; MinIsWhite inverts grey; no alpha is opaque).
std::array<uint32_t, 4> expected_pixel(const tiff_layout& layout, const std::vector<uint16_t>& samples,
                                       size_t pixel) {
  const uint32_t top = layout.bits == 8 ? 255 : 65535;
  const uint16_t* s = &samples[pixel * layout.samples];
  if (layout.photometric == PHOTOMETRIC_RGB) return {s[0], s[1], s[2], layout.samples >= 4 ? s[3] : top};
  const uint32_t grey = layout.photometric == PHOTOMETRIC_MINISWHITE ? top - s[0] : s[0];
  return {grey, grey, grey, layout.samples >= 2 ? s[1] : top};
}

// Loads the file and compares every pixel with expected_pixel.
void expect_loads_as_written(const tiff_layout& layout, const std::string& path) {
  const std::vector<uint16_t> samples =
      ramp(static_cast<size_t>(layout.width) * layout.height * layout.samples, layout.bits);
  write_test_tiff(path, layout, samples);
  dib_ptr image(tiff_load(path, nullptr));
  ASSERT_EQ(image->width(), static_cast<int>(layout.width));
  ASSERT_EQ(image->height(), static_cast<int>(layout.height));
  ASSERT_EQ(image->model(), layout.bits == 8 ? bgra32 : bgra_float);
  cursor_handle c = make_cursor(image.get());
  for (uint32_t y = 0; y < layout.height; ++y)
    for (uint32_t x = 0; x < layout.width; ++x) {
      const auto want = expected_pixel(layout, samples, static_cast<size_t>(y) * layout.width + x);
      c->move_to(static_cast<int>(x), static_cast<int>(y));
      if (layout.bits == 8) {
        rgba8 p;
        c->get_bytes(p);
        ASSERT_EQ((std::array<uint32_t, 4>{p.r, p.g, p.b, p.a}), want) << x << "," << y;
      } else {
        rgba_float p;
        c->get_float(p);
        const std::array<float, 4> got{p.r, p.g, p.b, p.a};
        for (int k = 0; k < 4; ++k)
          ASSERT_EQ(got[k], static_cast<float>(want[k]) / 65535.0f) << x << "," << y;
      }
    }
}
}  // namespace

TEST(IoTiffRead, SampleLayoutsMapToRgbaInStoredRowOrder) {
  temp_folder dir;
  struct named {
    const char* name;
    uint16_t samples, photometric, planar;
    uint32_t tile;
  };
  const named layouts[] = {
      {"rgb", 3, PHOTOMETRIC_RGB, PLANARCONFIG_CONTIG, 0},
      {"rgba", 4, PHOTOMETRIC_RGB, PLANARCONFIG_CONTIG, 0},
      {"grey", 1, PHOTOMETRIC_MINISBLACK, PLANARCONFIG_CONTIG, 0},
      {"grey_alpha", 2, PHOTOMETRIC_MINISBLACK, PLANARCONFIG_CONTIG, 0},
      {"white_grey_alpha", 2, PHOTOMETRIC_MINISWHITE, PLANARCONFIG_CONTIG, 0},
      {"planar_rgb", 3, PHOTOMETRIC_RGB, PLANARCONFIG_SEPARATE, 0},
      {"planar_rgba", 4, PHOTOMETRIC_RGB, PLANARCONFIG_SEPARATE, 0},
      {"planar_grey_alpha", 2, PHOTOMETRIC_MINISBLACK, PLANARCONFIG_SEPARATE, 0},
      {"tiled_rgba", 4, PHOTOMETRIC_RGB, PLANARCONFIG_CONTIG, 16},
      {"tiled_planar_rgb", 3, PHOTOMETRIC_RGB, PLANARCONFIG_SEPARATE, 16},
  };
  for (const named& l : layouts)
    for (uint16_t bits : {8, 16}) {
      SCOPED_TRACE(std::string(l.name) + " " + std::to_string(bits));
      tiff_layout layout;
      layout.width = 37;  // tiles of 16 leave partial tiles at the right and bottom
      layout.height = 21;
      layout.samples = l.samples;
      layout.bits = bits;
      layout.photometric = l.photometric;
      layout.planar = l.planar;
      layout.tile = l.tile;
      expect_loads_as_written(layout, dir.file(std::string(l.name) + ".tif"));
    }
}

// Associated alpha: colours stored multiplied by alpha are divided back (rounded to nearest);
// alpha 0 keeps its colour and a colour above its alpha clips. Before, the half-transparent
// pixel came out at half its brightness.
TEST(IoTiffRead, AssociatedAlphaIsDividedOut) {
  temp_folder dir;
  // half-transparent, opaque, transparent with a colour left, colour above its alpha
  const std::vector<uint16_t> stored = {63, 66, 88, 128, 10, 20, 30, 255, 7, 0, 0, 0, 200, 10, 10, 100};
  const std::array<int, 4> plain[] = {{126, 131, 175, 128}, {10, 20, 30, 255}, {7, 0, 0, 0}, {255, 26, 26, 100}};
  for (uint16_t planar : {PLANARCONFIG_CONTIG, PLANARCONFIG_SEPARATE}) {
    tiff_layout layout;
    layout.width = 4;
    layout.samples = 4;
    layout.planar = planar;
    layout.alpha = EXTRASAMPLE_ASSOCALPHA;
    write_test_tiff(dir.file("assoc.tif"), layout, stored);
    dib_ptr image(tiff_load(dir.file("assoc.tif"), nullptr));
    for (int x = 0; x < 4; ++x) {
      const rgba8 p = test_images::get_pixel(image.get(), x, 0);
      EXPECT_EQ((std::array<int, 4>{p.r, p.g, p.b, p.a}), plain[x]) << x << " planar " << planar;
    }
  }
  // Grey with associated alpha, and 16 bits: c / a as a float, at most 1.
  tiff_layout grey;
  grey.width = 2;
  grey.samples = 2;
  grey.photometric = PHOTOMETRIC_MINISBLACK;
  grey.alpha = EXTRASAMPLE_ASSOCALPHA;
  write_test_tiff(dir.file("grey.tif"), grey, {50, 100, 90, 0});
  dib_ptr grey_image(tiff_load(dir.file("grey.tif"), nullptr));
  EXPECT_EQ(test_images::get_pixel(grey_image.get(), 0, 0).g, 128);  // (50 * 255 + 50) / 100
  EXPECT_EQ(test_images::get_pixel(grey_image.get(), 1, 0).g, 90);
  tiff_layout deep;
  deep.width = 2;
  deep.samples = 4;
  deep.bits = 16;
  deep.alpha = EXTRASAMPLE_ASSOCALPHA;
  write_test_tiff(dir.file("deep.tif"), deep, {16384, 8192, 40000, 32768, 1, 2, 3, 0});
  dib_ptr deep_image(tiff_load(dir.file("deep.tif"), nullptr));
  cursor_handle c = make_cursor(deep_image.get());
  rgba_float f;
  c->get_float(f);
  EXPECT_EQ((std::array<float, 4>{f.r, f.g, f.b, f.a}), (std::array<float, 4>{0.5f, 0.25f, 1.0f, 32768 / 65535.0f}));
  c->move_to(1, 0);
  c->get_float(f);
  EXPECT_EQ(f.r, 1 / 65535.0f);
}

// A file whose first page is a thumbnail (a reduced-resolution copy, as scanners and cameras
// write) loads its full picture; a file of thumbnails only loads its first page. Before,
// the thumbnail was merged.
TEST(IoTiffRead, ThumbnailPagesAreSkipped) {
  temp_folder dir;
  const std::string name = dir.file("pages.tif");
  auto write_pages = [&](const std::vector<std::pair<uint32_t, uint32_t>>& pages) {  // width, SubfileType
    TIFF* t = TIFFOpen(name.c_str(), "w");
    ASSERT_NE(t, nullptr);
    for (const auto& [width, kind] : pages) {
      TIFFSetField(t, TIFFTAG_SUBFILETYPE, kind);
      TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
      TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2u);
      TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
      TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
      TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
      const std::vector<uint8_t> line(width, static_cast<uint8_t>(width));
      for (uint32_t y = 0; y < 2; ++y) TIFFWriteScanline(t, const_cast<uint8_t*>(line.data()), y, 0);
      TIFFWriteDirectory(t);
    }
    TIFFClose(t);
  };
  write_pages({{3, FILETYPE_REDUCEDIMAGE}, {5, FILETYPE_MASK}, {9, 0}, {7, 0}});
  dib_ptr full(tiff_load(name, nullptr));
  EXPECT_EQ(full->width(), 9);
  EXPECT_EQ(test_images::get_pixel(full.get(), 8, 1).g, 9);
  write_pages({{3, FILETYPE_REDUCEDIMAGE}, {4, FILETYPE_REDUCEDIMAGE}});
  dib_ptr first(tiff_load(name, nullptr));
  EXPECT_EQ(first->width(), 3);
}

TEST(IoTiffRead, TallImagesLoadAlikeOnAnyThreadCount) {
  temp_folder dir;
  for (int threads : {1, 3}) {
    set_thread_count(threads);
    for (uint16_t planar : {PLANARCONFIG_CONTIG, PLANARCONFIG_SEPARATE}) {
      SCOPED_TRACE(std::to_string(threads) + " threads, planar " + std::to_string(planar));
      tiff_layout layout;
      layout.width = 19;
      layout.height = 150;  // several batches of decoded rows, the last one partial
      layout.samples = 3;  // rows 64 apart then differ in the ramp of samples
      layout.planar = planar;
      expect_loads_as_written(layout, dir.file("tall" + std::to_string(planar) + ".tif"));
    }
  }
  set_thread_count(0);
}

TEST(IoTiffRead, PaletteAndCmykGoThroughTheRgbaInterface) {
  temp_folder dir;
  tiff_layout palette;
  palette.width = 5;
  palette.height = 3;
  palette.samples = 1;
  palette.photometric = PHOTOMETRIC_PALETTE;
  palette.colormap.assign(3 * 256, 0);
  for (int i = 0; i < 256; ++i) {
    palette.colormap[i] = static_cast<uint16_t>(i * 257);                    // red = index
    palette.colormap[256 + i] = static_cast<uint16_t>((255 - i) * 257);      // green = 255 - index
    palette.colormap[512 + i] = static_cast<uint16_t>((i * 7 % 256) * 257);  // blue
  }
  std::vector<uint16_t> indices(15);
  for (int i = 0; i < 15; ++i) indices[i] = static_cast<uint16_t>(i * 17);
  write_test_tiff(dir.file("palette.tif"), palette, indices);
  dib_ptr image(tiff_load(dir.file("palette.tif"), nullptr));
  ASSERT_EQ(image->model(), bgra32);
  for (int i = 0; i < 15; ++i) {
    const rgba8 p = test_images::get_pixel(image.get(), i % 5, i / 5);
    const int index = i * 17;
    EXPECT_EQ((std::array<int, 4>{p.r, p.g, p.b, p.a}),
              (std::array<int, 4>{index, 255 - index, index * 7 % 256, 255}));
  }

  tiff_layout cmyk;
  cmyk.width = 3;
  cmyk.height = 2;
  cmyk.samples = 4;
  cmyk.photometric = PHOTOMETRIC_SEPARATED;
  // cyan, magenta, yellow / black, white, half grey (K only)
  const std::vector<uint16_t> inks = {255, 0, 0, 0,   0, 255, 0, 0, 0, 0, 255, 0,
                                      0,   0, 0, 255, 0, 0,   0, 0, 0, 0, 0,   128};
  write_test_tiff(dir.file("cmyk.tif"), cmyk, inks);
  dib_ptr ink(tiff_load(dir.file("cmyk.tif"), nullptr));
  const std::array<int, 3> want[6] = {{0, 255, 255}, {255, 0, 255},   {255, 255, 0},
                                      {0, 0, 0},     {255, 255, 255}, {127, 127, 127}};
  for (int i = 0; i < 6; ++i) {
    const rgba8 p = test_images::get_pixel(ink.get(), i % 3, i / 3);
    EXPECT_EQ((std::array<int, 3>{p.r, p.g, p.b}), want[i]) << i;
    EXPECT_EQ(p.a, 255);
  }
}

TEST(IoTiffRead, UnreadableFilesFailWithTheirMessages) {
  temp_folder dir;
  const std::string missing = dir.file("missing.tif");
  EXPECT_EQ(error_of([&] { tiff_load(missing, nullptr); }),
            tiff_read_error(missing) + "\nTIFFOpen: " + missing + ": No such file or directory");

  // libtiff's own complaints stay off the console.
  const std::string garbage = dir.file("garbage.tif");
  write_content(garbage, std::string(300, '\x5a'));
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const std::string message = error_of([&] { tiff_load(garbage, nullptr); });
  EXPECT_EQ(testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout(), "");
  // The fixed line, then libtiff's own diagnosis.
  EXPECT_EQ(message.rfind(tiff_read_error(garbage) + "\n", 0), 0u) << message;
  EXPECT_NE(message.find("bad magic number"), std::string::npos) << message;

  // A download cut off inside the pixel data: the directory is intact, the strip is short.
  const std::string truncated = dir.file("truncated.tif");
  write_content(truncated, minimal_grey_tiff(64, 64).substr(0, minimal_tiff_header + 64 * 20));
  EXPECT_EQ(error_of([&] { tiff_load(truncated, nullptr); }),
            tiff_read_error(truncated) + "\nTIFFFillStrip: Read error on strip 0; got 1280 bytes, expected 4096");
}

// Samples the model has no sound place for say what they are; bilevel and 2 or 4-bit grey
// pictures load, spread to bytes. All of these once failed with the bare format line.
TEST(IoTiffRead, SampleFormatsSayWhatTheyAreOrLoad) {
  temp_folder dir;
  auto write_raw = [&](const std::string& name, uint16_t bits, uint16_t format, uint16_t photometric) {
    const std::string path = dir.file(name);
    TIFF* t = TIFFOpen(path.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 8u);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2u);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, photometric == PHOTOMETRIC_RGB ? 3 : photometric == PHOTOMETRIC_SEPARATED ? 4 : 1);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, format);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    std::vector<uint8_t> line(TIFFScanlineSize64(t), 0x36);
    for (uint32_t y = 0; y < 2; ++y) TIFFWriteScanline(t, line.data(), y, 0);
    TIFFClose(t);
    return path;
  };
  const std::string reads = "; quiltmerge reads 8 and 16-bit unsigned samples, and 1, 2 and 4-bit grey or palette pictures";
  const std::pair<std::string, std::string> cases[] = {
      {write_raw("float32.tif", 32, SAMPLEFORMAT_IEEEFP, PHOTOMETRIC_RGB), "its samples are 32-bit floating-point" + reads},
      {write_raw("uint32.tif", 32, SAMPLEFORMAT_UINT, PHOTOMETRIC_RGB), "its samples are 32-bit unsigned integer" + reads},
      {write_raw("signed16.tif", 16, SAMPLEFORMAT_INT, PHOTOMETRIC_RGB), "its samples are 16-bit signed integer" + reads},
      {write_raw("separated16.tif", 16, SAMPLEFORMAT_UINT, PHOTOMETRIC_SEPARATED),
       "its 16-bit samples are CMYK inks, which quiltmerge reads at 8 bits only (grey and RGB also at 16)"},
  };
  for (const auto& [path, cause] : cases)
    EXPECT_EQ(error_of([&] { tiff_load(path, nullptr); }), tiff_format_error(path) + "\n" + cause);

  // 0x36 is 0011 0110: bits, 2-bit and 4-bit grey levels spread over 0..255.
  const std::pair<std::string, std::vector<int>> few_bits[] = {
      {write_raw("bilevel.tif", 1, SAMPLEFORMAT_UINT, PHOTOMETRIC_MINISBLACK), {0, 0, 255, 255, 0, 255, 255, 0}},
      {write_raw("white.tif", 1, SAMPLEFORMAT_UINT, PHOTOMETRIC_MINISWHITE), {255, 255, 0, 0, 255, 0, 0, 255}},
      {write_raw("two.tif", 2, SAMPLEFORMAT_UINT, PHOTOMETRIC_MINISBLACK), {0, 255, 85, 170, 0, 255, 85, 170}},
      {write_raw("four.tif", 4, SAMPLEFORMAT_UINT, PHOTOMETRIC_MINISBLACK), {51, 102, 51, 102, 51, 102, 51, 102}},
  };
  for (const auto& [path, levels] : few_bits) {
    SCOPED_TRACE(path);
    dib_ptr image(tiff_load(path, nullptr));
    ASSERT_EQ(image->width(), 8);
    for (int x = 0; x < 8; ++x) {
      const rgba8 p = test_images::get_pixel(image.get(), x, 1);
      EXPECT_EQ((std::array<int, 4>{p.r, p.g, p.b, p.a}), (std::array<int, 4>{levels[x], levels[x], levels[x], 255})) << x;
    }
  }
}

TEST(IoTiffRead, HeaderSizesOutsideTheModelFailBeforeAllocation) {
  temp_folder dir;
  for (uint32_t width : {200000000u, 0xFFFFFFF0u}) {
    const std::string path = dir.file("wide.tif");
    write_content(path, minimal_grey_tiff(width, 2));
    EXPECT_EQ(error_of([&] { tiff_load(path, nullptr); }),
              "Image Load Error: Unsupported image size " + std::to_string(width) + " x 2: " + path);
  }
  // Sides the model takes, but far more pixels than the file's bytes could give.
  for (const auto& [w, h] : {std::pair<uint32_t, uint32_t>{7, 2147483647u}, {60000, 60000}}) {
    const std::string path = dir.file("claims.tif");
    write_content(path, minimal_grey_tiff(w, h).substr(0, minimal_tiff_header));
    EXPECT_EQ(error_of([&] { tiff_load(path, nullptr); }), "Image Load Error: Image size " + std::to_string(w) +
                                                              " x " + std::to_string(h) +
                                                              " is more than the file can hold: " + path);
  }
  for (uint32_t side : {0u, 1u}) {  // 0 x 0, and 1 x 1 without its pixel
    const std::string path = dir.file("empty.tif");
    write_content(path, minimal_grey_tiff(side, side).substr(0, minimal_tiff_header));
    const std::string message = error_of([&] { tiff_load(path, nullptr); });
    EXPECT_EQ(message.rfind(tiff_read_error(path) + "\n", 0), 0u) << message;  // with libtiff's cause
  }
}

TEST(IoTiffRead, ReportsProgressInItsOwnStage) {
  temp_folder dir;
  tiff_layout layout;
  layout.width = 4;
  layout.height = 4;
  write_test_tiff(dir.file("p.tif"), layout, ramp(48, 8));
  recording_tracker tracker;
  dib_ptr image(tiff_load(dir.file("p.tif"), &tracker));
  ASSERT_FALSE(tracker.calls.empty());
  EXPECT_EQ(tracker.calls.front().label, "TIFF Loading from file");
  EXPECT_EQ(tracker.values("progress"), (std::vector<double>{0, 25, 50, 75}));
  EXPECT_EQ(tracker.depth, 0);

  recording_tracker failing;
  EXPECT_THROW(tiff_load(dir.file("none.tif"), &failing), std::runtime_error);
  EXPECT_EQ(failing.depth, 0);
}
