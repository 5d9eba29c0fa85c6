#include <gtest/gtest.h>

#include <cstdlib>

#include "merge/blend_zone.h"
#include "image/region_copy.h"
#include "io/load_image.h"
#include "merge/pairwise_merge.h"
#include "seam/seam_mask.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
dib_ptr sample_photo() { return dib_ptr(load_image(std::string(QM_SAMPLES) + "/demo_1.jpg", nullptr)); }

dib_ptr crop(const dib_ptr& photo, int left, int width) {
  dib_ptr tile(create_dib(width, photo->height(), 32));
  copy_dib(photo.get(), tile.get(), -left, 0, nullptr);
  return tile;
}

void paint_square(const dib_ptr& image, int left, int top, int size, rgba8 colour) {
  for (int y = top; y < top + size; ++y)
    for (int x = left; x < left + size; ++x) set_pixel(image.get(), x, y, colour);
}
}  // namespace

// Two tiles of one photo: wherever both are opaque the merge gives the photo back. Only
// band-pass differences beyond -127..128 could change a pixel; a natural photo has none
// that survive, so the tolerance is a handful of pixels at most.
TEST(MergeQuality, IdenticalTilesReproduceThePhoto) {
  dib_ptr photo = sample_photo();
  dib_ptr a = crop(photo, 0, 500), b = crop(photo, 300, 500);
  irect rect{0, 0, 499, photo->height() - 1};
  blend_options options;
  dib_ptr merged = pairwise_merge(a, b, 300, 0, rect, blend_context{options, nullptr, nullptr});
  ASSERT_EQ(merged->width(), 800);
  int differing = 0, worst = 0;
  for (int y = 0; y < photo->height(); ++y)
    for (int x = 0; x < 800; ++x) {
      rgba8 m = get_pixel(merged.get(), x, y), p = get_pixel(photo.get(), x, y);
      int diff = std::max({std::abs(m.r - p.r), std::abs(m.g - p.g), std::abs(m.b - p.b), std::abs(m.a - p.a)});
      differing += diff != 0;
      worst = std::max(worst, diff);
    }
  EXPECT_EQ(differing, 0) << "worst difference " << worst;
}

// An object present in only one tile, well inside the overlap: the seam runs around it.
TEST(MergeQuality, SeamRoutesAroundAMovingObject) {
  dib_ptr photo = sample_photo();
  dib_ptr a = crop(photo, 0, 500), b = crop(photo, 250, 550);
  const int obj_x = 350 - 250, obj_y = 260, size = 48;  // canvas columns 350..397 of a 250..499 overlap
  paint_square(b, obj_x, obj_y, size, rgba8{255, 0, 255, 255});

  irect region, zone;
  ASSERT_TRUE(opaque_overlap(a, b, 250, 0, region, nullptr));
  int32_t levels = 0;
  irect whole{0, 0, 799, photo->height() - 1};
  blend_options options;
  blend_zone_rect(whole, region, zone, levels, options.MinSize);
  dib_ptr mask = find_best_seam(a, b, 250, 0, region, zone, blend_context{options, nullptr, nullptr});
  int to_image1 = 0, to_image2 = 0;
  for (int y = obj_y; y < obj_y + size; ++y)
    for (int x = 350; x < 350 + size; ++x) {
      rgba8 m = get_pixel(mask.get(), x - zone.left, y - zone.top);
      to_image1 += m.g == 255 && m.b == 0;
      to_image2 += m.b == 255 && m.g == 0;
    }
  EXPECT_TRUE(to_image1 == size * size || to_image2 == size * size) << to_image1 << " / " << to_image2;

  irect rect{0, 0, 499, photo->height() - 1};
  dib_ptr merged = pairwise_merge(a, b, 250, 0, rect, blend_context{options, nullptr, nullptr});
  // The object's centre comes out wholly from one image: all magenta or all photo.
  int magenta = 0;
  for (int y = obj_y + 8; y < obj_y + size - 8; ++y)
    for (int x = 358; x < 350 + size - 8; ++x) {
      rgba8 p = get_pixel(merged.get(), x, y);
      magenta += p.r > 200 && p.g < 60 && p.b > 200;
    }
  const int centre = (size - 16) * (size - 16);
  EXPECT_TRUE(magenta == 0 || magenta == centre) << magenta << " of " << centre;
}
