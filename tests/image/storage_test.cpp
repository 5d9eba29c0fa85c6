#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>

#include "image/dib_cursor.h"
#include "image/mapped_file_storage.h"
#include "image/memory_storage.h"
#include "image/region_copy.h"
#include "image/stored_dib.h"
#include "platform/memory_status.h"
#include "support/storage_override.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
memory_status_source fixed(uint64_t total, uint64_t avail, uint64_t phys) {
  return [=] { return memory_status{total, avail, phys}; };
}
constexpr uint64_t plenty = 0x40000000;  // 1 GiB

bool is_file_backed(dib* image) {
  return dynamic_cast<const mapped_file_storage*>(&static_cast<stored_dib*>(image)->storage()) != nullptr;
}
}  // namespace

TEST(StoragePolicy, CommitChargeShrinksTheBudget) {
  // 0x70000000 in use: budget 0x10000000, below the 512 MiB floor.
  EXPECT_FALSE(use_memory_storage(16, fixed(0x80000000, 0x10000000, plenty)));
  // Budget 0x40000000: half of it is the largest image that may use memory.
  auto budget_1g = fixed(0xC0000000, 0x80000000, 0x04000000 * 4ull);
  EXPECT_TRUE(use_memory_storage(0x20000000, budget_1g));
  EXPECT_FALSE(use_memory_storage(0x20000001, budget_1g));
}

TEST(StoragePolicy, PhysicalMemoryAndCommitFloors) {
  EXPECT_FALSE(use_memory_storage(16, fixed(0x80000000, 0x80000000, 0x01FFFFFF)));
  auto phys_64m = fixed(0xBFFFFFE0, 0x80000000, 0x04000000);  // budget 0x40000020
  EXPECT_TRUE(use_memory_storage(0x20000000, phys_64m));
  EXPECT_FALSE(use_memory_storage(0x20000008, phys_64m));
  // Available commit below 256 MiB: files even though the budget is fine.
  EXPECT_FALSE(use_memory_storage(16, fixed(0x0FFFFFFF, 0x0FFFFFFF, plenty)));
}

TEST(StoragePolicy, LargeQuantitiesSaturateInsteadOfWrapping) {
  // 12 GiB of commit limit with little in use: as a 32-bit machine with everything free.
  const uint64_t gib = 1ull << 30;
  EXPECT_TRUE(use_memory_storage(0x100000, fixed(12 * gib, 12 * gib - 64 * 1024 * 1024, 20 * gib)));
  // Low 32 bits of 4 GiB + 16 MiB would read as 16 MiB free: saturation keeps it plentiful.
  EXPECT_TRUE(use_memory_storage(0x100000, fixed(8 * gib, 4 * gib + 0x1000000, 4 * gib + 0x1000000)));
}

// Past the 32-bit budget (1 GiB for one image) memory is used while the available
// physical memory holds the image one and a half times plus 1 GiB.
TEST(StoragePolicy, LargeImagesUseMemoryWhenTheHostHasIt) {
  const uint64_t gib = 1ull << 30;
  const uint64_t image = 3 * gib / 2;
  auto host = [&](uint64_t phys) { return fixed(12 * gib, 11 * gib, phys); };
  EXPECT_TRUE(use_memory_storage(image, host(20 * gib)));
  EXPECT_TRUE(use_memory_storage(image, host(image + image / 2 + gib)));
  EXPECT_FALSE(use_memory_storage(image, host(image + image / 2 + gib - 1)));
  EXPECT_FALSE(use_memory_storage(40 * gib, host(20 * gib)));
  // Heavy commit charge does not matter to it; physical memory does.
  EXPECT_TRUE(use_memory_storage(16, fixed(0x80000000, 0x10000000, 2 * gib)));
}

TEST(StoragePolicy, ParsesMeminfo) {
  memory_status s = parse_meminfo(
      "MemTotal: 24683772 kB\nMemAvailable:   1000 kB\nCommitLimit:    3000 kB\nCommitted_AS:   5000 kB\n");
  EXPECT_EQ(s.avail_phys, 1000u * 1024);
  EXPECT_EQ(s.total_commit, 3000u * 1024);
  EXPECT_EQ(s.avail_commit, 0u);  // over-committed: not below zero
  memory_status live = read_memory_status();
  EXPECT_GT(live.total_commit, 0u);
}

TEST(StorageFactory, FallsBackToFileWhenPolicyRefuses) {
  scoped_temp_dir tmp;
  {
    force_file_storage files;
    dib_ptr img(create_dib(10, 10, 32));
    EXPECT_TRUE(is_file_backed(img.get()));
    EXPECT_EQ(img->data(), nullptr);
  }
  dib_ptr img(create_dib(10, 10, 32));
  EXPECT_FALSE(is_file_backed(img.get()));
  EXPECT_NE(img->data(), nullptr);
}

