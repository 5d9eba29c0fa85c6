#include "image/vm_block.h"

#include "platform/virtual_memory.h"

vm_block::vm_block(size_t size) : address_(map_zeroed_memory(size)), size_(size) {}

vm_block::~vm_block() { unmap_memory(address_, size_); }
