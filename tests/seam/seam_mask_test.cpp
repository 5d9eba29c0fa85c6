#include "seam/seam_mask.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>

#include "dumps/debug_dumps.h"
#include "image/dib_cursor.h"
#include "image/region_copy.h"
#include "io/load_image.h"
#include "seam_maps.h"
#include "support/recording_tracker.h"
#include "support/storage_override.h"
#include "support/test_images.h"

using namespace seam_maps;
using test_images::get_pixel;
using test_images::set_pixel;

namespace {

uint8_t hash_byte(int x, int y, int salt) {
  uint32_t v = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^ salt * 83492791u;
  v ^= v >> 13;
  v *= 0x5bd1e995u;
  return static_cast<uint8_t>(v >> 15);
}

// An opaque picture; colour(x, y) gives the texture in canvas coordinates.
template <class F>
dib_ptr picture(int w, int h, int dx, int dy, F colour) {
  dib_ptr image(create_dib(w, h, 32));
  for (int y = 0; y < h; ++y) {
    locked_row row(*image, y);
    for (int x = 0; x < w; ++x) {
      const rgba8 c = colour(x + dx, y + dy);
      uint8_t* p = row.bytes() + 4 * x;
      p[B] = c.b, p[G] = c.g, p[R] = c.r, p[A] = c.a;
    }
  }
  return image;
}

rgba8 texture(int x, int y, int salt) {
  return rgba8{hash_byte(x, y, salt), hash_byte(x, y, salt + 1), hash_byte(x, y, salt + 2), 255};
}

int count_label(const recording_tracker& t, const std::string& label) {
  return static_cast<int>(std::count_if(t.calls.begin(), t.calls.end(), [&](const recorded_call& c) {
    return c.what == "begin" && c.label == label;
  }));
}

// A sink whose prefix is that of merge step `step` ("%04x_Verb_").
debug_dumps dumps_at_step(int step, bool seam_verbose) {
  debug_dumps dumps(seam_verbose, false);
  for (int i = 0; i <= step; ++i) dumps.next_prefix();
  return dumps;
}

blend_options seam_options(int max_comp, int hi_pass = 0) {
  blend_options o;
  o.MaxComp = max_comp;
  o.HiPassLevel = hi_pass;
  return o;
}

// Runs in a fresh working directory and returns to the old one on the way out.
class scoped_working_dir {
 public:
  scoped_working_dir() {
    char pattern[] = "/tmp/qm_seam_XXXXXX";
    path_ = mkdtemp(pattern);
    if (!getcwd(old_, sizeof old_) || chdir(path_.c_str()) != 0) path_.clear();
  }
  ~scoped_working_dir() {
    if (chdir(old_) != 0) return;
    std::string cmd = "rm -rf '" + path_ + "'";
    if (std::system(cmd.c_str()) != 0) return;
  }
  bool ok() const { return !path_.empty(); }
  std::vector<std::string> png_files() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(path_.c_str())) {
      while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n.size() > 4 && n.substr(n.size() - 4) == ".png") names.push_back(n);
      }
      closedir(d);
    }
    return names;
  }

 private:
  std::string path_;
  char old_[4096] = {};
};

// Notes the order in which dump files appear: the dumps are separated by progress calls.
class dump_watcher : public recording_tracker {
 public:
  explicit dump_watcher(const scoped_working_dir& dir) : dir_(dir) {}
  void set_progress(double p) override { recording_tracker::set_progress(p), look(); }
  void set_step_end(double p) override { recording_tracker::set_step_end(p), look(); }
  void begin_stage(const std::string& l) override { recording_tracker::begin_stage(l), look(); }
  void end_stage() override { recording_tracker::end_stage(), look(); }
  void look() {
    for (const std::string& n : dir_.png_files())
      if (std::find(order.begin(), order.end(), n) == order.end()) order.push_back(n);
  }
  std::vector<std::string> order;

 private:
  const scoped_working_dir& dir_;
};

// Two 40 x 30 pictures overlapping in 20 columns.
struct overlapping_pair {
  dib_ptr image1 = picture(40, 30, 0, 0, [](int x, int y) { return texture(x, y, 1); });
  dib_ptr image2 = picture(40, 30, 20, 0, [](int x, int y) { return texture(x, y, x < 30 ? 1 : 7); });
  irect limit{20, 0, 39, 29};
  irect mask{0, 0, 59, 29};
};

}  // namespace

