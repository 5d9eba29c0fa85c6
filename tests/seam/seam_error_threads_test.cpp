// The seam error map, its overlap count and its progress calls are the same for every thread count,
// in memory and in temporary files.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "blend/blend_context.h"
#include "platform/parallel.h"
#include "seam/seam_error.h"
#include "support/recording_tracker.h"
#include "support/storage_override.h"
#include "support/test_images.h"

namespace {

struct thread_count_guard {
  ~thread_count_guard() { set_thread_count(0); }
};

// Two overlapping placed pictures: image 1 covers the left 60 %, image 2 the right 60 %, both with
// random colours and a few transparent pixels.
dib_ptr placed_picture(int w, int h, bool left, uint32_t seed) {
  dib_ptr image(create_dib(w, h, 32));
  test_images::fill_random(image.get(), seed);
  for (int y = 0; y < h; ++y) {
    locked_row row(*image, y);
    for (int x = 0; x < w; ++x) {
      const bool covered = left ? x < w * 6 / 10 : x >= w * 4 / 10;
      if (!covered) row.bytes()[4 * x + 3] = 0;
    }
  }
  return image;
}

struct seam_run {
  std::vector<std::vector<uint8_t>> pictures;
  std::vector<int64_t> overlaps;
  std::vector<recorded_call> calls;
};

seam_run run_seam_error(bool in_files) {
  seam_run run;
  recording_tracker t;
  std::optional<force_file_storage> files;
  if (in_files) files.emplace();
  for (int level : {0, 2}) {
    blend_options options;
    options.HiPassLevel = level;
    const dib_ptr a = placed_picture(403, 311, true, 1), b = placed_picture(403, 311, false, 2);
    const dib_ptr map(a->create_blank(403, 311));
    run.overlaps.push_back(compute_seam_error(a, b, map, blend_context{options, nullptr, &t}));
    for (const dib_ptr& image : {a, b, map}) run.pictures.push_back(test_images::pixel_bytes(image.get()));
  }
  run.calls = t.calls;
  return run;
}

}  // namespace

TEST(SeamErrorThreads, SameMapOverlapAndProgressForAnyThreadCountInMemoryAndInFiles) {
  thread_count_guard guard;
  scoped_temp_dir tmp;
  set_thread_count(1);
  const seam_run alone = run_seam_error(false);
  EXPECT_GT(alone.overlaps[0], 0);
  for (int threads : {2, 4})
    for (bool in_files : {false, true}) {
      set_thread_count(threads);
      const seam_run run = run_seam_error(in_files);
      SCOPED_TRACE(::testing::Message() << threads << " threads" << (in_files ? ", files" : ""));
      EXPECT_EQ(run.overlaps, alone.overlaps);
      ASSERT_EQ(run.pictures.size(), alone.pictures.size());
      for (size_t i = 0; i < run.pictures.size(); ++i) EXPECT_TRUE(run.pictures[i] == alone.pictures[i]) << i;
      ASSERT_EQ(run.calls.size(), alone.calls.size());
      for (size_t i = 0; i < run.calls.size(); ++i) {
        EXPECT_EQ(run.calls[i].what, alone.calls[i].what) << i;
        EXPECT_EQ(run.calls[i].value, alone.calls[i].value) << i;
        EXPECT_EQ(run.calls[i].depth, alone.calls[i].depth) << i;
      }
    }
}
