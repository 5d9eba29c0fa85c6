#include "image/vm_block.h"

#include "image/block_cache.h"

vm_block::vm_block(size_t size) : size_(size) {
  const memory_block block = pixel_block_cache().take(size);
  address_ = block.address;
  mapped_ = block.mapped;
}

vm_block::~vm_block() { pixel_block_cache().give_back(memory_block{address_, mapped_}); }
