#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>

#include "image/block_cache.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
// Mappings from the heap, filled with `fill` to tell whether the cache wrote to them.
struct fake_system {
  int maps = 0;
  std::multiset<size_t> unmapped;
  unsigned char fill = 0;
  block_cache make(block_cache::limits bounds) {
    return block_cache(
        bounds,
        [this](size_t size) {
          ++maps;
          void* p = std::malloc(size);
          std::memset(p, fill, size);
          return p;
        },
        [this](void* p, size_t size) {
          unmapped.insert(size);
          std::free(p);
        });
  }
};

constexpr size_t page = 4096;

// A request whose block goes straight back to the heap, bypassing the cache.
void ask(block_cache& cache, size_t size) { std::free(cache.take(size).address); }
}  // namespace

TEST(BlockCache, RecurringSizesAreReusedAndZeroedAsFarAsAsked) {
  fake_system sys;
  block_cache cache = sys.make({1 << 20, 8, 1 << 20});
  memory_block a = cache.take(10 * page), b = cache.take(10 * page);
  std::memset(a.address, 7, a.mapped);
  std::memset(b.address, 7, b.mapped);
  cache.give_back(a);
  cache.give_back(b);
  EXPECT_EQ(cache.kept_blocks(), 2u);
  // Up to an eighth smaller still fits; the bytes past the request are not touched.
  memory_block again = cache.take(9 * page + 1);
  EXPECT_EQ(sys.maps, 2);
  ASSERT_TRUE(again.address == a.address || again.address == b.address);
  const unsigned char* bytes = static_cast<const unsigned char*>(again.address);
  for (size_t i = 0; i < 9 * page + 1; ++i) ASSERT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(bytes[9 * page + 1], 7);
  // Smaller than that takes a fresh mapping.
  memory_block small = cache.take(8 * page);
  EXPECT_EQ(sys.maps, 3);
  cache.give_back(again);
  cache.give_back(small);
}

TEST(BlockCache, FreshMappingsAreNotZeroedAgain) {
  fake_system sys;
  sys.fill = 0x5A;  // stands for the zero a real mapping starts with
  block_cache cache = sys.make({1 << 20, 8, 1 << 20});
  memory_block a = cache.take(3 * page);
  EXPECT_EQ(static_cast<unsigned char*>(a.address)[0], 0x5A);
  EXPECT_EQ(a.mapped, 3 * page);
  cache.give_back(a);
}

TEST(BlockCache, KeepsOnlyRecurringBlocksWithinItsLimits) {
  fake_system sys;
  block_cache cache = sys.make({40 * page, 3, 20 * page});
  // Asked for once: a canvas outgrown, not kept.
  cache.give_back(cache.take(30 * page + 5));
  EXPECT_EQ(sys.unmapped.count(31 * page), 1u);
  // Recurring but larger than the largest block kept.
  ask(cache, 21 * page);
  cache.give_back(cache.take(21 * page));
  EXPECT_EQ(sys.unmapped.count(21 * page), 1u);
  EXPECT_EQ(cache.kept_blocks(), 0u);
  // Over the byte limit the oldest goes first, then over the count limit.
  for (size_t pages : {10, 15, 16}) ask(cache, pages * page);
  memory_block b10 = cache.take(10 * page), b15 = cache.take(15 * page), b16 = cache.take(16 * page);
  cache.give_back(b10);
  cache.give_back(b15);
  EXPECT_EQ(cache.kept_bytes(), 25 * page);
  cache.give_back(b16);
  EXPECT_EQ(sys.unmapped.count(10 * page), 1u);
  EXPECT_EQ(cache.kept_bytes(), 31 * page);
  ask(cache, page);
  memory_block p1 = cache.take(page), p2 = cache.take(page);
  cache.give_back(p1);
  cache.give_back(p2);
  EXPECT_EQ(cache.kept_blocks(), 3u);
  EXPECT_EQ(sys.unmapped.count(15 * page), 1u);
}

TEST(BlockCache, ARefusedMappingIsRetriedWithoutTheKeptBlocks) {
  std::multiset<size_t> unmapped;
  bool refuse = false;
  int refusals = 0;
  auto map = [&](size_t size) -> void* {
    // Refuses until some memory has gone back to the system.
    if (refuse && unmapped.empty()) {
      ++refusals;
      throw std::bad_alloc();
    }
    return std::calloc(1, size);
  };
  auto unmap = [&](void* p, size_t size) {
    unmapped.insert(size);
    std::free(p);
  };
  block_cache cache({1 << 20, 8, 1 << 20}, map, unmap);
  memory_block a = cache.take(page), b = cache.take(page);
  cache.give_back(a);
  cache.give_back(b);
  ASSERT_EQ(cache.kept_blocks(), 2u);
  refuse = true;
  memory_block big = cache.take(5 * page);
  EXPECT_NE(big.address, nullptr);
  EXPECT_EQ(refusals, 1);
  EXPECT_EQ(unmapped.count(page), 2u);
  EXPECT_EQ(cache.kept_blocks(), 0u);
  cache.give_back(big);
  // With nothing kept the refusal stands.
  block_cache empty({1 << 20, 8, 1 << 20}, map, unmap);
  unmapped.clear();
  EXPECT_THROW(empty.take(page), std::bad_alloc);
}

// The contract the merge relies on: a new image is transparent zero, even when its
// memory held another image a moment ago.
TEST(BlockCache, NewImagesAreZeroAfterReuse) {
  for (int round = 0; round < 3; ++round) {
    dib_ptr used(create_float_dib(300, 200));
    fill_random(used.get(), 9);
  }
  dib_ptr fresh(create_float_dib(300, 190));
  EXPECT_EQ(pixel_bytes(fresh.get()), std::vector<uint8_t>(300 * 190 * 16, 0));
}
