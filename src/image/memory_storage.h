// Pixel rows in one block of memory: locking a row is pointer arithmetic.
#pragma once

#include <memory>

#include "image/dib_storage.h"
#include "image/vm_block.h"

class memory_storage : public idib_storage {
 public:
  uint8_t* allocate(int32_t width, int32_t height, int32_t bits_per_pixel) override;
  int stride() override { return stride_; }
  int bits_per_pixel() override { return bits_per_pixel_; }
  uint8_t* lock_row(int32_t y) override { return buffer_ + static_cast<size_t>(y) * stride_; }
  void unlock_row(int32_t) override {}
  uint8_t* data() override { return buffer_; }

 private:
  int32_t stride_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t bits_per_pixel_ = 0;
  uint8_t* buffer_ = nullptr;
  std::shared_ptr<vm_block> block_;
};
