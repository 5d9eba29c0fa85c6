#include "seam/seam_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <queue>
#include <random>

#include "blend/box_filter.h"
#include "image/dib_cursor.h"
#include "platform/parallel.h"
#include "seam_maps.h"
#include "support/recording_tracker.h"
#include "support/test_images.h"

using namespace seam_maps;

namespace {

blend_options options_with(int hi_pass, float der = 0.25f, float dec = 24.0f / 255.0f) {
  blend_options o;
  o.HiPassLevel = hi_pass;
  o.DER = der;
  o.DEC = dec;
  return o;
}

dib_ptr random_image(int w, int h, uint32_t seed) {
  dib_ptr image(create_dib(w, h, 32));
  test_images::fill_random(image.get(), seed);
  return image;
}

dib_ptr copy_of(const dib_ptr& image) { return dib_ptr(image->clone()); }

// The seam map straight from the formulas, pixel by pixel through cursors.
struct reference_map {
  std::vector<rgba8> pixels;
  int overlap = 0;
};

reference_map reference_seam_error(const dib_ptr& image1, const dib_ptr& image2, int radius) {
  const int w = image1->width(), h = image1->height();
  dib_ptr f1 = copy_of(image1), f2 = copy_of(image2);
  if (radius > 0) {
    high_pass_filter(copy_of(image1), f1, radius, 1, nullptr);
    high_pass_filter(copy_of(image2), f2, radius, 1, nullptr);
  }
  reference_map out;
  cursor_handle c1 = make_cursor(image1.get()), c2 = make_cursor(image2.get());
  cursor_handle h1 = make_cursor(f1.get()), h2 = make_cursor(f2.get());
  for (int y = 0; y < h; ++y) {
    c1->move_to(0, y), c2->move_to(0, y), h1->move_to(0, y), h2->move_to(0, y);
    for (int x = 0; x < w; ++x) {
      rgba8 p1, p2, q1, q2;
      c1->get_bytes(p1), c2->get_bytes(p2), h1->get_bytes(q1), h2->get_bytes(q2);
      c1->next_pixel(), c2->next_pixel(), h1->next_pixel(), h2->next_pixel();
      const int d = std::abs(p1.r - p2.r) + std::abs(p1.g - p2.g) + std::abs(p1.b - p2.b);
      const int direct = std::min((d + 1) / 2, 255);
      rgba8 m;
      if (p1.a != 0 && p2.a != 0) {
        ++out.overlap;
        const int hd = std::abs(q1.r - q2.r) + std::abs(q1.g - q2.g) + std::abs(q1.b - q2.b);
        m = rgba8{static_cast<uint8_t>(std::min((hd + 3 * direct + 2) / 4, 255)), 32, 32, 255};
      } else {
        m = rgba8{static_cast<uint8_t>(direct), 0, 0, 0};
        if (p1.a != 0) m.r = 255, m.g = 255, m.a = 255;
        if (p2.a != 0) m.r = 255, m.b = 255, m.a = 255;
      }
      out.pixels.push_back(m);
    }
  }
  return out;
}

std::vector<rgba8> map_pixels(const dib_ptr& map) {
  std::vector<rgba8> out;
  for (int y = 0; y < map->height(); ++y)
    for (int x = 0; x < map->width(); ++x) out.push_back(test_images::get_pixel(map.get(), x, y));
  return out;
}

void expect_same_pixels(const std::vector<rgba8>& a, const std::vector<rgba8>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(a[i].r, b[i].r) << "pixel " << i;
    ASSERT_EQ(a[i].g, b[i].g) << "pixel " << i;
    ASSERT_EQ(a[i].b, b[i].b) << "pixel " << i;
    ASSERT_EQ(a[i].a, b[i].a) << "pixel " << i;
  }
}