TEST(SeamMask, HardeningPicksOneImagePerPixel) {
  dib_ptr mask(create_dib(7, 1, 32));
  const rgba8 in[7] = {{9, 200, 100, 0}, {9, 100, 200, 3}, {9, 50, 50, 255}, {9, 0, 0, 0},
                       {9, 0, 7, 0},     {9, 7, 0, 0},     {9, 255, 255, 9}};
  const rgba8 out[7] = {{9, 255, 0, 255}, {9, 0, 255, 255}, {9, 0, 255, 255}, {9, 0, 0, 255},
                        {9, 0, 255, 255}, {9, 255, 0, 255}, {9, 0, 255, 255}};
  for (int x = 0; x < 7; ++x) set_pixel(mask.get(), x, 0, in[x]);
  EXPECT_EQ(harden_seam_mask(mask, nullptr), mask);
  using test_images::operator==;
  for (int x = 0; x < 7; ++x) EXPECT_TRUE(get_pixel(mask.get(), x, 0) == out[x]) << "pixel " << x;
  EXPECT_FALSE(harden_seam_mask(dib_ptr(), nullptr));
}

TEST(SeamMask, BordersShowCoverageAndImage2Wins) {
  dib_ptr image1 = picture(4, 3, 0, 0, [](int x, int y) {
    return rgba8{1, 2, 3, uint8_t(x == 1 && y == 1 ? 0 : 255)};
  });
  dib_ptr image2 = picture(3, 3, 2, 1, [](int x, int y) {
    return rgba8{1, 2, 3, uint8_t(x == 4 && y == 3 ? 0 : 9)};
  });
  const irect mask_rect{-1, -1, 5, 4};
  dib_ptr out(create_dib(7, 6, 32));
  recording_tracker tracker;
  add_seam_borders(image1, image2, 2, 1, out, mask_rect, &tracker);
  EXPECT_EQ(tracker.depth, 0);
  EXPECT_EQ(count_label(tracker, " Add Borders"), 1);
  // Canvas rows -1..4, columns -1..5.
  EXPECT_EQ(sides(out),
            std::vector<std::string>({".......", ".1111..", ".1.222.", ".11222.", "...22..", "......."}));
  using test_images::operator==;
  EXPECT_TRUE(get_pixel(out.get(), 1, 1) == (rgba8{255, 255, 0, 255}));
  EXPECT_TRUE(get_pixel(out.get(), 3, 2) == (rgba8{255, 0, 255, 255}));
  EXPECT_TRUE(get_pixel(out.get(), 0, 0) == (rgba8{0, 0, 0, 0}));
}

TEST(SeamMask, BordersReadFloatCoverageThroughBytes) {
  dib_ptr image1(create_float_dib(3, 1));
  {
    locked_row row(*image1, 0);
    float* f = row.as<float>();
    f[3] = 1.0f;             // opaque
    f[7] = 0.5f / 255.0f;    // rounds to byte 1: covered
    f[11] = 0.49f / 255.0f;  // rounds to byte 0: not covered
  }
  dib_ptr image2(create_dib(1, 1, 32));
  dib_ptr out(create_dib(3, 1, 32));
  add_seam_borders(image1, image2, 10, 10, out, irect{0, 0, 2, 0}, nullptr);
  EXPECT_EQ(sides(out), std::vector<std::string>({"11."}));
}

TEST(SeamMask, WithoutOverlapTheMaskIsPureCoverage) {
  // Image 1 is transparent in its top-left 6 x 6 corner; image 2 lies far to the right.
  auto corner_hole = [](int x, int y) { return rgba8{200, 10, 10, uint8_t(x < 6 && y < 6 ? 0 : 255)}; };
  dib_ptr image1 = picture(10, 8, 0, 0, corner_hole);
  dib_ptr image2 = picture(6, 5, 20, 0, [](int x, int y) { return texture(x, y, 3); });
  const irect mask_rect{0, 0, 25, 7};
  // The search rectangle (-2, -2, 3, 3) clipped to the canvas: inside it the hardened
  // map marks uncovered pixels valid, outside the border pass leaves them empty.
  const std::vector<std::string> expected_rows = {"......1111..........222222", "......1111..........222222",
                                                  "......1111..........222222", "......1111..........222222",
                                                  "......1111..........222222", "......1111................",
                                                  "1111111111................", "1111111111................"};
  for (const irect limit : {irect{0, 0, 9, 7}, irect{}}) {
    dib_ptr mask = find_best_seam(image1, image2, 20, 0, limit, mask_rect, blend_context{seam_options(81920, 4), nullptr, nullptr});
    ASSERT_EQ(mask->width(), 26);
    ASSERT_EQ(mask->height(), 8);
    EXPECT_EQ(sides(mask), expected_rows);
    const std::vector<uint8_t> a = channel(mask, A);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) EXPECT_EQ(a[y * 26 + x], x < 4 && y < 4 ? 255 : 0) << x << "," << y;
  }

  // Overlapping images whose overlap lies outside the limit give the same search rectangle.
  dib_ptr near2 = picture(6, 5, 7, 3, [](int x, int y) { return texture(x, y, 3); });
  dib_ptr mask = find_best_seam(image1, near2, 7, 3, irect{0, 0, 1, 1}, irect{0, 0, 12, 7},
                                blend_context{seam_options(81920), nullptr, nullptr});
  const std::vector<uint8_t> a = channel(mask, A);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(a[y * 13 + x], x < 4 && y < 4 ? 255 : 0) << x << "," << y;
  EXPECT_EQ(sides(mask)[4], "......1222222");
}

