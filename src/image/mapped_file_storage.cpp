#include "image/mapped_file_storage.h"

#include "platform/temp_files.h"

mapped_file_storage::~mapped_file_storage() {
  for (auto& view : views_) {
    try {
      release(*view);
    } catch (...) {
      // Unmapping at teardown cannot be reported; the file goes away regardless.
    }
  }
  views_.clear();
  row_table_.clear();
}

uint8_t* mapped_file_storage::allocate(int32_t width, int32_t height, int32_t bits_per_pixel) {
  width_ = width;
  bits_per_pixel_ = bits_per_pixel;
  stride_ = row_stride(width, bits_per_pixel);
  height_ = height;
  file_.create(make_temp_file_name(), static_cast<uint64_t>(height) * static_cast<uint64_t>(stride_));
  row_table_.assign(static_cast<size_t>(height), nullptr);
  return nullptr;
}

namespace {
// Rows of a zero-width image hold no bytes; any non-null address serves them.
uint8_t empty_row[16];
}  // namespace

// A locked row's window cannot be released while its use count is positive, so the address stays
// valid after the mutex is let go.
uint8_t* mapped_file_storage::lock_row(int32_t y) {
  if (stride_ == 0) return empty_row;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!row_table_[y]) map_window(y);
  file_view* v = row_table_[y];
  ++v->use_count;
  return v->address + (static_cast<uint64_t>(y) * static_cast<uint64_t>(stride_) - v->file_offset);
}

void mapped_file_storage::unlock_row(int32_t y) {
  if (stride_ == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  --row_table_[y]->use_count;
}

void mapped_file_storage::release(file_view& view) {
  if (view.address) {
    uint64_t stride = static_cast<uint64_t>(stride_);
    uint64_t first = (view.file_offset + stride - 1) / stride;
    uint64_t end = (view.file_offset + view.length) / stride;
    for (uint64_t r = first; r < end && r < row_table_.size(); ++r)
      if (row_table_[r] == &view) row_table_[r] = nullptr;
  }
  view.unmap();
}

void mapped_file_storage::map_window(int32_t y) {
  uint32_t rows = 0x400000u / static_cast<uint32_t>(stride_);
  if (height_ / 8 < static_cast<int32_t>(rows)) rows = static_cast<uint32_t>(height_ / 8);
  if (rows < 8) rows = 8;
  if (static_cast<int64_t>(y) + rows > height_) rows = static_cast<uint32_t>(height_ - y);

  file_view* view = nullptr;
  for (auto& candidate : views_) {
    if (candidate->use_count == 0) {
      view = candidate.get();
      release(*view);
      break;
    }
  }
  if (!view) {
    views_.push_back(std::make_unique<file_view>());
    view = views_.back().get();
  }

  uint64_t stride = static_cast<uint64_t>(stride_);
  view->map(file_, static_cast<uint64_t>(y) * stride, static_cast<uint64_t>(rows) * stride);
  uint64_t first = (view->file_offset + stride - 1) / stride;
  uint64_t end = (view->file_offset + view->length) / stride;
  for (uint64_t r = first; r < end; ++r)
    if (!row_table_[r]) row_table_[r] = view;
}
