// A batch of consecutive rows locked on the calling thread for workers to fill or read:
// file-backed images map their rows in windows that only one thread may move.
#pragma once

#include <cstdint>
#include <vector>

#include "image/dib.h"

class locked_rows {
 public:
  locked_rows(dib& image, int32_t first, int32_t count) : image_(image), first_(first) {
    rows_.reserve(static_cast<size_t>(count));
    try {
      for (int32_t k = 0; k < count; ++k) rows_.push_back(image.lock_row(first + k));
    } catch (...) {
      unlock();
      throw;
    }
  }
  ~locked_rows() { unlock(); }
  locked_rows(const locked_rows&) = delete;
  locked_rows& operator=(const locked_rows&) = delete;

  // Row first + k.
  uint8_t* operator[](int64_t k) const { return rows_[static_cast<size_t>(k)]; }

 private:
  void unlock() {
    for (size_t k = 0; k < rows_.size(); ++k) image_.unlock_row(first_ + static_cast<int32_t>(k));
    rows_.clear();
  }

  dib& image_;
  int32_t first_;
  std::vector<uint8_t*> rows_;
};
