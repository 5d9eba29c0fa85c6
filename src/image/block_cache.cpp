#include "image/block_cache.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/memory_status.h"
#include "platform/virtual_memory.h"

namespace {
constexpr size_t page_size = 4096;
constexpr size_t remembered_requests = 256;

size_t whole_pages(size_t size) { return (std::max<size_t>(size, 1) + page_size - 1) / page_size * page_size; }

// A block serves a request of up to an eighth less than its size.
bool fits(size_t mapped, size_t pages) { return mapped >= pages && mapped - pages <= pages / 8; }
}  // namespace

block_cache::block_cache(limits bounds) : block_cache(bounds, map_zeroed_memory, unmap_memory) {}

block_cache::block_cache(limits bounds, map_function map, unmap_function unmap)
    : bounds_(bounds), map_(std::move(map)), unmap_(std::move(unmap)) {}

block_cache::~block_cache() {
  for (const memory_block& b : kept_) unmap_(b.address, b.mapped);
}

memory_block block_cache::take(size_t size) {
  const size_t pages = whole_pages(size);
  memory_block found;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (asked_.size() < remembered_requests)
      asked_.push_back(pages);
    else
      asked_[next_asked_++ % remembered_requests] = pages;
    auto best = kept_.end();
    for (auto it = kept_.begin(); it != kept_.end(); ++it)
      if (fits(it->mapped, pages) && (best == kept_.end() || it->mapped <= best->mapped))
        best = it;
    if (best != kept_.end()) {
      found = *best;
      kept_.erase(best);
      kept_bytes_ -= found.mapped;
    }
  }
  if (!found.address) return memory_block{fresh(pages), pages};
  // Only as far as the new owner looks: the rest is zeroed by whoever takes it next.
  std::memset(found.address, 0, size);
  return found;
}

void* block_cache::fresh(size_t pages) {
  try {
    return map_(pages);
  } catch (const std::bad_alloc&) {
    // Kept blocks must not be why the system refuses: let them go and ask once more.
    std::vector<memory_block> dropped;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      dropped.swap(kept_);
      kept_bytes_ = 0;
    }
    if (dropped.empty()) throw;
    for (const memory_block& b : dropped) unmap_(b.address, b.mapped);
    return map_(pages);
  }
}

void block_cache::give_back(memory_block block) {
  if (!block.address) return;
  std::vector<memory_block> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (block.mapped > bounds_.largest_block || block.mapped > bounds_.kept_bytes || !recurring(block.mapped)) {
      dropped.push_back(block);
    } else {
      kept_.push_back(block);
      kept_bytes_ += block.mapped;
      size_t oldest = 0;
      while (kept_bytes_ > bounds_.kept_bytes || kept_.size() - oldest > bounds_.kept_blocks) {
        kept_bytes_ -= kept_[oldest].mapped;
        dropped.push_back(kept_[oldest++]);
      }
      kept_.erase(kept_.begin(), kept_.begin() + static_cast<ptrdiff_t>(oldest));
    }
  }
  for (const memory_block& b : dropped) unmap_(b.address, b.mapped);
}

bool block_cache::recurring(size_t mapped) const {
  return std::count_if(asked_.begin(), asked_.end(), [&](size_t pages) { return fits(mapped, pages); }) > 1;
}

size_t block_cache::kept_bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return kept_bytes_;
}

size_t block_cache::kept_blocks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return kept_.size();
}

block_cache& pixel_block_cache() {
  // A sixteenth of the memory available at first use, at most 512 MiB: enough for the
  // temporaries of a merge step of 3000 x 2400 tiles, while the kept blocks add to the
  // resident size. Never destroyed: images in static storage may give blocks back at exit.
  static block_cache* cache = [] {
    const uint64_t bytes = std::min<uint64_t>(read_memory_status().avail_phys / 16, uint64_t{512} << 20);
    const size_t kept = static_cast<size_t>(bytes);
    return new block_cache(block_cache::limits{kept, 64, kept / 4});
  }();
  return *cache;
}
