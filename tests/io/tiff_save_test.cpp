#include <gtest/gtest.h>
#include <tiffio.h>

#include <vector>

#include "image/dib.h"
#include "image/dib_cursor.h"
#include "io/load_image.h"
#include "io/save_image.h"
#include "io_test_files.h"
#include "support/recording_tracker.h"

using namespace io_test;

TEST(IoTiffWrite, ByteImagesKeepTheLayoutAndDeclareAlpha) {
  temp_folder dir;
  for (int bits : {24, 32}) {
    dib_ptr image(create_dib(5, 3, bits));
    test_images::fill_random(image.get(), 3);
    const std::string path = dir.file("out" + std::to_string(bits) + ".tif");
    save_image(path, image.get(), nullptr);

    const tiff_contents c = read_test_tiff(path);
    EXPECT_EQ(c.width, 5u);
    EXPECT_EQ(c.height, 3u);
    EXPECT_EQ(c.bits, 8);
    EXPECT_EQ(c.samples, bits / 8);
    EXPECT_EQ(c.compression, COMPRESSION_PACKBITS);
    EXPECT_EQ(c.photometric, PHOTOMETRIC_RGB);
    EXPECT_EQ(c.rows_per_strip, 1u);
    EXPECT_EQ(c.planar, PLANARCONFIG_CONTIG);
    EXPECT_EQ(c.resolution_unit, RESUNIT_NONE);
    EXPECT_EQ(c.orientation, ORIENTATION_TOPLEFT);
    EXPECT_EQ(c.extra_samples,
              bits == 32 ? std::vector<uint16_t>{EXTRASAMPLE_UNASSALPHA} : std::vector<uint16_t>{});
    std::vector<uint16_t> want;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        const rgba8 p = test_images::get_pixel(image.get(), x, y);
        want.insert(want.end(), {p.r, p.g, p.b});
        if (bits == 32) want.push_back(p.a);
      }
    EXPECT_EQ(c.values, want);

    // Read back identical; the 3-sample file comes back opaque, as bgr24 reads.
    dib_ptr back(tiff_load(path, nullptr));
    EXPECT_EQ(max_difference(back.get(), image.get()), 0);
  }
}

TEST(IoTiffWrite, FloatImagesBecomeSixteenBitSamples) {
  temp_folder dir;
  dib_ptr image(create_float_dib(3, 2));
  {
    locked_row row(*image, 0);
    const float pixels[12] = {0.5f,  -0.2f, 1.5f, 1.0f, 0.0f, 0.25f,
                              0.75f, 0.1f,  1.0f, 1.0f, 1.0f, 0.5f};  // B G R A
    std::copy(pixels, pixels + 12, row.as<float>());
  }
  const std::string path = dir.file("float.tif");
  tiff_save(path, image.get(), nullptr);
  const tiff_contents c = read_test_tiff(path);
  EXPECT_EQ(c.bits, 16);
  EXPECT_EQ(c.samples, 4);
  EXPECT_EQ(c.extra_samples, std::vector<uint16_t>{EXTRASAMPLE_UNASSALPHA});
  const std::vector<uint16_t> first_row = {65535, 0,    32767, 65535, 49151, 16383,
                                           0,     6553, 65535, 65535, 65535, 32767};
  ASSERT_EQ(c.values.size(), 24u);
  EXPECT_EQ(std::vector<uint16_t>(c.values.begin(), c.values.begin() + 12), first_row);
  EXPECT_EQ(std::vector<uint16_t>(c.values.begin() + 12, c.values.end()), std::vector<uint16_t>(12, 0));

  // Reading back gives every stored sample / 65535.
  dib_ptr back(tiff_load(path, nullptr));
  ASSERT_EQ(back->model(), bgra_float);
  cursor_handle cur = make_cursor(back.get());
  rgba_float p;
  cur->get_float(p);
  EXPECT_EQ(p.r, 1.0f);
  EXPECT_EQ(p.g, 0.0f);
  EXPECT_EQ(p.b, 32767 / 65535.0f);
  EXPECT_EQ(p.a, 1.0f);
}

TEST(IoTiffWrite, ReportsProgressInItsOwnStage) {
  temp_folder dir;
  dib_ptr image(create_dib(2, 4, 32));
  recording_tracker tracker;
  save_image(dir.file("p.tif"), image.get(), &tracker);
  ASSERT_FALSE(tracker.calls.empty());
  EXPECT_EQ(tracker.calls.front().label, "TIFF saving to file");
  EXPECT_EQ(tracker.values("progress"), (std::vector<double>{0, 25, 50, 75}));
  EXPECT_EQ(tracker.depth, 0);
}
