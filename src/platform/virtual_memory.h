// Zero-filled read/write anonymous memory for in-memory pixel storage; a refusal is
// reported as bad_allocation ("bad allocation"), which the storage factory absorbs.
#pragma once

#include <cstddef>
#include <new>

class bad_allocation : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

void* map_zeroed_memory(size_t size);
void unmap_memory(void* address, size_t size);