TEST(SeamMask, SearchRectangleEqualToTheMaskNeedsNoBorders) {
  overlapping_pair p;
  // Overlap 20 x 30 widened by 3 and clipped to the canvas: (17, 0, 42, 29).
  const irect search{17, 0, 42, 29};
  recording_tracker tracker;
  dib_ptr direct = find_best_seam(p.image1, p.image2, 20, 0, p.limit, search, blend_context{seam_options(81920), nullptr, &tracker});
  EXPECT_EQ(tracker.depth, 0);
  EXPECT_EQ(count_label(tracker, " Add Borders"), 0);
  ASSERT_EQ(direct->width(), 26);
  ASSERT_EQ(direct->height(), 30);

  recording_tracker wide_tracker;
  dib_ptr wide =
      find_best_seam(p.image1, p.image2, 20, 0, p.limit, p.mask, blend_context{seam_options(81920), nullptr, &wide_tracker});
  EXPECT_EQ(count_label(wide_tracker, " Add Borders"), 1);
  // The same cut, pasted into coverage on both sides.
  const std::vector<std::string> d = sides(direct), w = sides(wide);
  for (int y = 0; y < 30; ++y) {
    EXPECT_EQ(w[y].substr(17, 26), d[y]);
    EXPECT_EQ(w[y].substr(0, 17), std::string(17, '1'));
    EXPECT_EQ(w[y].substr(43), std::string(17, '2'));
  }
}

TEST(SeamMask, FloatImagesGiveTheSameMask) {
  overlapping_pair p;
  auto to_float = [](const dib_ptr& image) {
    dib_ptr f(create_float_dib(image->width(), image->height()));
    copy_dib(image.get(), f.get(), 0, 0, nullptr);
    return f;
  };
  // A transparent notch in each image reaches into the border area.
  for (int y = 0; y < 5; ++y) set_pixel(p.image1.get(), 3, y, rgba8{});
  for (int y = 0; y < 5; ++y) set_pixel(p.image2.get(), 36, y, rgba8{});
  dib_ptr bytes = find_best_seam(p.image1, p.image2, 20, 0, p.limit, p.mask, blend_context{seam_options(81920), nullptr, nullptr});
  dib_ptr floats = find_best_seam(to_float(p.image1), to_float(p.image2), 20, 0, p.limit, p.mask,
                                  blend_context{seam_options(81920), nullptr, nullptr});
  EXPECT_EQ(floats->model(), bgra32);
  EXPECT_EQ(test_images::pixel_bytes(floats.get()), test_images::pixel_bytes(bytes.get()));
  EXPECT_EQ(sides(bytes)[2].substr(0, 5), "111.1");
  EXPECT_EQ(sides(bytes)[2].substr(54), "22.222");
}

TEST(SeamMask, OverlapOfExactlyMaxCompIsCutDirectly) {
  // Image 1 covers columns 0..7, image 2 columns 2..11: 6 x 10 = 60 overlap pixels.
  auto make_copies = [] {
    dib_ptr c1 = picture(12, 10, 0, 0, [](int x, int y) {
      return rgba8{hash_byte(x, y, 1), 9, 9, uint8_t(x < 8 ? 255 : 0)};
    });
    dib_ptr c2 = picture(12, 10, 0, 0, [](int x, int y) {
      return rgba8{hash_byte(x, y, 2), 9, 9, uint8_t(x >= 2 ? 255 : 0)};
    });
    return std::make_pair(c1, c2);
  };
  for (int max_comp : {60, 59}) {
    auto [c1, c2] = make_copies();
    dib_ptr map(c1->create_blank(12, 10));
    recording_tracker tracker;
    dib_ptr mask = search_seam_mask(c1, c2, map, blend_context{seam_options(max_comp), nullptr, &tracker});
    EXPECT_EQ(tracker.depth, 0);
    EXPECT_EQ(count_label(tracker, "Reducing of DIB") > 0, max_comp == 59) << max_comp;
    for (const std::string& row : sides(mask)) {
      EXPECT_EQ(row.find_first_not_of("12"), std::string::npos) << row;
      EXPECT_EQ(row.substr(0, 2), "11");
      EXPECT_EQ(row.substr(8), "2222");
    }
  }
}

