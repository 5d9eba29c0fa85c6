// One block of committed, zero-filled virtual memory, freed with the object; the
// memory comes from and goes back to the pixel block cache.
#pragma once

#include <cstddef>

class vm_block {
 public:
  explicit vm_block(size_t size);
  virtual void* address() const { return address_; }
  virtual size_t size() const { return size_; }
  virtual ~vm_block();

  vm_block(const vm_block&) = delete;
  vm_block& operator=(const vm_block&) = delete;

 private:
  void* address_;
  size_t size_;
  size_t mapped_;
};
