#include "platform/virtual_memory.h"

#include <sys/mman.h>

void* map_zeroed_memory(size_t size) {
  if (size == 0) size = 1;  // a zero-length mapping is refused; keep a valid address
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw bad_allocation();
  return p;
}

void unmap_memory(void* address, size_t size) {
  if (address) munmap(address, size == 0 ? 1 : size);
}