TEST(SeamMask, CoarseToFineCutFollowsTheCheapStrip) {
  // The pictures agree only in canvas columns 57..63 of their 40-column overlap.
  dib_ptr image1 = picture(80, 80, 0, 0, [](int x, int y) { return texture(x, y, 1); });
  dib_ptr image2 =
      picture(80, 80, 40, 0, [](int x, int y) { return texture(x, y, x >= 57 && x <= 63 ? 1 : 5); });
  const irect limit{40, 0, 79, 79}, mask_rect{0, 0, 119, 79};

  auto check_rows = [](const dib_ptr& mask, bool soft_seam) {
    const std::vector<std::string> rows = sides(mask);
    for (int y = 0; y < 80; ++y) {
      const std::string& row = rows[y];
      const size_t first_not_1 = row.find_first_not_of('1');
      const size_t last_not_2 = row.find_last_not_of('2');
      ASSERT_NE(first_not_1, std::string::npos);
      EXPECT_GE(first_not_1, 56u) << "row " << y << ": " << row;
      EXPECT_LE(last_not_2, 64u) << "row " << y << ": " << row;
      if (!soft_seam) {
        EXPECT_EQ(first_not_1, last_not_2 + 1) << "row " << y << ": " << row;
      } else {
        EXPECT_LE(last_not_2 + 1 - first_not_1, 3u) << "row " << y << ": " << row;
      }
    }
  };

  // MaxComp 1100: 3200 overlap pixels are cut coarse-to-fine at full size, then hardened.
  recording_tracker tracker;
  dib_ptr mask = find_best_seam(image1, image2, 40, 0, limit, mask_rect, blend_context{seam_options(1100), nullptr, &tracker});
  EXPECT_EQ(tracker.depth, 0);
  EXPECT_GE(count_label(tracker, "Reducing of DIB"), 1);
  EXPECT_EQ(count_label(tracker, "Analizing seam region"), 2);
  check_rows(mask, false);
  for (uint8_t a : channel(mask, A)) ASSERT_EQ(a, 255);

  // The same on file-backed images gives the same bytes.
  {
    force_file_storage files;
    scoped_temp_dir tmp;
    dib_ptr f1 = picture(80, 80, 0, 0, [](int x, int y) { return texture(x, y, 1); });
    dib_ptr f2 =
        picture(80, 80, 40, 0, [](int x, int y) { return texture(x, y, x >= 57 && x <= 63 ? 1 : 5); });
    dib_ptr file_mask = find_best_seam(f1, f2, 40, 0, limit, mask_rect, blend_context{seam_options(1100), nullptr, nullptr});
    EXPECT_EQ(test_images::pixel_bytes(file_mask.get()), test_images::pixel_bytes(mask.get()));
  }

  // MaxComp 500: the 64 x 80 search is halved; the expanded mask is soft along the seam only.
  dib_ptr halved = find_best_seam(image1, image2, 40, 0, limit, mask_rect, blend_context{seam_options(500), nullptr, nullptr});
  check_rows(halved, true);
}

TEST(SeamMask, BandThatDoesNotShrinkIsLeftToHardening) {
  // Pure pixels in a checkerboard of 2 x 2 blocks: every expanded pixel mixes both images,
  // so the band (256 pixels) is not smaller than the 16 overlap pixels it started from.
  std::vector<std::string> rows(16, std::string(16, '1'));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) rows[y][x] = x < 4 && y < 4 ? 'o' : ((x / 2 + y / 2) % 2 ? '2' : '1');
  dib_ptr map = draw(rows, [](int x, int y) { return 10 + x + 16 * y; });
  const std::vector<uint8_t> map_r = channel(map, R);
  recording_tracker tracker;
  dib_ptr mask = refine_seam_coarse_to_fine(map, 16, blend_context{seam_options(10), nullptr, &tracker});
  EXPECT_EQ(tracker.depth, 0);
  EXPECT_EQ(count_label(tracker, "Analizing seam region"), 1);
  ASSERT_EQ(mask->width(), 16);
  ASSERT_EQ(mask->height(), 16);
  const std::vector<uint8_t> g = channel(mask, G), b = channel(mask, B), r = channel(mask, R);
  int band = 0;
  for (int i = 0; i < 256; ++i)
    if (g[i] > 0 && b[i] > 0) {
      ++band;
      EXPECT_EQ(r[i], map_r[i]) << "pixel " << i;
    }
  EXPECT_GE(band, 16);
  harden_seam_mask(mask, nullptr);
  for (const std::string& row : sides(mask)) EXPECT_EQ(row.find_first_not_of("12"), std::string::npos) << row;
}