// Shortest distances to a non-overlap pixel: steps of 2 across an edge, 3 along the
// up-left/down-right diagonal; unreachable pixels keep 0x6FFFFFFF.
std::vector<int32_t> reference_distances(const std::vector<std::string>& rows) {
  const int h = static_cast<int>(rows.size()), w = static_cast<int>(rows[0].size());
  std::vector<int32_t> d(w * h, 0x6FFFFFFF);
  using item = std::pair<int32_t, int>;
  std::priority_queue<item, std::vector<item>, std::greater<item>> q;
  for (int i = 0; i < w * h; ++i)
    if (rows[i / w][i % w] != 'o') d[i] = 0, q.push({0, i});
  const int steps[6][3] = {{1, 0, 2}, {-1, 0, 2}, {0, 1, 2}, {0, -1, 2}, {1, 1, 3}, {-1, -1, 3}};
  while (!q.empty()) {
    auto [dist, i] = q.top();
    q.pop();
    if (dist > d[i]) continue;
    for (const auto& s : steps) {
      const int x = i % w + s[0], y = i / w + s[1];
      if (x < 0 || y < 0 || x >= w || y >= h) continue;
      if (dist + s[2] < d[y * w + x]) d[y * w + x] = dist + s[2], q.push({dist + s[2], y * w + x});
    }
  }
  return d;
}

// The distance term in single precision, in the order the merge relies on.
int distance_term(int e, int32_t d, int32_t m, float der, float dec) {
  const float f = 1.0f / static_cast<float>(m);
  const float t = 1.0f - static_cast<float>(d) * f;
  const float c = ((t * t) * t) * t;
  float v = (der * c + (1.0f - der)) * static_cast<float>(e) + c * (255.0f * dec);
  if (v > 255.0f) v = 255.0f;
  return static_cast<int>(v);
}

std::vector<uint8_t> expected_after_distance(const std::vector<std::string>& rows,
                                             const std::vector<uint8_t>& r, float der, float dec) {
  const std::vector<int32_t> d = reference_distances(rows);
  const int32_t m = *std::max_element(d.begin(), d.end());
  std::vector<uint8_t> out = r;
  const int w = static_cast<int>(rows[0].size());
  for (size_t i = 0; i < out.size(); ++i)
    if (rows[i / w][i % w] == 'o') out[i] = static_cast<uint8_t>(distance_term(r[i], d[i], m, der, dec));
  return out;
}

std::vector<std::string> random_pattern(std::mt19937& rng, int w, int h, int overlap_percent) {
  std::vector<std::string> rows(h, std::string(w, 'o'));
  for (auto& row : rows)
    for (char& c : row)
      if (static_cast<int>(rng() % 100) >= overlap_percent) c = "12."[rng() % 3];
  return rows;
}

}  // namespace

TEST(SeamError, MatchesTheFormulasWithoutHighPass) {
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    dib_ptr a = random_image(23 + seed, 17, seed), b = random_image(23 + seed, 17, seed * 31);
    const reference_map ref = reference_seam_error(a, b, 0);
    dib_ptr map(a->create_blank(a->width(), a->height()));
    EXPECT_EQ(compute_seam_error(a, b, map, blend_context{options_with(0), nullptr, nullptr}), ref.overlap);
    expect_same_pixels(map_pixels(map), ref.pixels);
  }
}

TEST(SeamError, MatchesTheFormulasWithHighPass) {
  for (int level : {1, 2, 3}) {
    dib_ptr a = random_image(40, 29, 7 + level), b = random_image(40, 29, 70 + level);
    const int radius = 29 / (1 << level) + 1;
    const reference_map ref = reference_seam_error(a, b, radius);
    dib_ptr filtered_a = copy_of(a);
    high_pass_filter(copy_of(a), filtered_a, radius, 1, nullptr);

    dib_ptr map(a->create_blank(40, 29));
    recording_tracker tracker;
    EXPECT_EQ(compute_seam_error(a, b, map, blend_context{options_with(level), nullptr, &tracker}), ref.overlap);
    EXPECT_EQ(tracker.depth, 0);
    expect_same_pixels(map_pixels(map), ref.pixels);
    // The inputs are left filtered.
    EXPECT_EQ(test_images::pixel_bytes(a.get()), test_images::pixel_bytes(filtered_a.get()));
  }
}

