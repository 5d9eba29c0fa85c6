#include "image/memory_storage.h"

uint8_t* memory_storage::allocate(int32_t width, int32_t height, int32_t bits_per_pixel) {
  width_ = width;
  height_ = height;
  bits_per_pixel_ = bits_per_pixel;
  stride_ = row_stride(width, bits_per_pixel);
  block_ = std::make_shared<vm_block>(static_cast<size_t>(height) * static_cast<size_t>(stride_));
  buffer_ = static_cast<uint8_t*>(block_->address());
  return buffer_;
}