TEST(SeamMask, VerboseDumpsAppearInOrder) {
  scoped_working_dir dir;
  ASSERT_TRUE(dir.ok());
  overlapping_pair p;
  const blend_options o = seam_options(81920, 2);
  debug_dumps dumps = dumps_at_step(0, true);
  dump_watcher watcher(dir);
  find_best_seam(p.image1, p.image2, 20, 0, p.limit, p.mask, blend_context{o, &dumps, &watcher});
  watcher.look();
  const std::vector<std::string> expected = {"0000_Verb__DBG_01_BestSeamDIB_1.png",
                                             "0000_Verb__DBG_01_BestSeamDIB_2.png",
                                             "0000_Verb__DBG_05_DirectError.png",
                                             "0000_Verb__DBG_02_DIB1_HighPass.png",
                                             "0000_Verb__DBG_04_DIB2_HighPass.png",
                                             "0000_Verb__DBG_06_SeamError.png",
                                             "0000_Verb__DBG_07_SeamError_Plus_DistanceError.png",
                                             "0000_Verb__DBG_09_SeamError_AlphaMask.png"};
  EXPECT_EQ(watcher.order, expected);
  // The copies are of the search rectangle (17, 0, 42, 29).
  dib_ptr copy(load_image("0000_Verb__DBG_01_BestSeamDIB_1.png", nullptr));
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->width(), 26);
  EXPECT_EQ(copy->height(), 30);
}

TEST(SeamMask, NoHighPassDumpsAtLevelZeroAndNoneWithoutVerbose) {
  scoped_working_dir dir;
  ASSERT_TRUE(dir.ok());
  overlapping_pair p;
  const blend_options o = seam_options(81920, 0);
  debug_dumps quiet = dumps_at_step(1, false);
  find_best_seam(p.image1, p.image2, 20, 0, p.limit, p.mask, blend_context{o, &quiet, nullptr});
  EXPECT_TRUE(dir.png_files().empty());

  debug_dumps before_first_step(true, false);  // before the first merge step nothing is written
  find_best_seam(p.image1, p.image2, 20, 0, p.limit, p.mask, blend_context{o, &before_first_step, nullptr});
  EXPECT_TRUE(dir.png_files().empty());

  debug_dumps dumps = dumps_at_step(1, true);
  dump_watcher watcher(dir);
  find_best_seam(p.image1, p.image2, 20, 0, p.limit, p.mask, blend_context{o, &dumps, &watcher});
  watcher.look();
  const std::vector<std::string> expected = {
      "0001_Verb__DBG_01_BestSeamDIB_1.png", "0001_Verb__DBG_01_BestSeamDIB_2.png",
      "0001_Verb__DBG_06_SeamError.png", "0001_Verb__DBG_07_SeamError_Plus_DistanceError.png",
      "0001_Verb__DBG_09_SeamError_AlphaMask.png"};
  EXPECT_EQ(watcher.order, expected);
}

TEST(SeamMask, UnwritableDumpIsSkipped) {
  scoped_working_dir dir;
  ASSERT_TRUE(dir.ok());
  ASSERT_EQ(mkdir("0002_Verb__DBG_06_SeamError.png", 0755), 0);
  overlapping_pair p;
  const blend_options o = seam_options(81920, 0);
  debug_dumps dumps = dumps_at_step(2, true);
  dib_ptr mask;
  EXPECT_NO_THROW(mask = find_best_seam(p.image1, p.image2, 20, 0, p.limit, p.mask, blend_context{o, &dumps, nullptr}));
  ASSERT_TRUE(mask);
  EXPECT_EQ(mask->width(), 60);
  struct stat st;
  EXPECT_EQ(stat("0002_Verb__DBG_07_SeamError_Plus_DistanceError.png", &st), 0);
}
