#include "merge/wrap_closing.h"

#include <cstdio>

#include "image/region_copy.h"
#include "merge/blend_zone.h"
#include "progress/progress_tracker.h"
#include "merge/pairwise_merge.h"
#include "merge/seam_labels.h"
#include "merge/wrap_period.h"

namespace {
bool touches(const irect& a, const irect& b) {
  irect unused;
  return intersect(a, b, unused);
}
}  // namespace

dib_ptr make_wrap_piece(const input_source& inputs, size_t i, int32_t period, const irect& acc_rect, irect& piece_rect,
                        progress_tracker* progress) {
  stage_scope stage(progress, "");
  stage.step_end(60);
  const input_image_spec& input = inputs[i];
  dib_ptr image = inputs.load(i, progress);
  const int32_t d = period, e = d / 8;
  const int32_t top = acc_rect.top, bottom = acc_rect.bottom;
  const irect w1{d - e, top, d, bottom}, w2{-e, top, 0, bottom}, w3{d, top, d + e, bottom}, w4{0, top, e, bottom};
  const irect placed = placed_rect(input.x_offset, input.y_offset, image->width(), image->height());
  if (!((touches(placed, w1) || touches(placed, w2)) && (touches(placed, w3) || touches(placed, w4)))) return image;

  dib_ptr piece(image->create_blank(2 * e, image->height()));
  piece_rect = irect{d - e, input.y_offset, d + e - 1, placed.bottom};
  const int32_t x = input.x_offset;
  // An input that itself crosses the start or the end of the period is based on its shifted copy.
  const bool shifted_base = touches(placed, w2) || touches(placed, w3);
  const int32_t base_x = shifted_base ? x + e : x - (d - e);
  const int32_t over_x = shifted_base ? x - (d - e) : x + e;
  stage.step_end(80);
  copy_dib(image.get(), piece.get(), base_x, 0, progress);
  stage.step_end(100);
  copy_opaque(image.get(), piece.get(), over_x, 0, progress);
  return piece;
}

dib_ptr close_horizontal_wrap(const input_source& inputs, const wrap_options& wrap, irect& acc_rect,
                              const dib_ptr& merged, const blend_context& context, seam_labels* labels) {
  progress_tracker* const progress = context.progress;
  stage_scope stage(progress, "");
  const int32_t d = wrap.HorWrap < 1 ? acc_rect.width() : wrap.HorWrap;
  check_wrap_period(d, acc_rect, merged->bits_per_pixel());
  dib_ptr result = merged;

  if (d < min_wrap_period) {
    std::printf("\nWrap period of %d columns is too small to close (at least %d needed); cutting to it only.\n", d,
                min_wrap_period);
  } else {
    stage.step_end(75);
    {
      stage_scope pieces(progress, "");
      const int n = static_cast<int>(inputs.size());
      for (int i = 0; i < n; ++i) {
        pieces.step_end(n > 1 ? i * 100.0 / (n - 1) : 100.0);
        stage_scope one(progress, "");
        one.step_end(10);
        irect piece_rect;
        dib_ptr piece = make_wrap_piece(inputs, i, d, acc_rect, piece_rect, progress);
        one.step_end(100);
        if (!piece_rect.empty())
          result = pairwise_merge(result, piece, piece_rect.left, piece_rect.top, acc_rect, context,
                                  {labels, static_cast<uint8_t>(i + 1)});
      }
    }
    stage.step_end(90);
    if (context.dumps) context.dumps->next_prefix();
    irect zone;
    seam_sides sides;
    dib_ptr zone_image = blend_zone(result, result, d, 0, zone, context, labels ? &sides : nullptr);
    stage.step_end(92);
    if (zone_image) copy_opaque(zone_image.get(), result.get(), zone.left, zone.top, progress);
    stage.step_end(94);
    if (zone_image) copy_opaque(zone_image.get(), result.get(), zone.left - d, zone.top, progress);
    if (zone_image && labels) labels->add_wrap_blend(*zone_image, zone, sides, d);
  }

  dib_ptr final_image(result->create_blank(d, result->height()));
  stage.step_end(100);
  copy_dib(result.get(), final_image.get(), 0, 0, progress);
  if (labels) labels->cut_to_period(d);
  return final_image;
}