TEST(SeamError, DeepHighPassLevelsKeepRadiusOne) {
  EXPECT_EQ(high_pass_radius(5000, 3000, 40), 1);
  EXPECT_EQ(high_pass_radius(2000000000, 2000000000, 31), 2);  // level 30: 2e9 / 2^30 + 1
  EXPECT_EQ(high_pass_radius(2000000000, 2000000000, 30), 2);
  EXPECT_EQ(high_pass_radius(64, 100, 4), 5);
  dib_ptr a = random_image(12, 9, 3), b = random_image(12, 9, 4);
  const reference_map ref = reference_seam_error(a, b, 1);
  dib_ptr map(a->create_blank(12, 9));
  EXPECT_EQ(compute_seam_error(a, b, map, blend_context{options_with(40), nullptr, nullptr}), ref.overlap);
  expect_same_pixels(map_pixels(map), ref.pixels);
}

TEST(SeamError, CoverageAndOverlapClasses) {
  // Image 1 covers the left three columns, image 2 the right three: one shared column.
  dib_ptr a(create_dib(5, 2, 32)), b(create_dib(5, 2, 32));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) {
      test_images::set_pixel(a.get(), x, y, rgba8{10, 20, 30, static_cast<uint8_t>(x < 3 ? 255 : 0)});
      test_images::set_pixel(b.get(), x, y, rgba8{13, 20, 30, static_cast<uint8_t>(x >= 2 ? 1 : 0)});
    }
  dib_ptr map(a->create_blank(5, 2));
  EXPECT_EQ(compute_seam_error(a, b, map, blend_context{options_with(0), nullptr, nullptr}), 2);
  EXPECT_EQ(sides(map), std::vector<std::string>(2, "11o22"));
  using test_images::operator==;
  // d = 3: direct (3 + 1) / 2 = 2, combined (3 + 3 * 2 + 2) / 4 = 2.
  EXPECT_TRUE(test_images::get_pixel(map.get(), 2, 1) == (rgba8{2, 32, 32, 255}));
  EXPECT_TRUE(test_images::get_pixel(map.get(), 0, 0) == (rgba8{255, 255, 0, 255}));
  EXPECT_TRUE(test_images::get_pixel(map.get(), 4, 0) == (rgba8{255, 0, 255, 255}));
}

TEST(SeamError, IdenticalInputsLeaveOnlyTheDistanceTerm) {
  // Both images lack the left five columns, so the overlap has a rim there.
  dib_ptr a(create_dib(30, 20, 32));
  test_images::fill_random(a.get(), 9);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) {
      rgba8 p = test_images::get_pixel(a.get(), x, y);
      p.a = x < 5 ? 0 : 255;
      test_images::set_pixel(a.get(), x, y, p);
    }
  dib_ptr b = copy_of(a);
  dib_ptr map(a->create_blank(30, 20));
  EXPECT_EQ(compute_seam_error(a, b, map, blend_context{options_with(4), nullptr, nullptr}), 25 * 20);
  const std::vector<uint8_t> r = channel(map, R);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_EQ(r[y * 30 + x], 0);
  add_distance_error(map, blend_context{options_with(4), nullptr, nullptr});
  const std::vector<uint8_t> after = channel(map, R);
  // Rim column: 24 * (1 - 2/50)^4 = 20.38; the farthest column 29 (distance 50): 0.
  for (int y = 0; y < 20; ++y) {
    EXPECT_EQ(after[y * 30 + 5], 20);
    EXPECT_EQ(after[y * 30 + 29], 0);
    EXPECT_EQ(after[y * 30 + 0], 0);
  }
}

