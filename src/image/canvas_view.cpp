#include "image/canvas_view.h"

#include <algorithm>
#include <cstring>

#include "image/dib_cursor.h"
#include "image/region_copy.h"

std::vector<column_run> canvas_column_runs(int64_t left, int32_t width, int64_t source_left, int32_t source_width,
                                           int32_t period) {
  if (period > 0) source_width = std::min(source_width, period);
  std::vector<column_run> runs;
  int64_t u = 0;
  while (u < width) {
    int64_t s = left + u - source_left;
    if (period > 0) s = (s % period + period) % period;
    if (s < 0) {
      u -= s;
      continue;
    }
    if (s >= source_width) {
      if (period <= 0) break;
      u += period - s;
      continue;
    }
    const int64_t n = std::min<int64_t>(width - u, source_width - s);
    runs.push_back({static_cast<int32_t>(u), static_cast<int32_t>(s), static_cast<int32_t>(n)});
    u += n;
  }
  return runs;
}

canvas_view::canvas_view(const dib_ptr& source, const irect& source_rect, const irect& canvas, int32_t period)
    : source_(source),
      width_(canvas.width()),
      height_(canvas.height()),
      first_source_row_(int64_t{canvas.top} - source_rect.top),
      runs_(canvas_column_runs(canvas.left, canvas.width(), source_rect.left, source_rect.width(), period)) {
  // Padded to 16 bytes like every image row, for readers that take whole blocks.
  const size_t bytes = static_cast<size_t>(width_) * static_cast<size_t>(source->bits_per_pixel() / 8);
  row_bytes_ = (bytes + 15) / 16 * 16;
}

int32_t canvas_view::source_row(int32_t y) const {
  const int64_t row = first_source_row_ + y;
  return row >= 0 && row < source_->height() ? static_cast<int32_t>(row) : -1;
}

bool canvas_view::passes_through() const {
  return runs_.size() == 1 && runs_[0].out_x == 0 && runs_[0].width == width_;
}

uint8_t* canvas_view::lock_row(int32_t y) {
  const int32_t from = source_row(y);
  const size_t pixel_bytes = static_cast<size_t>(source_->bits_per_pixel() / 8);
  // A row inside the source without padding is the source's own: nothing to copy.
  if (from >= 0 && passes_through())
    return source_->lock_row(from) + static_cast<size_t>(runs_[0].source_x) * pixel_bytes;
  assembled_row& row = assembled_[y];
  if (row.locks == 0) {
    try {
      row.bytes.assign(row_bytes_, 0);
      if (from >= 0) {
        const locked_row shown(*source_, from);
        for (const column_run& r : runs_)
          std::memcpy(row.bytes.data() + static_cast<size_t>(r.out_x) * pixel_bytes,
                      shown.bytes() + static_cast<size_t>(r.source_x) * pixel_bytes,
                      static_cast<size_t>(r.width) * pixel_bytes);
      }
    } catch (...) {
      assembled_.erase(y);
      throw;
    }
  }
  ++row.locks;
  return row.bytes.data();
}

void canvas_view::unlock_row(int32_t y) {
  const int32_t from = source_row(y);
  if (from >= 0 && passes_through()) {
    source_->unlock_row(from);
    return;
  }
  const auto it = assembled_.find(y);
  if (it != assembled_.end() && --it->second.locks == 0) assembled_.erase(it);
}

dib* canvas_view::create_blank(int32_t width, int32_t height) const { return source_->create_blank(width, height); }

dib* canvas_view::clone() const {
  dib* copy = create_blank(width_, height_);
  try {
    copy_dib(const_cast<canvas_view*>(this), copy, 0, 0, nullptr);
  } catch (...) {
    copy->destroy();
    throw;
  }
  return copy;
}

dib_cursor* canvas_view::create_cursor() {
  switch (model()) {
    case bgra32:
      return new dib_cursor_bgra32(this);
    case bgra_float:
      return new dib_cursor_float(this);
    default:
      return new dib_cursor(this);
  }
}

dib_ptr view_on_canvas(const dib_ptr& source, const irect& source_rect, const irect& canvas, int32_t period) {
  if (canvas == source_rect && (period <= 0 || source_rect.width() <= period)) return source;
  return dib_ptr(new canvas_view(source, source_rect, canvas, period));
}
