// Recently freed pixel blocks kept for reuse by size: merge steps make images of the
// same few sizes again and again, and a kept block costs one memset where a fresh
// mapping costs a page fault per page and an unmap.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

struct memory_block {
  void* address = nullptr;
  size_t mapped = 0;  // whole pages
};

class block_cache {
 public:
  struct limits {
    size_t kept_bytes;     // all kept blocks together
    size_t kept_blocks;
    size_t largest_block;  // larger blocks go straight back to the system
  };
  using map_function = std::function<void*(size_t)>;  // zero-filled, or throws
  using unmap_function = std::function<void(void*, size_t)>;

  // The system's anonymous mappings (platform/virtual_memory).
  explicit block_cache(limits bounds);
  block_cache(limits bounds, map_function map, unmap_function unmap);
  ~block_cache();
  block_cache(const block_cache&) = delete;
  block_cache& operator=(const block_cache&) = delete;

  // At least size bytes, the first size of them zero. A kept block fits when it is no
  // more than an eighth larger than needed, the smallest fitting one is zeroed and
  // handed out; otherwise a fresh mapping, which is zero already. When the system
  // refuses one, the kept blocks are given back to it before asking again.
  memory_block take(size_t size);
  // Keeps the block when blocks of its size were asked for more than once lately (a
  // size asked for once, like a canvas outgrown, is not likely to come back), unmapping
  // the oldest kept ones beyond the limits.
  void give_back(memory_block block);

  size_t kept_bytes() const;
  size_t kept_blocks() const;

 private:
  limits bounds_;
  map_function map_;
  unmap_function unmap_;
  mutable std::mutex mutex_;
  bool recurring(size_t mapped) const;
  void* fresh(size_t pages);

  std::vector<memory_block> kept_;  // oldest first
  size_t kept_bytes_ = 0;
  std::vector<size_t> asked_;  // the latest requests in whole pages, a ring
  size_t next_asked_ = 0;
};

// The cache behind in-memory image storage, sized from the memory available at first use.
block_cache& pixel_block_cache();