TEST(SeamDistance, NeighboursDiagonalsAndTheBorder) {
  // Distances around the one non-overlap pixel in the middle, worked out by hand: 2 beside
  // it, 3 on the up-left/down-right diagonal, 4 on the other diagonal; the border of the
  // map is no source.
  const std::vector<std::string> rows = {"ooooo", "ooooo", "oo2oo", "ooooo", "ooooo"};
  const int distances[25] = {6, 5, 4, 6, 8, 5, 3, 2, 4, 6, 4, 2, 0, 2, 4, 6, 4, 2, 3, 5, 8, 6, 4, 5, 6};
  dib_ptr map = draw(rows, [](int, int) { return 255; });
  add_distance_error(map, blend_context{options_with(4, 1.0f, 0.0f), nullptr, nullptr});
  const std::vector<uint8_t> r = channel(map, R);
  for (int i = 0; i < 25; ++i) {
    if (i == 12) continue;
    EXPECT_EQ(r[i], distance_term(255, distances[i], 8, 1.0f, 0.0f)) << "pixel " << i;
  }
  EXPECT_EQ(r[12], 255);
  EXPECT_EQ(r[0], 0);   // 255 * (1/4)^4 = 0.996
  EXPECT_EQ(r[7], 80);  // 255 * (3/4)^4 = 80.68
  EXPECT_EQ(r[6], 38);  // 255 * (5/8)^4 = 38.9
}

TEST(SeamDistance, MatchesShortestPathsOnRandomMaps) {
  std::mt19937 rng(4242);
  for (int round = 0; round < 200; ++round) {
    const int w = 1 + static_cast<int>(rng() % 40), h = 1 + static_cast<int>(rng() % 30);
    const std::vector<std::string> rows = random_pattern(rng, w, h, 80 + static_cast<int>(rng() % 21));
    std::vector<int> err(w * h);
    for (int& e : err) e = static_cast<int>(rng() % 256);
    dib_ptr map = draw(rows, [&](int x, int y) { return err[y * w + x]; });
    const float der = static_cast<float>(rng() % 101) / 100.0f,
                dec = static_cast<float>(rng() % 101) / 100.0f;
    blend_options o = options_with(4, der, dec);
    const std::vector<uint8_t> g = channel(map, G), b = channel(map, B), a = channel(map, A);
    const std::vector<uint8_t> expected = expected_after_distance(rows, channel(map, R), der, dec);
    EXPECT_EQ(add_distance_error(map, blend_context{o, nullptr, nullptr}), map);
    ASSERT_EQ(channel(map, R), expected) << "round " << round;
    ASSERT_EQ(channel(map, G), g);
    ASSERT_EQ(channel(map, B), b);
    ASSERT_EQ(channel(map, A), a);
  }
}

TEST(SeamDistance, SlowlyConvergingShapes) {
  // A staircase along the unused diagonal needs several forward/backward iterations.
  std::vector<std::string> rows(40, std::string(40, 'o'));
  for (int k = 0; k < 40; ++k) rows[k][39 - k] = '.';
  rows[39][0] = 'o';
  for (int y = 0; y < 40; y += 3) rows[y][(y * 7) % 40] = '1';
  dib_ptr map = draw(rows, [](int x, int y) { return (x * 13 + y * 7) % 256; });
  const std::vector<uint8_t> expected = expected_after_distance(rows, channel(map, R), 0.25f, 24.0f / 255.0f);
  recording_tracker tracker;
  add_distance_error(map, blend_context{options_with(4), nullptr, &tracker});
  EXPECT_EQ(channel(map, R), expected);
  EXPECT_EQ(tracker.depth, 0);
}

TEST(SeamDistance, OnlyOverlapPixelsKeepThreeQuartersOfTheError) {
  const std::vector<std::string> rows(6, "oooooooo");
  dib_ptr map = draw(rows, [](int x, int y) { return x * 31 + y; });
  add_distance_error(map, blend_context{options_with(4), nullptr, nullptr});
  const std::vector<uint8_t> r = channel(map, R);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(r[y * 8 + x], (x * 31 + y) * 3 / 4) << x << "," << y;
}

