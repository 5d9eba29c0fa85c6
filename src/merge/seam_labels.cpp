#include "merge/seam_labels.h"

#include <algorithm>
#include <cstring>

#include "blend/seam_pixel.h"
#include "image/canvas_view.h"
#include "image/region_copy.h"

seam_sides sides_of_mask(dib& mask) {
  seam_sides sides;
  sides.width = mask.width();
  sides.height = mask.height();
  sides.side.resize(static_cast<size_t>(sides.width) * sides.height);
  for (int32_t y = 0; y < sides.height; ++y) {
    locked_row row(mask, y);
    const uint8_t* m = row.bytes();
    uint8_t* out = sides.side.data() + static_cast<size_t>(y) * sides.width;
    for (int32_t x = 0; x < sides.width; ++x, m += 4) out[x] = const_seam_pixel(m).side();
  }
  return sides;
}

seam_labels::seam_labels(dib& first, const irect& rect) : rect_(rect) {
  labels_.resize(static_cast<size_t>(rect.width()) * rect.height());
  paste(first, rect.left, rect.top, 1);
}

uint8_t seam_labels::at(int64_t x, int64_t y) const {
  if (x < 0 || y < 0 || x >= rect_.width() || y >= rect_.height()) return 0;
  return labels_[static_cast<size_t>(y) * rect_.width() + static_cast<size_t>(x)];
}

void seam_labels::grow_to(const irect& canvas) {
  if (canvas == rect_) return;
  std::vector<uint8_t> grown(static_cast<size_t>(canvas.width()) * canvas.height());
  const int32_t dx = rect_.left - canvas.left, dy = rect_.top - canvas.top;
  for (int32_t y = 0; y < rect_.height(); ++y)
    std::memcpy(grown.data() + static_cast<size_t>(y + dy) * canvas.width() + dx, row(y),
                static_cast<size_t>(rect_.width()));
  labels_ = std::move(grown);
  rect_ = canvas;
}

void seam_labels::paste(dib& image, int32_t x, int32_t y, uint8_t label) {
  irect o;
  if (!intersect(irect{x, y, static_cast<int32_t>(int64_t{x} + image.width() - 1),
                       static_cast<int32_t>(int64_t{y} + image.height() - 1)},
                 rect_, o))
    return;
  const color_model model = image.model();
  for (int32_t r = o.top; r <= o.bottom; ++r) {
    locked_row from(image, r - y);
    uint8_t* to = row_at(r - rect_.top);
    for (int32_t c = o.left; c <= o.right; ++c)
      if (copy_opaque_takes(model, from.bytes(), c - x)) to[c - rect_.left] = label;
  }
}

void seam_labels::add_merge(dib& image, int32_t x, int32_t y, uint8_t label, const irect& canvas,
                            dib* zone_image, const irect& zone, const seam_sides& sides) {
  grow_to(canvas);
  irect z;
  const bool blended = zone_image && intersect(zone, rect_, z);
  // The zone's labels before the paste are those of image 1's side.
  std::vector<uint8_t> before;
  if (blended)
    for (int32_t r = z.top; r <= z.bottom; ++r) {
      const uint8_t* from = row(r - rect_.top) + (z.left - rect_.left);
      before.insert(before.end(), from, from + z.width());
    }
  paste(image, x, y, label);
  if (!blended) return;
  // Image 2's side already holds its label where it is opaque; elsewhere the old one stays.
  const color_model model = zone_image->model();
  const uint8_t* old = before.data();
  for (int32_t r = z.top; r <= z.bottom; ++r) {
    locked_row blended_row(*zone_image, r - zone.top);
    uint8_t* to = row_at(r - rect_.top);
    for (int32_t c = z.left; c <= z.right; ++c, ++old)
      if (*old != 0 && sides.at(c - zone.left, r - zone.top) == 1 &&
          copy_opaque_takes(model, blended_row.bytes(), c - zone.left))
        to[c - rect_.left] = *old;
  }
}

void seam_labels::add_wrap_blend(dib& zone_image, const irect& zone, const seam_sides& sides, int32_t period) {
  // Both pastes of the zone come from one picture, so every label is read before any is written.
  constexpr int16_t untouched = -1;
  std::vector<int16_t> taken(static_cast<size_t>(zone.width()) * zone.height(), untouched);
  const color_model model = zone_image.model();
  for (int32_t zy = 0; zy < zone.height(); ++zy) {
    locked_row blended_row(zone_image, zy);
    const int64_t y = int64_t{zone.top} + zy;
    for (int32_t zx = 0; zx < zone.width(); ++zx) {
      if (!copy_opaque_takes(model, blended_row.bytes(), zx)) continue;
      const int64_t x = int64_t{zone.left} + zx;
      const uint8_t own = at(x, y), shifted = at(x - period, y);
      const uint8_t first = sides.at(zx, zy) == 2 ? shifted : own;
      const uint8_t second = sides.at(zx, zy) == 2 ? own : shifted;
      taken[static_cast<size_t>(zy) * zone.width() + zx] = first != 0 ? first : second;
    }
  }
  for (const int64_t shift : {int64_t{0}, -int64_t{period}})
    for (int32_t zy = 0; zy < zone.height(); ++zy) {
      const int64_t y = int64_t{zone.top} + zy;
      if (y < 0 || y >= rect_.height()) continue;
      uint8_t* to = row_at(static_cast<int32_t>(y));
      for (int32_t zx = 0; zx < zone.width(); ++zx) {
        const int16_t label = taken[static_cast<size_t>(zy) * zone.width() + zx];
        const int64_t x = int64_t{zone.left} + zx + shift;
        if (label != untouched && x >= 0 && x < rect_.width()) to[x] = static_cast<uint8_t>(label);
      }
    }
}

void seam_labels::cut_to_period(int32_t period) {
  std::vector<uint8_t> cut(static_cast<size_t>(period) * rect_.height());
  const size_t kept = static_cast<size_t>(std::min(period, rect_.width()));
  for (int32_t y = 0; y < rect_.height(); ++y)
    std::memcpy(cut.data() + static_cast<size_t>(y) * period, row(y), kept);
  labels_ = std::move(cut);
  rect_.right = static_cast<int32_t>(int64_t{rect_.left} + period - 1);
}

void seam_labels::cut_to_canvas(const irect& canvas, int32_t period) {
  const std::vector<column_run> runs =
      canvas_column_runs(canvas.left, canvas.width(), rect_.left, rect_.width(), period);
  std::vector<uint8_t> cut(static_cast<size_t>(canvas.width()) * canvas.height());
  for (int32_t y = 0; y < canvas.height(); ++y) {
    const int64_t from = int64_t{canvas.top} + y - rect_.top;
    if (from < 0 || from >= rect_.height()) continue;
    for (const column_run& r : runs)
      std::memcpy(cut.data() + static_cast<size_t>(y) * canvas.width() + r.out_x,
                  row(static_cast<int32_t>(from)) + r.source_x, static_cast<size_t>(r.width));
  }
  labels_ = std::move(cut);
  rect_ = canvas;
}