TEST(FileStorage, WindowsFollowRowBudget) {
  scoped_temp_dir tmp;
  mapped_file_storage small;
  small.allocate(3, 5, 32);
  small.lock_row(0);
  for (int y = 0; y < 5; ++y) EXPECT_EQ(small.view_of_row(y), small.view_of_row(0));
  small.unlock_row(0);
  EXPECT_EQ(small.view_count(), 1u);

  // 1 MiB stride: the minimum of 8 rows wins over the 4 MiB limit.
  mapped_file_storage wide;
  wide.allocate(0x40000, 1000, 32);
  ASSERT_EQ(wide.stride(), 0x100000);
  wide.lock_row(0);
  EXPECT_EQ(wide.view_of_row(7), wide.view_of_row(0));
  EXPECT_EQ(wide.view_of_row(8), nullptr);
  // Row 8 while row 7 is still locked: the busy window cannot be reused.
  wide.lock_row(7);
  wide.unlock_row(0);
  wide.lock_row(8);
  EXPECT_EQ(wide.view_count(), 2u);
  EXPECT_NE(wide.view_of_row(8), wide.view_of_row(7));
  wide.unlock_row(7);
  wide.unlock_row(8);
  // An idle window is reused for the next new window.
  wide.lock_row(100);
  EXPECT_EQ(wide.view_count(), 2u);
  EXPECT_EQ(wide.view_of_row(0), nullptr);
  wide.unlock_row(100);
}

TEST(FileStorage, RowsCutByAViewEndGetTheirOwnWindow) {
  scoped_temp_dir tmp;
  mapped_file_storage s;
  s.allocate(1000, 200, 24);  // stride 3008: page-aligned windows cut rows in two
  for (int y = 0; y < 200; ++y) {
    uint8_t* p = s.lock_row(y);
    p[0] = static_cast<uint8_t>(y);
    p[s.stride() - 1] = static_cast<uint8_t>(y + 1);  // would fault past a view's end
    s.unlock_row(y);
  }
  for (int y = 199; y >= 0; --y) {
    uint8_t* p = s.lock_row(y);
    EXPECT_EQ(p[0], static_cast<uint8_t>(y));
    EXPECT_EQ(p[s.stride() - 1], static_cast<uint8_t>(y + 1));
    s.unlock_row(y);
  }
}

TEST(FileStorage, SamePicturesAsMemoryUnderRandomAccess) {
  scoped_temp_dir tmp;
  std::mt19937 rng(42);
  for (int bpp : {24, 32, 128}) {
    const int w = 300 + static_cast<int>(rng() % 77), h = 157;
    dib_ptr mem(bpp == 128 ? create_float_dib(w, h) : create_dib(w, h, bpp));
    fill_random(mem.get(), 1000 + bpp);
    dib_ptr file;
    {
      force_file_storage files;
      file = bpp == 128 ? create_float_dib(w, h) : create_dib(w, h, bpp);
      ASSERT_TRUE(is_file_backed(file.get()));
    }
    // Rows written in random order through several cursors that hold locks across window ends.
    std::vector<int> order(h);
    for (int y = 0; y < h; ++y) order[y] = y;
    std::shuffle(order.begin(), order.end(), rng);
    cursor_handle a = make_cursor(file.get()), b = make_cursor(file.get()), c = make_cursor(mem.get());
    for (size_t i = 0; i < order.size(); ++i) {
      dib_cursor& writer = (i % 2) ? *a : *b;
      writer.move_to(0, order[i]);
      c->move_to(0, order[i]);
      for (int x = 0; x < w; ++x) {
        writer.set_from(*c);
        writer.next_pixel();
        c->next_pixel();
      }
    }
    a.reset();
    b.reset();
    c.reset();
    EXPECT_EQ(pixel_bytes(file.get()), pixel_bytes(mem.get())) << bpp;
    dib_ptr file_clone;
    {
      force_file_storage files;
      file_clone = file->clone();
    }
    EXPECT_EQ(pixel_bytes(file_clone.get()), pixel_bytes(mem.get()));
    // A partial copy at an offset lands identically in both backends.
    dib_ptr mem_dst(mem->create_blank(w, h)), file_dst;
    {
      force_file_storage files;
      file_dst = file->create_blank(w, h);
    }
    copy_dib(mem.get(), mem_dst.get(), 17, -9, nullptr);
    copy_dib(file.get(), file_dst.get(), 17, -9, nullptr);
    copy_opaque(mem.get(), mem_dst.get(), -5, 40, nullptr);
    copy_opaque(file.get(), file_dst.get(), -5, 40, nullptr);
    EXPECT_EQ(pixel_bytes(file_dst.get()), pixel_bytes(mem_dst.get()));
  }
}

TEST(FileStorage, LeavesNoTemporaryFileBehind) {
  scoped_temp_dir tmp;
  force_file_storage files;
  {
    dib_ptr img(create_dib(64, 64, 32));
    fill_random(img.get(), 3);
    EXPECT_TRUE(tmp.entries().empty());  // unlinked as soon as it is sized
  }
  EXPECT_TRUE(tmp.entries().empty());
}

TEST(FileStorage, ReportsAFolderThatCannotTakeFiles) {
  scoped_temp_dir tmp;
  setenv("TMPDIR", (tmp.path() + "/missing").c_str(), 1);
  force_file_storage files;
  try {
    create_dib(4, 4, 32);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Failed CreateFile : No such file or directory, filename : ", 0), 0u)
        << e.what();
  }
}