TEST(SeamDistance, NothingChangesWithoutOverlapOrWithoutWeights) {
  dib_ptr map = draw({"1122..", "..21.1"}, [](int x, int y) { return 40 * x + y; });
  const std::vector<uint8_t> before = test_images::pixel_bytes(map.get());
  add_distance_error(map, blend_context{options_with(4, 1.0f, 1.0f), nullptr, nullptr});
  EXPECT_EQ(test_images::pixel_bytes(map.get()), before);

  map = draw({"1ooo2", "1ooo2", "1ooo2"}, [](int x, int y) { return 40 * x + y; });
  const std::vector<uint8_t> r = channel(map, R);
  add_distance_error(map, blend_context{options_with(4, 0.0f, 0.0f), nullptr, nullptr});
  EXPECT_EQ(channel(map, R), r);
}

TEST(SeamDistance, FullWeightEmptiesTheFarthestPixel) {
  // Distances 2, 4, 6, 4, 2 across the row: the middle pixel is the farthest.
  dib_ptr map = draw({"1ooooo2"}, [](int, int) { return 200; });
  add_distance_error(map, blend_context{options_with(4, 1.0f, 0.0f), nullptr, nullptr});
  const std::vector<uint8_t> r = channel(map, R);
  EXPECT_EQ(r[3], 0);
  EXPECT_EQ(r[1], 39);  // 200 * (2/3)^4 = 39.5
  EXPECT_EQ(r[2], 2);   // 200 * (1/3)^4 = 2.47
  EXPECT_EQ(r[5], r[1]);
}

TEST(SeamDistance, SinglePrecisionDecidesTheByte) {
  // Distance 2 of 6 with the defaults: exactly (c/4 + 3/4) * 228 + 24c = 81c + 171 = 187
  // for c = (2/3)^4, but single precision lands just below and truncates to 186.
  dib_ptr map = draw({"1ooooo2"}, [](int, int) { return 228; });
  add_distance_error(map, blend_context{options_with(4), nullptr, nullptr});
  EXPECT_EQ(channel(map, R)[1], 186);
  EXPECT_EQ(channel(map, R)[5], 186);
}

namespace {
// A canvas of any height whose rows are all one row in memory, as a sparse file-backed
// canvas is for the arithmetic: its pixel count can pass 2^31 at the cost of one row.
class one_row_canvas : public dib {
 public:
  one_row_canvas(int32_t width, int32_t height) : width_(width), height_(height), row_(size_t{4} * width) {}
  dib* create_blank(int32_t w, int32_t h) const override { return new one_row_canvas(w, h); }
  dib* clone() const override { return new one_row_canvas(*this); }
  void destroy() override { delete this; }
  uint8_t* data() override { return row_.data(); }
  uint8_t* lock_row(int32_t) override { return row_.data(); }
  void unlock_row(int32_t) override {}
  int width() const override { return width_; }
  int height() const override { return height_; }
  int stride() const override { return 4 * width_; }
  int bits_per_pixel() const override { return 32; }
  dib_cursor* create_cursor() override { return new dib_cursor_bgra32(this); }
  int channels() const override { return 4; }
  color_model model() const override { return bgra32; }

 private:
  int32_t width_, height_;
  std::vector<uint8_t> row_;
};
}  // namespace

TEST(SeamErrorCount, AnOverlapPast32BitsIsCountedExactly) {
  constexpr int32_t w = 1 << 16, h = 34000, uncovered = 1000;
  dib_ptr a(new one_row_canvas(w, h)), b(new one_row_canvas(w, h)), map(new one_row_canvas(w, h));
  // One thread: the shared map row would bounce between the cores' caches.
  set_thread_count(1);
  std::fill(a->data(), a->data() + 4 * w, uint8_t{255});
  std::fill(b->data() + 4 * uncovered, b->data() + 4 * w, uint8_t{255});
  // 64536 * 34000 = 2 194 224 000 overlap pixels: past 2^31, where an int count turns negative.
  EXPECT_EQ(compute_seam_error(a, b, map, blend_context{options_with(0), nullptr, nullptr}),
            int64_t{w - uncovered} * h);
  set_thread_count(0);
}
