// Pixel rows in a temporary file, mapped a window of rows at a time; idle windows
// stay mapped until a new window needs their slot. Rows may be locked and unlocked from
// several threads at once: the window bookkeeping is guarded by a mutex.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "image/dib_storage.h"
#include "image/file_view.h"
#include "image/temp_file.h"

class mapped_file_storage : public idib_storage {
 public:
  mapped_file_storage() = default;
  ~mapped_file_storage() override;

  uint8_t* allocate(int32_t width, int32_t height, int32_t bits_per_pixel) override;
  int stride() override { return stride_; }
  int bits_per_pixel() override { return bits_per_pixel_; }
  uint8_t* lock_row(int32_t y) override;
  void unlock_row(int32_t y) override;
  uint8_t* data() override { return nullptr; }

  // Introspection for tests (not synchronised with locks from other threads).
  size_t view_count() const { return views_.size(); }
  const file_view* view_of_row(int32_t y) const { return row_table_[y]; }

 private:
  void map_window(int32_t y);
  void release(file_view& view);

  int32_t stride_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t bits_per_pixel_ = 0;
  temp_file file_;
  std::mutex mutex_;  // guards views_, row_table_ and the views' use counts
  std::vector<std::unique_ptr<file_view>> views_;
  std::vector<file_view*> row_table_;
};
