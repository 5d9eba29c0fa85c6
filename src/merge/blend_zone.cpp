#include "merge/blend_zone.h"

#include <algorithm>
#include <future>

#include "blend/laplacian_pyramid.h"
#include "blend/level_blend.h"
#include "blend/reduce_expand.h"
#include "image/region_copy.h"
#include "merge/seam_labels.h"
#include "platform/parallel.h"
#include "progress/profiler.h"
#include "progress/progress_tracker.h"
#include "seam/seam_mask.h"

namespace {
// The alpha byte of pixel x as get_bytes would read it, without a virtual call per pixel.
struct alpha_reader {
  explicit alpha_reader(const dib& image) : model(image.model()) {}
  bool opaque(const uint8_t* row, int32_t x) const {
    switch (model) {
      case bgra32:
        return row[4 * x + 3] != 0;
      case bgra_float:
        return scaled_to_byte(reinterpret_cast<const float*>(row)[4 * x + 3]) != 0;
      default:
        return true;
    }
  }
  color_model model;
};

struct zone_pyramids {
  laplacian_pyramid p1, p2;
};

// Copies both images' share of the zone and splits each into its pyramid, dumping them
// when a context is given. Safe to run on another thread without context and stage.
zone_pyramids build_zone_pyramids(dib& image1, dib& image2, int32_t dx, int32_t dy, const irect& zone,
                                  int32_t levels, const blend_context* context, const stage_scope* stage) {
  progress_tracker* const progress = context ? context->progress : nullptr;
  auto step_end = [&](double at) {
    if (stage) stage->step_end(at);
  };
  zone_pyramids result;
  step_end(45);
  dib_ptr z1(image1.create_blank(zone.width(), zone.height()));
  copy_dib(&image1, z1.get(), -zone.left, -zone.top, progress);
  step_end(50);
  dib_ptr z2(image2.create_blank(zone.width(), zone.height()));
  copy_dib(&image2, z2.get(), dx - zone.left, dy - zone.top, progress);
  step_end(65);
  result.p1 = laplacian_pyramid(z1, levels, progress);
  z1.reset();
  if (context && context->pyramid_dumps_on()) context->pyramid_dump("DBGP_Pyramid_1", result.p1.montage());
  step_end(80);
  result.p2 = laplacian_pyramid(z2, levels, progress);
  if (context && context->pyramid_dumps_on()) context->pyramid_dump("DBGP_Pyramid_2", result.p2.montage());
  return result;
}

int32_t clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// The rectangle (left, top, right, bottom) in 64-bit, clipped to `bounds`.
irect clipped(int64_t left, int64_t top, int64_t right, int64_t bottom, const irect& bounds) {
  irect out;
  intersect(irect{clamp32(left), clamp32(top), clamp32(right), clamp32(bottom)}, bounds, out);
  return out;
}
}  // namespace

bool opaque_overlap(const dib_ptr& image1, const dib_ptr& image2, int32_t dx, int32_t dy, irect& region_out,
                    progress_tracker* progress) {
  stage_scope stage(progress, "");
  irect f;
  const irect placed2 = clipped(dx, dy, int64_t{dx} + image2->width() - 1, int64_t{dy} + image2->height() - 1,
                                irect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
  if (!intersect(irect::of(*image1), placed2, f)) return false;
  const alpha_reader alpha1(*image1), alpha2(*image2);
  bool found = false;
  irect box;
  const int32_t rows = f.height();
  for (int32_t i = 0; i < rows; ++i) {
    const int32_t y = f.top + i;
    locked_row row2(*image2, y - dy);
    locked_row row1(*image1, y);
    for (int32_t x = f.left; x <= f.right; ++x) {
      if (!alpha2.opaque(row2.bytes(), x - dx) || !alpha1.opaque(row1.bytes(), x)) continue;
      if (!found) {
        box = irect{x, y, x, y};
        found = true;
      } else {
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x);
        box.bottom = y;
      }
    }
    stage.progress(i * 100.0 / rows);
  }
  if (found) region_out = box;
  return found;
}

