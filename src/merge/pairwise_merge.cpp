#include "merge/pairwise_merge.h"

#include <stdexcept>
#include <string>

#include "merge/blend_zone.h"
#include "merge/seam_labels.h"
#include "image/growing_canvas.h"
#include "image/region_copy.h"
#include "progress/profiler.h"
#include "progress/progress_tracker.h"

irect placed_rect(int32_t x, int32_t y, int32_t width, int32_t height) {
  int64_t right = int64_t{x} + width - 1, bottom = int64_t{y} + height - 1;
  if (right > INT32_MAX || bottom > INT32_MAX)
    throw std::runtime_error("Image placed beyond the canvas limits: offset (" + std::to_string(x) + ", " +
                             std::to_string(y) + "), size " + std::to_string(width) + " x " +
                             std::to_string(height));
  return irect{x, y, static_cast<int32_t>(right), static_cast<int32_t>(bottom)};
}

namespace {
irect union_of(const irect& a, const irect& b) {
  irect u = a;
  if (b.right > u.right) u.right = b.right;
  if (b.bottom > u.bottom) u.bottom = b.bottom;
  if (b.left < u.left) u.left = b.left;
  if (b.top < u.top) u.top = b.top;
  if (int64_t{u.right} - u.left + 1 > INT32_MAX || int64_t{u.bottom} - u.top + 1 > INT32_MAX)
    throw std::runtime_error("Canvas too large: the images span more than 2^31 - 1 columns or rows");
  return u;
}

// An 8-bit image pasted into a float canvas (or the reverse) must be rescaled first.
dib_ptr in_model_of(const dib_ptr& image, const dib_ptr& model) {
  if (image->model() == model->model()) return image;
  dib_ptr converted(model->create_blank(image->width(), image->height()));
  copy_dib(image.get(), converted.get(), 0, 0, nullptr);
  return converted;
}
}  // namespace

dib_ptr pairwise_merge(const dib_ptr& acc, const dib_ptr& new_image, int32_t x, int32_t y, irect& acc_rect,
                       const blend_context& context, const seam_labelling& labelling) {
  profile_scope whole("merge step");
  progress_tracker* const progress = context.progress;
  stage_scope stage(progress, "");
  const dib_ptr image = in_model_of(new_image, acc);
  acc_rect = placed_rect(acc_rect.left, acc_rect.top, acc->width(), acc->height());
  const irect new_rect = placed_rect(x, y, image->width(), image->height());
  const irect canvas = union_of(acc_rect, new_rect);

  irect zone;
  stage.step_end(93);
  if (context.dumps) context.dumps->next_prefix();
  const int32_t dx = static_cast<int32_t>(int64_t{x} - acc_rect.left);
  const int32_t dy = static_cast<int32_t>(int64_t{y} - acc_rect.top);
  seam_sides sides;
  dib_ptr zone_image = blend_zone(acc, image, dx, dy, zone, context, labelling.map ? &sides : nullptr);
  zone.left += acc_rect.left;
  zone.right += acc_rect.left;
  zone.top += acc_rect.top;
  zone.bottom += acc_rect.top;

  // The canvas only ever grows, so it has the accumulated rectangle's size exactly when
  // it is that rectangle.
  profile_scope copies("canvas copy");
  dib_ptr result = canvas == acc_rect ? acc : widen_canvas_in_place(acc, acc_rect, canvas);
  if (!result) {
    result = new_canvas_window(acc, acc_rect, canvas);
    stage.step_end(95);
    copy_dib(acc.get(), result.get(), acc_rect.left - canvas.left, acc_rect.top - canvas.top, progress);
  }
  stage.step_end(97);
  copy_opaque(image.get(), result.get(), x - canvas.left, y - canvas.top, progress);
  stage.step_end(100);
  if (zone_image) copy_opaque(zone_image.get(), result.get(), zone.left - canvas.left, zone.top - canvas.top, progress);
  if (labelling.map) labelling.map->add_merge(*image, x, y, labelling.label, canvas, zone_image.get(), zone, sides);
  acc_rect = canvas;
  return result;
}
