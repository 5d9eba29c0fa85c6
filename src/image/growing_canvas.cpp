#include "image/growing_canvas.h"

#include <algorithm>
#include <memory>

#include "image/dib_window.h"

namespace {
// Canvas windows of one backing share the rectangle shown so far. Only a window showing
// all of it may widen in place: older windows are stale, and the backing around the
// shown rectangle has never been written, so it is still the zero it was made with.
class canvas_window final : public dib_window {
 public:
  canvas_window(const dib_ptr& backing, const irect& shown, std::shared_ptr<irect> newest)
      : dib_window(backing, shown.left, shown.top, shown.width(), shown.height()), newest_(std::move(newest)) {
    *newest_ = shown;
  }
  bool newest() const { return *newest_ == irect{left(), top(), left() + width() - 1, top() + height() - 1}; }
  const std::shared_ptr<irect>& shared_newest() const { return newest_; }

 private:
  std::shared_ptr<irect> newest_;
};

irect shifted(const irect& r, int64_t dx, int64_t dy) {
  return irect{static_cast<int32_t>(r.left + dx), static_cast<int32_t>(r.top + dy), static_cast<int32_t>(r.right + dx),
               static_cast<int32_t>(r.bottom + dy)};
}

// The backing's rectangle in canvas coordinates.
irect backing_on_canvas(const canvas_window& window, const irect& acc_rect) {
  const dib& backing = *window.parent();
  const int64_t left = int64_t{acc_rect.left} - window.left(), top = int64_t{acc_rect.top} - window.top();
  return irect{static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(left + backing.width() - 1),
               static_cast<int32_t>(top + backing.height() - 1)};
}

bool contains(const irect& outer, const irect& inner) {
  return outer.left <= inner.left && outer.top <= inner.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

// One axis: [low, high] joined with [c_low, c_high], with room added past each end
// that the canvas passes, cut back to [min, max]. When that spans more than max_extent
// values the room goes, then the old extent.
void widen_axis(int64_t& low, int64_t& high, int64_t c_low, int64_t c_high, int64_t min, int64_t max,
                int64_t max_extent) {
  const int64_t room = (c_high - c_low + 1) / 2;
  int64_t new_low = c_low < low ? std::max(min, c_low - room) : low;
  int64_t new_high = c_high > high ? std::min(max, c_high + room) : high;
  if (new_high - new_low + 1 > max_extent) {
    new_low = std::min(low, c_low);
    new_high = std::max(high, c_high);
  }
  if (new_high - new_low + 1 > max_extent) {
    new_low = c_low;
    new_high = c_high;
  }
  low = new_low;
  high = new_high;
}
}  // namespace

irect backing_rect(const irect& old, const irect& canvas, int32_t bytes_per_pixel) {
  // Rows stay well inside the int32 stride limit of the image model.
  const int64_t widest = 0x7FFFFF00 / std::max<int32_t>(bytes_per_pixel, 1);
  int64_t left = old.left, right = old.right, top = old.top, bottom = old.bottom;
  widen_axis(left, right, canvas.left, canvas.right, INT32_MIN, INT32_MAX, widest);
  widen_axis(top, bottom, canvas.top, canvas.bottom, INT32_MIN, INT32_MAX, INT32_MAX);
  return irect{static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
               static_cast<int32_t>(bottom)};
}

dib_ptr widen_canvas_in_place(const dib_ptr& acc, const irect& acc_rect, const irect& canvas) {
  const auto* window = dynamic_cast<const canvas_window*>(acc.get());
  if (!window || !window->newest()) return dib_ptr();
  const irect backing = backing_on_canvas(*window, acc_rect);
  if (!contains(backing, canvas)) return dib_ptr();
  return dib_ptr(new canvas_window(window->parent(), shifted(canvas, -int64_t{backing.left}, -int64_t{backing.top}),
                                   window->shared_newest()));
}

dib_ptr new_canvas_window(const dib_ptr& acc, const irect& acc_rect, const irect& canvas) {
  const auto* window = dynamic_cast<const canvas_window*>(acc.get());
  const irect old = window ? backing_on_canvas(*window, acc_rect) : acc_rect;
  const irect backing = backing_rect(old, canvas, acc->bits_per_pixel() / 8);
  dib_ptr image(acc->create_blank(backing.width(), backing.height()));
  return dib_ptr(new canvas_window(image, shifted(canvas, -int64_t{backing.left}, -int64_t{backing.top}),
                                   std::make_shared<irect>()));
}
