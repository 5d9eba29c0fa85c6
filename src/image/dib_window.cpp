#include "image/dib_window.h"


#include "image/dib_cursor.h"
#include "image/region_copy.h"
#include "platform/internal_error.h"

namespace {
dib_ptr outermost(const dib_ptr& image, int32_t& left, int32_t& top) {
  if (const auto* window = dynamic_cast<const dib_window*>(image.get())) {
    left += window->left();
    top += window->top();
    return window->parent();
  }
  return image;
}
}  // namespace

dib_window::dib_window(const dib_ptr& parent, int32_t left, int32_t top, int32_t width, int32_t height)
    : left_(left), top_(top), width_(width), height_(height) {
  QM_ASSERT(parent && left >= 0 && top >= 0 && width >= 0 && height >= 0 &&
            int64_t{left} + width <= parent->width() && int64_t{top} + height <= parent->height());
  parent_ = outermost(parent, left_, top_);
  left_bytes_ = static_cast<size_t>(left_) * static_cast<size_t>(parent_->bits_per_pixel() / 8);
}

dib* dib_window::create_blank(int32_t width, int32_t height) const { return parent_->create_blank(width, height); }

dib* dib_window::clone() const {
  dib* copy = create_blank(width_, height_);
  try {
    copy_dib(const_cast<dib_window*>(this), copy, 0, 0, nullptr);
  } catch (...) {
    copy->destroy();
    throw;
  }
  return copy;
}

dib_cursor* dib_window::create_cursor() {
  switch (model()) {
    case bgra32:
      return new dib_cursor_bgra32(this);
    case bgra_float:
      return new dib_cursor_float(this);
    default:
      return new dib_cursor(this);
  }
}
