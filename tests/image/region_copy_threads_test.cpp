// Copies give the same bytes and progress calls for every thread count, in memory and in temporary
// files, and file-backed rows can be locked from several threads at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "image/mapped_file_storage.h"
#include "image/region_copy.h"
#include "platform/parallel.h"
#include "support/recording_tracker.h"
#include "support/storage_override.h"
#include "support/test_images.h"

using namespace test_images;

namespace {

struct thread_count_guard {
  ~thread_count_guard() { set_thread_count(0); }
};

dib_ptr make_picture(int bpp, int w, int h, uint32_t seed) {
  dib_ptr image(bpp == 128 ? create_float_dib(w, h) : create_dib(w, h, bpp));
  fill_random(image.get(), seed);
  return image;
}

// Every copy flavour into fresh destinations: same format, through bytes, through floats, opaque
// pixels only; the pictures made and the progress calls received.
std::pair<std::vector<std::vector<uint8_t>>, std::vector<recorded_call>> run_copies(bool in_files) {
  std::vector<std::vector<uint8_t>> pictures;
  recording_tracker t;
  const int w = 311, h = 457;
  std::optional<force_file_storage> files;
  if (in_files) files.emplace();
  for (int from : {24, 32, 128})
    for (int to : {24, 32, 128}) {
      const dib_ptr src = make_picture(from, w, h, 10 * from + to);
      const dib_ptr dst = make_picture(to, w + 40, h + 30, 11 * from + to);
      copy_dib(src.get(), dst.get(), 17, 9, &t);
      copy_opaque(src.get(), dst.get(), -23, 35, &t);
      pictures.push_back(pixel_bytes(dst.get()));
    }
  return {pictures, t.calls};
}

}  // namespace

TEST(FileStorageThreads, RowsLockedFromManyThreadsAtOnce) {
  scoped_temp_dir tmp;
  mapped_file_storage s;
  s.allocate(1000, 400, 24);  // windows of 50 rows, cut mid-row at page boundaries
  std::atomic<bool> failed{false};
  std::vector<std::thread> threads;
  for (int k = 0; k < 8; ++k)
    threads.emplace_back([&, k] {
      std::mt19937 rng(k);
      for (int i = 0; i < 3000; ++i) {
        // Hold two rows at once, often in different windows, while the other threads map theirs; each
        // thread writes only rows y with y % 8 == k, which share windows with every other thread's rows.
        const int y = 8 * static_cast<int>(rng() % 50) + k, z = 8 * static_cast<int>(rng() % 50) + k;
        if (y == z) continue;
        uint8_t* p = s.lock_row(y);
        uint8_t* q = s.lock_row(z);
        p[0] = static_cast<uint8_t>(y), p[s.stride() - 1] = static_cast<uint8_t>(y + 1);
        q[0] = static_cast<uint8_t>(z), q[s.stride() - 1] = static_cast<uint8_t>(z + 1);
        if (p[0] != static_cast<uint8_t>(y) || q[s.stride() - 1] != static_cast<uint8_t>(z + 1))
          failed = true;
        s.unlock_row(y);
        s.unlock_row(z);
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_FALSE(failed);
  for (int y = 0; y < 400; ++y) {
    uint8_t* p = s.lock_row(y);
    if (p[0] != 0 || p[s.stride() - 1] != 0) {  // touched rows carry their own number
      EXPECT_EQ(p[0], static_cast<uint8_t>(y));
      EXPECT_EQ(p[s.stride() - 1], static_cast<uint8_t>(y + 1));
    }
    s.unlock_row(y);
  }
}

TEST(RegionCopyThreads, SameBytesAndProgressForAnyThreadCountInMemoryAndInFiles) {
  thread_count_guard guard;
  scoped_temp_dir tmp;
  set_thread_count(1);
  const auto alone = run_copies(false);
  for (int threads : {2, 4})
    for (bool in_files : {false, true}) {
      set_thread_count(threads);
      const auto run = run_copies(in_files);
      SCOPED_TRACE(::testing::Message() << threads << " threads" << (in_files ? ", files" : ""));
      ASSERT_EQ(run.first.size(), alone.first.size());
      for (size_t i = 0; i < run.first.size(); ++i) EXPECT_TRUE(run.first[i] == alone.first[i]) << i;
      ASSERT_EQ(run.second.size(), alone.second.size());
      for (size_t i = 0; i < run.second.size(); ++i) {
        EXPECT_EQ(run.second[i].what, alone.second[i].what) << i;
        EXPECT_EQ(run.second[i].value, alone.second[i].value) << i;
        EXPECT_EQ(run.second[i].depth, alone.second[i].depth) << i;
      }
    }

  // Runs of opaque bgra32 pixels at every length, partial alphas and overlapping ranges included.
  std::mt19937 rng(5);
  for (int n = 0; n <= 40; ++n)
    for (int shift : {0, 1, 3, 50}) {
      std::vector<uint8_t> buffer(4 * 100), expected;
      for (uint8_t& b : buffer) b = static_cast<uint8_t>(rng());
      for (size_t i = 3; i < buffer.size(); i += 4) buffer[i] = "\x00\xff\xff\x00\x80"[rng() % 5];
      expected = buffer;
      for (int i = 0; i < n; ++i)  // the pixel by pixel order
        if (expected[4 * (10 + i) + 3] != 0)
          std::copy_n(&expected[4 * (10 + i)], 4, &expected[4 * (10 + shift + i)]);
      copy_opaque_bgra32_run(&buffer[40], &buffer[40 + 4 * shift], n);
      EXPECT_EQ(buffer, expected) << n << " " << shift;
    }
}
