#include <IL/il.h>
#include <gtest/gtest.h>

#include <vector>

#include "image/dib.h"
#include "image/dib_cursor.h"
#include "io/load_image.h"
#include "io/save_image.h"
#include "io_test_files.h"
#include "support/recording_tracker.h"

using namespace io_test;

namespace {
// A 16-bit RGB file written by DevIL itself (PNG or TIFF, by extension).
void write_sixteen_bit(const std::string& path) {
  ilInit();
  ILuint name = 0;
  ilGenImages(1, &name);
  ilBindImage(name);
  std::vector<ILushort> samples(4 * 3 * 3, 40000);
  ASSERT_TRUE(ilTexImage(4, 3, 1, 3, IL_RGB, IL_UNSIGNED_SHORT, samples.data()));
  ilEnable(IL_FILE_OVERWRITE);
  ASSERT_TRUE(ilSaveImage(path.c_str()));
  ilDeleteImages(1, &name);
}
}  // namespace

TEST(IoDevil, PngKeepsAlphaAndJpegStaysClose) {
  temp_folder dir;
  dib_ptr image(create_dib(24, 16, 32));
  test_images::fill_random(image.get(), 11);
  save_image(dir.file("a.png"), image.get(), nullptr);
  dib_ptr png(load_image(dir.file("a.png"), nullptr));
  EXPECT_EQ(png->model(), bgra32);
  EXPECT_EQ(test_images::pixel_bytes(png.get()), test_images::pixel_bytes(image.get()));

  // Float images save through scaled_to_byte, the same bytes get_bytes gives.
  dib_ptr floats(create_float_dib(24, 16));
  test_images::fill_random(floats.get(), 12);
  save_image(dir.file("f.png"), floats.get(), nullptr);
  dib_ptr from_floats(load_image(dir.file("f.png"), nullptr));
  EXPECT_EQ(max_difference(from_floats.get(), floats.get()), 0);

  dib_ptr smooth(asymmetric_picture(64, 48));
  save_image(dir.file("a.jpg"), smooth.get(), nullptr);
  dib_ptr jpg(load_image(dir.file("a.jpg"), nullptr));
  ASSERT_EQ(jpg->width(), 64);
  ASSERT_EQ(jpg->height(), 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(test_images::get_pixel(jpg.get(), x, y).a, 255);
  // Lossy: compare away from the colour edges.
  for (auto [x, y] : {std::pair{20, 16}, {50, 10}, {14, 36}, {50, 40}, {2, 2}}) {
    const rgba8 p = test_images::get_pixel(jpg.get(), x, y), q = test_images::get_pixel(smooth.get(), x, y);
    EXPECT_LE(std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b), 40) << x << "," << y;
  }
}

TEST(IoDevil, NamesMentioningTifInvertAlpha) {
  temp_folder dir;
  dib_ptr image(create_dib(4, 2, 32));
  test_images::fill_random(image.get(), 5);
  save_image(dir.file("scan.tif.png"), image.get(), nullptr);
  dib_ptr back(load_image(dir.file("scan.tif.png"), nullptr));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      const rgba8 p = test_images::get_pixel(back.get(), x, y), q = test_images::get_pixel(image.get(), x, y);
      EXPECT_EQ(p.r, q.r);
      EXPECT_EQ(p.a, 255 - q.a);
    }
}

TEST(IoDevil, ExtensionChoosesTheLibrary) {
  EXPECT_TRUE(has_tiff_extension("a.tiff"));
  EXPECT_TRUE(has_tiff_extension("a.TIF"));
  EXPECT_TRUE(has_tiff_extension("dir.png/a.b.tif"));
  EXPECT_FALSE(has_tiff_extension("a.Tif"));
  EXPECT_FALSE(has_tiff_extension("a"));
  EXPECT_FALSE(has_tiff_extension("a.tif.png"));
  EXPECT_FALSE(has_tiff_extension("a.tif "));

  // The same 16-bit TIFF: libtiff reads it as floats, DevIL (for .Tif) refuses its 6-byte pixels.
  temp_folder dir;
  write_sixteen_bit(dir.file("wide.tif"));
  dib_ptr by_libtiff(load_image(dir.file("wide.tif"), nullptr));
  EXPECT_EQ(by_libtiff->model(), bgra_float);
  std::filesystem::copy_file(dir.file("wide.tif"), dir.file("wide.Tif"));
  EXPECT_EQ(error_of([&] { load_image(dir.file("wide.Tif"), nullptr); }),
            "not supported image pixel format, must be 24 or 32 bit per pixel  \n While loading image: " +
                dir.file("wide.Tif"));
  // An 8-bit TIFF named .Tif loads through DevIL like any other picture.
  dib_ptr picture(asymmetric_picture(8, 6));
  save_image(dir.file("narrow.tif"), picture.get(), nullptr);
  std::filesystem::copy_file(dir.file("narrow.tif"), dir.file("narrow.Tif"));
  dib_ptr by_devil(load_image(dir.file("narrow.Tif"), nullptr));
  EXPECT_EQ(test_images::pixel_bytes(by_devil.get()), test_images::pixel_bytes(picture.get()));
}

TEST(IoDevil, LoadFailuresCarryTheDevilText) {
  temp_folder dir;
  const std::string missing = dir.file("missing.png");
  EXPECT_EQ(error_of([&] { load_image(missing, nullptr); }),
            "DEVIL Error : could not open file \n While loading image: " + missing);
  const std::string garbage = dir.file("garbage.png");
  write_content(garbage, std::string(500, '\x11'));
  EXPECT_EQ(error_of([&] { load_image(garbage, nullptr); }).rfind("DEVIL Error : ", 0), 0u);
  EXPECT_NE(error_of([&] { load_image(garbage, nullptr); }).find(" \n While loading image: " + garbage),
            std::string::npos);
  const std::string wide = dir.file("wide.png");
  write_sixteen_bit(wide);
  EXPECT_EQ(
      error_of([&] { load_image(wide, nullptr); }),
      "not supported image pixel format, must be 24 or 32 bit per pixel  \n While loading image: " + wide);
}

TEST(IoDevil, StagesAndProgressFollowTheLoadAndSaveSteps) {
  temp_folder dir;
  dib_ptr image(create_dib(3, 4, 32));
  recording_tracker saving;
  save_image(dir.file("p.png"), image.get(), &saving);
  EXPECT_EQ(saving.calls.front().label, "IL Saving to file");
  EXPECT_EQ(saving.values("progress"), (std::vector<double>{0, 25, 50, 75}));
  EXPECT_EQ(saving.depth, 0);

  recording_tracker loading;
  dib_ptr back(load_input_image(dir.file("p.png"), &loading));
  ASSERT_GE(loading.calls.size(), 3u);
  EXPECT_EQ(loading.calls[0].what, "begin");
  EXPECT_EQ(loading.calls[0].label, "");
  EXPECT_EQ(loading.calls[1].what, "step_end");
  EXPECT_EQ(loading.calls[1].value, 85);
  EXPECT_EQ(loading.calls[2].label, "IL Loading from file");
  EXPECT_EQ(loading.values("progress"), (std::vector<double>{75, 80, 80, 83, 87, 91, 100}));
  EXPECT_EQ(loading.depth, 0);

  recording_tracker failing;
  EXPECT_THROW(load_input_image(dir.file("none.png"), &failing), std::runtime_error);
  EXPECT_EQ(failing.depth, 0);
}
