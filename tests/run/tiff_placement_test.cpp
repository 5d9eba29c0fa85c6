#include "run/tiff_placement.h"

#include <gtest/gtest.h>

#include "../io/io_test_files.h"
#include "io/load_image.h"
#include "io/tiff_position_load.h"
#include "support/run_binary.h"
#include "support/test_images.h"

using namespace io_test;

namespace {
struct position_tags {
  float x = -1, y = -1;            // negative: not written
  float x_resolution = 0, y_resolution = 0;  // 0: not written
  uint32_t full_width = 0, full_height = 0;
};

// A w x h RGB layer cut from a smooth picture at (left, top), with the tags a remapper writes.
void write_layer(const std::string& path, uint32_t w, uint32_t h, int left, int top, const position_tags& tags) {
  std::vector<uint16_t> samples;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const int gx = left + static_cast<int>(x), gy = top + static_cast<int>(y);
      samples.insert(samples.end(), {static_cast<uint16_t>((gx * 3) & 255), static_cast<uint16_t>((gy * 5) & 255),
                                     static_cast<uint16_t>((gx + gy) & 255)});
    }
  tiff_layout layout;
  layout.width = w;
  layout.height = h;
  write_test_tiff(path, layout, samples);
  TIFF* t = TIFFOpen(path.c_str(), "r+");
  ASSERT_NE(t, nullptr);
  if (tags.x >= 0) TIFFSetField(t, TIFFTAG_XPOSITION, tags.x);
  if (tags.y >= 0) TIFFSetField(t, TIFFTAG_YPOSITION, tags.y);
  if (tags.x_resolution > 0) TIFFSetField(t, TIFFTAG_XRESOLUTION, tags.x_resolution);
  if (tags.y_resolution > 0) TIFFSetField(t, TIFFTAG_YRESOLUTION, tags.y_resolution);
  if (tags.full_width) TIFFSetField(t, TIFFTAG_PIXAR_IMAGEFULLWIDTH, tags.full_width);
  if (tags.full_height) TIFFSetField(t, TIFFTAG_PIXAR_IMAGEFULLLENGTH, tags.full_height);
  TIFFRewriteDirectory(t);
  TIFFClose(t);
}
}  // namespace

TEST(TiffPlacement, TagsGivePixelsRoundedToNearest) {
  temp_folder folder;
  const std::string layer = folder.file("layer.tif");
  // 2.5 in at 150 px/in is 375 px; 3.25 in at 150.4 px/in is 488.8 px, so 489.
  write_layer(layer, 4, 3, 0, 0, {2.5f, 3.25f, 150, 150.4f, 1000, 900});
  const std::optional<tiff_position> p = tiff_position_load(layer);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->x, 375);
  EXPECT_EQ(p->y, 489);
  EXPECT_EQ(p->full_width, 1000);
  EXPECT_EQ(p->full_height, 900);
  // Without a resolution the position is in pixels.
  write_layer(layer, 4, 3, 0, 0, {12, 7});
  ASSERT_TRUE(tiff_position_load(layer));
  EXPECT_EQ(tiff_position_load(layer)->x, 12);
  // One position tag alone places the other axis at 0; without either there is no placement.
  write_layer(layer, 4, 3, 0, 0, {12, -1, 1, 1});
  ASSERT_TRUE(tiff_position_load(layer));
  EXPECT_EQ(tiff_position_load(layer)->y, 0);
  write_layer(layer, 4, 3, 0, 0, {});
  EXPECT_FALSE(tiff_position_load(layer));
  write_content(folder.file("photo.jpg"), "\xFF\xD8\xFF");
  EXPECT_FALSE(tiff_position_load(folder.file("photo.jpg")));
}

