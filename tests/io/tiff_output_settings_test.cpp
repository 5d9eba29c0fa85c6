// The output settings of the TIFF writer: compression choices, BigTIFF and the colour profile.
#include <gtest/gtest.h>

#include "io/icc_profile_load.h"
#include "io/load_image.h"
#include "io/save_image.h"
#include "io_test_files.h"
#include "platform/parallel.h"
#include "support/run_binary.h"

using namespace io_test;
using namespace test_images;

namespace {
const tiff_compression all_choices[] = {tiff_compression::packbits, tiff_compression::lzw, tiff_compression::deflate,
                                        tiff_compression::zstd, tiff_compression::none};

// Random pixels, plus smooth rows that the predictor turns into small differences.
dib_ptr test_picture(bool wide_samples, int width, int height) {
  dib_ptr image(wide_samples ? create_float_dib(width, height) : create_dib(width, height, 32));
  fill_random(image.get(), 11);
  for (int y = 0; y < height; y += 3) {
    locked_row row(*image, y);
    for (int x = 0; x < width * 4; ++x)
      if (wide_samples)
        row.as<float>()[x] = static_cast<float>(x % 997) / 996.0f;
      else
        row.bytes()[x] = static_cast<uint8_t>(x / 5);
  }
  return image;
}

std::string header(const std::string& path) { return file_content(path).substr(0, 4); }

uint32_t tag32(const std::string& path, uint32_t tag) {
  TIFF* t = TIFFOpen(path.c_str(), "r");
  uint32_t v = 0;
  uint16_t v16 = 0;
  if (t && !TIFFGetField(t, tag, &v) && TIFFGetField(t, tag, &v16)) v = v16;
  if (t) TIFFClose(t);
  return v;
}
}  // namespace

// Every choice stores the very pixels PackBits stores, 8 and 16 bits, over strips of
// several rows with a short last one.
TEST(TiffOutputSettings, EveryCompressionReadsBackThePixels) {
  temp_folder folder;
  for (bool wide : {false, true}) {
    dib_ptr image = test_picture(wide, 97, 900);
    std::vector<uint8_t> reference;
    for (tiff_compression c : all_choices) {
      const std::string path = folder.file(std::to_string(static_cast<int>(c)) + ".tif");
      save_settings settings;
      settings.compression = c;
      tiff_save(path, image.get(), nullptr, settings);
      dib_ptr back(tiff_load(path, nullptr));
      if (reference.empty()) reference = pixel_bytes(back.get());
      EXPECT_EQ(pixel_bytes(back.get()), reference) << static_cast<int>(c) << " wide " << wide;
      const uint32_t rows_per_strip = tag32(path, TIFFTAG_ROWSPERSTRIP);
      if (c == tiff_compression::packbits) {
        EXPECT_EQ(rows_per_strip, 1u);
      } else {
        EXPECT_GT(rows_per_strip, 1u);
        EXPECT_NE(900 % rows_per_strip, 0u);
      }
      const bool predictor = c != tiff_compression::packbits && c != tiff_compression::none;
      EXPECT_EQ(tag32(path, TIFFTAG_PREDICTOR), predictor ? 2u : 0u) << static_cast<int>(c);
    }
  }
}

TEST(TiffOutputSettings, EncodedBytesDoNotDependOnTheThreadCount) {
  temp_folder folder;
  dib_ptr image = test_picture(false, 300, 700);
  for (tiff_compression c : {tiff_compression::deflate, tiff_compression::zstd}) {
    save_settings settings;
    settings.compression = c;
    set_thread_count(1);
    tiff_save(folder.file("one.tif"), image.get(), nullptr, settings);
    set_thread_count(3);
    tiff_save(folder.file("three.tif"), image.get(), nullptr, settings);
    set_thread_count(0);
    EXPECT_EQ(file_content(folder.file("one.tif")), file_content(folder.file("three.tif")));
  }
}