int pyramid_level_count(const irect& region, int32_t min_size) {
  const int64_t e = std::min(region.width(), region.height());
  if (min_size >= e) return 1;
  int k = 1;
  while (k < 62 && (e + (int64_t{1} << (k - 1))) / (int64_t{1} << k) > min_size) ++k;
  return 1 + k;
}

void blend_zone_rect(const irect& union_rect, const irect& region, irect& zone_out, int32_t& levels_out,
                     int32_t min_size) {
  levels_out = pyramid_level_count(region, min_size);
  const int64_t d = int64_t{1} << std::min(levels_out - 1, 40);
  irect k = clipped(region.left - d, region.top - d, region.right, region.bottom, union_rect);
  const int64_t kw = (int64_t{k.right} + d - k.left) / d * d;  // ceil(width / d) * d
  const int64_t kh = (int64_t{k.bottom} + d - k.top) / d * d;
  zone_out = clipped(k.left, k.top, k.left + kw + d - 1, k.top + kh + d - 1, union_rect);
}

dib_ptr blend_zone(const dib_ptr& image1, const dib_ptr& image2, int32_t dx, int32_t dy, irect& zone_out,
                   const blend_context& context, seam_sides* sides_out) {
  const blend_options& options = context.options;
  progress_tracker* const progress = context.progress;
  stage_scope stage(progress, "Creating of blend region");
  stage.step_end(5);
  irect region;
  if (!opaque_overlap(image1, image2, dx, dy, region, progress)) return dib_ptr();

  const irect whole = clipped(std::min<int64_t>(0, dx), std::min<int64_t>(0, dy),
                              std::max<int64_t>(image1->width() - 1, int64_t{dx} + image2->width() - 1),
                              std::max<int64_t>(image1->height() - 1, int64_t{dy} + image2->height() - 1),
                              irect{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX});
  const irect g = options.MinSize == 0 ? whole : region;
  irect zone;
  int32_t levels = 1;
  blend_zone_rect(whole, g, zone, levels, options.MinSize);

  // The zone's pyramids do not depend on the seam: with threads to spare they are built
  // while the (sequential) cut runs, and dumped afterwards in the usual order.
  std::future<zone_pyramids> pending;
  if (thread_count() > 1)
    pending = std::async(std::launch::async, [&] {
      return build_zone_pyramids(*image1, *image2, dx, dy, zone, levels, nullptr, nullptr);
    });

  stage.step_end(40);
  dib_ptr mask;
  {
    profile_scope timing("seam search");
    mask = find_best_seam(image1, image2, dx, dy, g, zone, context);
  }
  context.pyramid_dump("DBGP_AlphaMask", mask);
  if (sides_out) *sides_out = sides_of_mask(*mask);

  zone_pyramids pyramids;
  if (pending.valid()) {
    {
      profile_scope timing("pyramid build");
      pyramids = pending.get();
    }
    stage.step_end(65);
    if (context.pyramid_dumps_on()) context.pyramid_dump("DBGP_Pyramid_1", pyramids.p1.montage());
    stage.step_end(80);
    if (context.pyramid_dumps_on()) context.pyramid_dump("DBGP_Pyramid_2", pyramids.p2.montage());
  } else {
    profile_scope timing("pyramid build");
    pyramids = build_zone_pyramids(*image1, *image2, dx, dy, zone, levels, &context, &stage);
  }
  laplacian_pyramid& p1 = pyramids.p1;
  laplacian_pyramid& p2 = pyramids.p2;

  stage.step_end(90);
  {
    profile_scope timing("level blend");
    stage_scope blending(progress, "");
    double share = 1.0;
    for (int i = 0; i < p1.size(); ++i) {
      share /= 4;
      blending.step_end(100 - 100 * share);
      stage_scope level(progress, "");
      level.step_end(65);
      blend_level(p1[i], p2[i], mask, options.TSmooth, i, context);
      level.step_end(100);
      mask = reduce_dib(mask, progress);
    }
  }
  p2 = laplacian_pyramid();
  stage.step_end(100);
  if (context.pyramid_dumps_on()) context.pyramid_dump("DBGP_PyramidBlended", p1.montage());
  profile_scope timing("collapse");
  dib_ptr result = p1.collapse(progress);
  zone_out = zone;
  return result;
}
