#include <gtest/gtest.h>

#include "merge/blend_zone.h"
#include "platform/parallel.h"
#include "support/recording_tracker.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
dib_ptr opaque(int w, int h, rgba8 colour = {90, 120, 150, 255}) {
  dib_ptr img(create_dib(w, h, 32));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) set_pixel(img.get(), x, y, colour);
  return img;
}
}  // namespace

TEST(BlendZoneGeometry, LevelCountFollowsMinSize) {
  const irect e100{0, 0, 99, 149};
  EXPECT_EQ(pyramid_level_count(e100, 0), 9);
  EXPECT_EQ(pyramid_level_count(e100, 16), 4);
  EXPECT_EQ(pyramid_level_count(e100, 4), 6);
  EXPECT_EQ(pyramid_level_count(e100, 100), 1);
  EXPECT_EQ(pyramid_level_count(irect{5, 5, 5, 5}, 1), 1);
  EXPECT_EQ(pyramid_level_count(irect{0, 0, 1, 1}, 0), 4);  // e = 2: floor(log2 2) + 3
  // A huge region must not overflow the level arithmetic.
  EXPECT_EQ(pyramid_level_count(irect{0, 0, INT32_MAX - 1, INT32_MAX - 1}, 0), 33);
}

TEST(BlendZoneGeometry, ZoneReachesBackAndAlignsToTheCoarsestLevel) {
  irect zone;
  int32_t levels = 0;
  blend_zone_rect(irect{0, 0, 300, 300}, irect{10, 10, 109, 59}, zone, levels, 4);
  EXPECT_EQ(levels, 5);  // e = 50: (50 + 8) / 16 = 3 <= 4
  EXPECT_EQ(zone, (irect{0, 0, 127, 79}));
  blend_zone_rect(irect{0, 0, 300, 300}, irect{100, 40, 199, 139}, zone, levels, 4);
  EXPECT_EQ(levels, 6);  // d = 32
  EXPECT_EQ(zone, (irect{68, 8, 68 + 160 + 31, 8 + 160 + 31}));  // 132 wide: 5 x 32, plus 32
  // Clipped by the union on the right and bottom.
  blend_zone_rect(irect{0, 0, 150, 150}, irect{100, 40, 199, 139}, zone, levels, 4);
  EXPECT_EQ(zone, (irect{68, 8, 150, 150}));
}

TEST(BlendZone, NoCommonOpaquePixelGivesNoZone) {
  irect zone{7, 7, 7, 7};
  blend_options options;
  EXPECT_FALSE(blend_zone(opaque(4, 4), opaque(4, 4), 4, 0, zone, blend_context{options, nullptr, nullptr}));
  EXPECT_FALSE(blend_zone(opaque(4, 4), opaque(4, 4), 10, 10, zone, blend_context{options, nullptr, nullptr}));
  dib_ptr holey = opaque(4, 4);
  set_pixel(holey.get(), 3, 3, rgba8{});
  EXPECT_FALSE(blend_zone(holey, opaque(4, 4), 3, 3, zone, blend_context{options, nullptr, nullptr}));
  EXPECT_EQ(zone, (irect{7, 7, 7, 7}));
}

TEST(BlendZone, OpaqueOverlapIsTheBoxOfPixelsOpaqueInBoth) {
  dib_ptr a = opaque(10, 10), b = opaque(10, 10);
  for (int y = 0; y < 10; ++y) set_pixel(b.get(), 0, y, rgba8{});
  irect region;
  recording_tracker t;
  ASSERT_TRUE(opaque_overlap(a, b, 5, 2, region, &t));
  EXPECT_EQ(region, (irect{6, 2, 9, 9}));
  EXPECT_EQ(t.values("progress").size(), 8u);
  EXPECT_EQ(t.depth, 0);
}

TEST(BlendZone, SingleOpaquePixelBlendsInOneLevel) {
  irect zone;
  blend_options options;
  options.MinSize = 1;
  dib_ptr a = opaque(3, 3, rgba8{200, 0, 0, 255}), b = opaque(3, 3, rgba8{0, 0, 200, 255});
  dib_ptr z = blend_zone(a, b, 2, 2, zone, blend_context{options, nullptr, nullptr});
  ASSERT_TRUE(z);
  EXPECT_EQ(zone, (irect{1, 1, 3, 3}));  // d = 1: one pixel back, then the width 2 plus 1
  EXPECT_EQ(z->width(), zone.width());
  EXPECT_EQ(get_pixel(z.get(), 1, 1).a, 255);  // the common pixel stays opaque
}

TEST(BlendZone, MinSizeZeroBlendsTheWholeUnion) {
  irect zone;
  blend_options options;
  options.MinSize = 0;
  dib_ptr a = opaque(20, 12), b = opaque(20, 12);
  recording_tracker t;
  dib_ptr z = blend_zone(a, b, 8, -3, zone, blend_context{options, nullptr, &t});
  ASSERT_TRUE(z);
  EXPECT_EQ(zone, (irect{0, -3, 27, 11}));
  // Corners covered by neither image stay transparent; equal pictures blend to themselves.
  EXPECT_EQ(get_pixel(z.get(), 0, 0).a, 0);
  EXPECT_EQ(get_pixel(z.get(), 27, 14).a, 0);
  EXPECT_TRUE(get_pixel(z.get(), 10, 5) == (rgba8{90, 120, 150, 255}));
  EXPECT_TRUE(get_pixel(z.get(), 1, 10) == (rgba8{90, 120, 150, 255}));
  EXPECT_EQ(t.depth, 0);
  ASSERT_FALSE(t.calls.empty());
  EXPECT_EQ(t.calls.front().label, "Creating of blend region");
}

TEST(BlendZone, PyramidsBuiltBesideTheCutGiveTheSameZone) {
  // Noise in both images makes the seam and every level depend on each pixel.
  for (bool floats : {false, true}) {
    dib_ptr a(floats ? create_float_dib(70, 50) : create_dib(70, 50, 32));
    dib_ptr b(floats ? create_float_dib(60, 55) : create_dib(60, 55, 32));
    fill_random(a.get(), 11);
    fill_random(b.get(), 12);
    std::vector<std::vector<uint8_t>> zones;
    for (int threads : {1, 3}) {
      set_thread_count(threads);
      irect zone;
      blend_options options;
      dib_ptr z = blend_zone(a, b, 25, 4, zone, blend_context{options});
      ASSERT_TRUE(z);
      zones.push_back(pixel_bytes(z.get()));
    }
    set_thread_count(0);
    EXPECT_EQ(zones[0], zones[1]) << (floats ? "float" : "byte");
  }
}