// The switch to BigTIFF comes from the worst case, so a limit just below an uncompressed
// image's size flips it even though the compressed file would fit.
TEST(TiffOutputSettings, BigTiffWhenAClassicFileCouldOverflowOrWhenAsked) {
  temp_folder folder;
  dib_ptr image = test_picture(false, 64, 64);
  const std::string path = folder.file("out.tif");
  save_settings settings;
  tiff_save(path, image.get(), nullptr, settings);
  EXPECT_EQ(header(path), std::string("II*\0", 4));
  const std::vector<uint8_t> pixels = pixel_bytes(dib_ptr(tiff_load(path, nullptr)).get());
  settings.classic_limit = 64 * 64 * 4;
  tiff_save(path, image.get(), nullptr, settings);
  EXPECT_EQ(header(path), std::string("II+\0", 4));
  EXPECT_EQ(pixel_bytes(dib_ptr(tiff_load(path, nullptr)).get()), pixels);
  settings = save_settings{};
  settings.bigtiff = true;
  settings.compression = tiff_compression::deflate;
  tiff_save(path, image.get(), nullptr, settings);
  EXPECT_EQ(header(path), std::string("II+\0", 4));
  EXPECT_EQ(pixel_bytes(dib_ptr(tiff_load(path, nullptr)).get()), pixels);
}

TEST(TiffOutputSettings, ProfileOfTheFirstInputReachesTheOutput) {
  temp_folder folder;
  std::vector<uint8_t> profile(3000);
  for (size_t i = 0; i < profile.size(); ++i) profile[i] = static_cast<uint8_t>(i % 251);
  for (bool wide : {false, true}) {
    save_settings settings;
    settings.icc_profile = profile;
    tiff_save(folder.file("p.tif"), test_picture(wide, 20, 10).get(), nullptr, settings);
    EXPECT_EQ(icc_profile_load(folder.file("p.tif")), profile) << wide;
  }

  // Through the program: a JPEG with a profile first, one without, then one with another.
  const std::string sample = file_content(std::string(QM_SAMPLES) + "/demo_1.jpg");
  // A profile header (its size, "acsp" at byte 36) and 164 bytes of fill.
  auto icc = [](char fill, size_t size = 200) {
    std::string bytes = std::string("\0\0\0\xC8", 4) + std::string(32, fill) + "acsp" + std::string(160, fill);
    return bytes.substr(0, size);
  };
  auto with_profile = [&](const std::string& profile) {
    std::string file = sample.substr(0, 2);
    const std::string body = std::string("ICC_PROFILE", 12) + "\1\1" + profile;
    file.append({'\xFF', '\xE2', static_cast<char>((body.size() + 2) >> 8), static_cast<char>((body.size() + 2) & 255)});
    file.append(body);
    file.append(sample, 2, std::string::npos);
    return file;
  };
  write_content(folder.file("a.jpg"), with_profile(icc('a')));
  write_content(folder.file("b.jpg"), sample);
  write_content(folder.file("c.jpg"), with_profile(icc('c')));
  binary_run run = run_quiltmerge(folder.file(""), "-o out.tif a.jpg -xoff 500 b.jpg -xoff 1000 c.jpg");
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string a = icc('a');
  EXPECT_EQ(icc_profile_load(folder.file("out.tif")), std::vector<uint8_t>(a.begin(), a.end()));
  EXPECT_NE(run.output.find("Warning: c.jpg carries another colour profile than a.jpg"), std::string::npos);
  EXPECT_EQ(run.output.find("b.jpg carr"), std::string::npos);
  // A profile only on a later input: the output has none, and the warning says so.
  run = run_quiltmerge(folder.file(""), "-o late.tif b.jpg -xoff 500 a.jpg");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(icc_profile_load(folder.file("late.tif")).empty());
  EXPECT_NE(run.output.find("a.jpg carries a colour profile and the first input b.jpg none"), std::string::npos);
  // A broken profile (one byte, or a header whose size is not the length) is left out with one
  // line; before, any bytes were carried into the output as its profile.
  write_content(folder.file("d.jpg"), with_profile(icc('d', 1)));
  write_content(folder.file("e.jpg"), with_profile(icc('e', 150)));
  run = run_quiltmerge(folder.file(""), "-o broken.tif d.jpg -xoff 500 e.jpg");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(icc_profile_load(folder.file("broken.tif")).empty());
  EXPECT_NE(run.output.find("Warning: the colour profile of d.jpg is damaged (1 byte, fewer than the 128 of a "
                            "profile header) and left out\nWarning: the colour profile of e.jpg is damaged (its "
                            "header says 200 bytes, the file holds 150) and left out\n"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(run.output.find("carries"), std::string::npos) << run.output;
}