TEST(TiffPlacement, OffsetsAddAndStayInRange) {
  temp_folder folder;
  write_layer(folder.file("a.tif"), 4, 3, 0, 0, {10, 20, 1, 1, 100, 100});
  write_layer(folder.file("b.tif"), 4, 3, 0, 0, {98, 0, 1, 1, 100, 100});  // reaches past column 99
  write_content(folder.file("c.png"), "not a TIFF");
  input_list inputs{{folder.file("a.tif"), -50, 5}, {folder.file("b.tif"), 0, 0}, {folder.file("c.png"), 7, 8}};
  const std::vector<std::string> warnings = place_by_tiff_tags(inputs);
  EXPECT_EQ(inputs[0].x_offset, -40);  // a negative offset through -xoff
  EXPECT_EQ(inputs[0].y_offset, 25);
  EXPECT_EQ(inputs[1].x_offset, 98);
  EXPECT_EQ(inputs[2].x_offset, 7);
  EXPECT_EQ(inputs[2].y_offset, 8);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("b.tif"), std::string::npos);

  write_layer(folder.file("far.tif"), 4, 3, 0, 0, {2e9f, 0, 1, 1});
  input_list far{{folder.file("far.tif"), 2000000000, 0}};
  EXPECT_NE(error_of([&] { place_by_tiff_tags(far); }).find("far.tif"), std::string::npos);
}

// A picture cut into layers that carry their places merges exactly as the same layers
// placed by hand, and the output says where it lies in the inputs' own terms.
TEST(TiffPlacement, TaggedLayersMergeAsTheKnownOffsets) {
  temp_folder folder;
  const position_tags tags_a{1, 0.5f, 40, 40, 160, 90}, tags_b{2.25f, 0.25f, 40, 40, 160, 90};
  write_layer(folder.file("a.tif"), 80, 60, 40, 20, tags_a);
  write_layer(folder.file("b.tif"), 70, 70, 90, 10, tags_b);
  const std::string layers = "'" + folder.file("a.tif") + "' '" + folder.file("b.tif") + "'";
  binary_run tagged = run_quiltmerge(folder.file(""), "-o tagged.tif --tiff-positions -xoff 0 " + layers);
  ASSERT_EQ(tagged.status, 0) << tagged.output;
  binary_run by_hand = run_quiltmerge(folder.file(""), "-o hand.tif -xoff 40 -yoff 20 '" + folder.file("a.tif") +
                                                           "' -xoff 90 -yoff 10 '" + folder.file("b.tif") + "'");
  ASSERT_EQ(by_hand.status, 0) << by_hand.output;
  const dib_ptr tagged_image(load_image(folder.file("tagged.tif"), nullptr));
  const dib_ptr hand_image(load_image(folder.file("hand.tif"), nullptr));
  EXPECT_EQ(test_images::pixel_bytes(tagged_image.get()), test_images::pixel_bytes(hand_image.get()));
  const std::optional<tiff_position> corner = tiff_position_load(folder.file("tagged.tif"));
  ASSERT_TRUE(corner);
  EXPECT_EQ(corner->x, 40);  // the union of a at (40, 20) and b at (90, 10)
  EXPECT_EQ(corner->y, 10);
  EXPECT_EQ(corner->x_resolution, 40.0f);
  EXPECT_EQ(corner->full_width, 160);
  EXPECT_EQ(corner->full_height, 90);
  EXPECT_FALSE(tiff_position_load(folder.file("hand.tif")));  // no tags in, none out
  // Without the option the tags are ignored, and one line says so: both layers sit at the
  // offsets given.
  binary_run plain = run_quiltmerge(folder.file(""), "-o plain.tif " + layers);
  ASSERT_EQ(plain.status, 0);
  EXPECT_NE(plain.output.find("a.tif and 1 more inputs carry position tags, unused without --tiff-positions"),
            std::string::npos)
      << plain.output;
  EXPECT_EQ(tagged.output.find("unused without"), std::string::npos);
  EXPECT_NE(file_content(folder.file("plain.tif")), file_content(folder.file("hand.tif")));
}
