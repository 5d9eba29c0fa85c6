#include <gtest/gtest.h>

#include <vector>

#include "image/region_copy.h"
#include "io/load_image.h"
#include "merge/blend_zone.h"
#include "merge/pairwise_merge.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
struct placement {
  int x, y;
};

dib_ptr tile_of(const dib_ptr& photo, const placement& p, int w, int h, bool floats) {
  dib_ptr tile(floats ? create_float_dib(w, h) : create_dib(w, h, 32));
  copy_dib(photo.get(), tile.get(), -p.x - 40, -p.y - 60, nullptr);
  return tile;
}

// One merge step the plain way: a new canvas for every widening, the result copied over.
dib_ptr plain_merge(const dib_ptr& acc, const dib_ptr& image, int x, int y, irect& acc_rect,
                    const blend_context& context) {
  const irect placed = placed_rect(x, y, image->width(), image->height());
  const irect canvas{std::min(acc_rect.left, placed.left), std::min(acc_rect.top, placed.top),
                     std::max(acc_rect.right, placed.right), std::max(acc_rect.bottom, placed.bottom)};
  irect zone;
  dib_ptr zone_image = blend_zone(acc, image, x - acc_rect.left, y - acc_rect.top, zone, context);
  dib_ptr result = acc;
  if (canvas != acc_rect) {
    result = acc->create_blank(canvas.width(), canvas.height());
    copy_dib(acc.get(), result.get(), acc_rect.left - canvas.left, acc_rect.top - canvas.top, nullptr);
  }
  copy_opaque(image.get(), result.get(), x - canvas.left, y - canvas.top, nullptr);
  if (zone_image)
    copy_opaque(zone_image.get(), result.get(), zone.left + acc_rect.left - canvas.left,
                zone.top + acc_rect.top - canvas.top, nullptr);
  acc_rect = canvas;
  return result;
}
}  // namespace

// A row to the right and one above it running left, cut from a photo with jitter: the
// merged canvas, which grows in place where it has room, equals the plain merge at
// every step, so every blend saw the same rectangles and pixels.
TEST(CanvasGrowthMerge, EveryStepEqualsThePlainMerge) {
  dib_ptr photo(load_image(std::string(QM_SAMPLES) + "/demo_1.jpg", nullptr));
  const int w = 120, h = 90;
  std::vector<placement> layout;
  for (int i = 0; i < 6; ++i) layout.push_back({i * 85, 80 + (i * 5) % 7});
  for (int i = 0; i < 6; ++i) layout.push_back({(4 - i) * 85 + 20, 80 + (i * 3) % 5 - 65});
  blend_options options;
  const blend_context context{options, nullptr, nullptr};
  for (bool floats : {false, true}) {
    dib_ptr grown = tile_of(photo, layout[0], w, h, floats), plain = tile_of(photo, layout[0], w, h, floats);
    irect grown_rect = placed_rect(layout[0].x, layout[0].y, w, h), plain_rect = grown_rect;
    for (size_t i = 1; i < layout.size(); ++i) {
      const placement& p = layout[i];
      grown = pairwise_merge(grown, tile_of(photo, p, w, h, floats), p.x, p.y, grown_rect, context);
      plain = plain_merge(plain, tile_of(photo, p, w, h, floats), p.x, p.y, plain_rect, context);
      ASSERT_EQ(grown_rect, plain_rect);
      ASSERT_EQ(grown->width(), plain->width());
      ASSERT_EQ(grown->height(), plain->height());
      ASSERT_EQ(pixel_bytes(grown.get()), pixel_bytes(plain.get())) << "step " << i << (floats ? " float" : "");
    }
  }
}
