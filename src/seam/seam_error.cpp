#include "seam/seam_error.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "blend/box_filter.h"
#include "progress/progress_tracker.h"

namespace {

// Byte offsets inside a bgra32 pixel.
constexpr int B = 0, G = 1, R = 2, A = 3;

constexpr int32_t unreached_distance = 0x6FFFFFFF;
constexpr int max_relaxations = 99;

void require_seam_images(const dib_ptr& image1, const dib_ptr& image2, const dib_ptr& seam_map) {
  if (!image1 || !image2 || !seam_map) throw std::runtime_error("DIB is NULL");
  for (const dib_ptr* image : {&image1, &image2, &seam_map}) {
    if ((*image)->model() != bgra32) throw std::runtime_error("Seam images must be bgra32");
    if ((*image)->width() != seam_map->width() || (*image)->height() != seam_map->height())
      throw std::runtime_error("Seam images differ in size");
  }
}

inline int colour_distance(const uint8_t* p1, const uint8_t* p2) {
  return std::abs(p1[R] - p2[R]) + std::abs(p1[G] - p2[G]) + std::abs(p1[B] - p2[B]);
}

inline bool is_overlap(const uint8_t* m) { return m[G] > 0 && m[B] > 0; }

double row_percent(int32_t y, int32_t h) { return static_cast<double>(static_cast<int64_t>(100) * y / h); }

// Walks the two inputs and the map row by row, handing each pixel triple to `pixel`.
template <class F>
void for_each_map_pixel(dib& image1, dib& image2, dib& map, progress_tracker* progress, F pixel) {
  stage_scope stage(progress, "");
  const int32_t w = map.width(), h = map.height();
  for (int32_t y = 0; y < h; ++y) {
    locked_row row1(image1, y), row2(image2, y), out(map, y);
    const uint8_t* p1 = row1.bytes();
    const uint8_t* p2 = row2.bytes();
    uint8_t* m = out.bytes();
    for (int32_t x = 0; x < w; ++x, p1 += 4, p2 += 4, m += 4) pixel(p1, p2, m);
    stage.progress(row_percent(y, h));
  }
}

void write_direct_error(dib& image1, dib& image2, dib& map, progress_tracker* progress) {
  for_each_map_pixel(image1, image2, map, progress, [](const uint8_t* p1, const uint8_t* p2, uint8_t* m) {
    int e = (colour_distance(p1, p2) + 1) / 2;
    m[B] = 0;
    m[G] = 0;
    m[R] = static_cast<uint8_t>(std::min(e, 255));
    m[A] = 255;
  });
}

void high_pass_in_place(const dib_ptr& image, int32_t radius, progress_tracker* progress) {
  dib_ptr source(image->clone());
  high_pass_filter(source, image, radius, 1, progress);
}

int write_combined_error(dib& image1, dib& image2, dib& map, progress_tracker* progress) {
  int overlap = 0;
  for_each_map_pixel(image1, image2, map, progress, [&overlap](const uint8_t* p1, const uint8_t* p2, uint8_t* m) {
    if (p1[A] != 0 && p2[A] != 0) {
      ++overlap;
      int e = (colour_distance(p1, p2) + 3 * m[R] + 2) / 4;
      m[R] = static_cast<uint8_t>(std::min(e, 255));
      m[G] = 32;
      m[B] = 32;
      m[A] = 255;
      return;
    }
    m[G] = 0;
    m[B] = 0;
    m[A] = 0;
    if (p1[A] != 0) {
      m[R] = 255;
      m[G] = 255;
      m[A] = 255;
    }
    if (p2[A] != 0) {
      m[R] = 255;
      m[B] = 255;
      m[A] = 255;
    }
  });
  return overlap;
}

// The framed distance grid: cell (x + 1, y + 1) belongs to map pixel (x, y); the frame
// stays 0 and is never a source, so the map border does not count as a rim.
class distance_grid {
 public:
  distance_grid(int32_t w, int32_t h)
      : w_(w), h_(h), pitch_(static_cast<size_t>(w) + 2), cells_(pitch_ * (static_cast<size_t>(h) + 2), 0) {}

  int32_t* row(int32_t y) { return cells_.data() + (static_cast<size_t>(y) + 1) * pitch_ + 1; }

  int64_t forward_pass() {
    int64_t changes = 0;
    const ptrdiff_t down = static_cast<ptrdiff_t>(pitch_);
    for (int32_t y = 0; y < h_; ++y) {
      int32_t* c = row(y);
      for (int32_t x = 0; x < w_; ++x, ++c) {
        const int32_t v = *c;
        changes += relax(c[1], v + 2);
        changes += relax(c[down], v + 2);
        changes += relax(c[down + 1], v + 3);
      }
    }
    return changes;
  }

  int64_t backward_pass() {
    int64_t changes = 0;
    const ptrdiff_t up = static_cast<ptrdiff_t>(pitch_);
    for (int32_t y = h_ - 1; y >= 0; --y) {
      int32_t* c = row(y) + (w_ - 1);
      for (int32_t x = w_ - 1; x >= 0; --x, --c) {
        const int32_t v = *c;
        changes += relax(c[-1], v + 2);
        changes += relax(c[-up], v + 2);
        changes += relax(c[-up - 1], v + 3);
      }
    }
    return changes;
  }

  int32_t interior_max() {
    int32_t m = 0;
    for (int32_t y = 0; y < h_; ++y) {
      const int32_t* c = row(y);
      for (int32_t x = 0; x < w_; ++x) m = std::max(m, c[x]);
    }
    return m;
  }

 private:
  static int relax(int32_t& cell, int32_t v) {
    if (cell > v) {
      cell = v;
      return 1;
    }
    return 0;
  }

  int32_t w_, h_;
  size_t pitch_;
  std::vector<int32_t> cells_;
};

}  // namespace

int32_t high_pass_radius(int32_t width, int32_t height, int32_t level) {
  // 2^31 no longer fits the divisor; deeper levels keep the radius of level 30.
  const int32_t l = std::clamp(level, 0, 30);
  return static_cast<int32_t>(std::min(width, height) / (int64_t{1} << l)) + 1;
}

int compute_seam_error(const dib_ptr& image1, const dib_ptr& image2, const dib_ptr& seam_map,
                       const blend_context& context) {
  const blend_options& options = context.options;
  progress_tracker* const progress = context.progress;
  require_seam_images(image1, image2, seam_map);
  stage_scope stage(progress, "");
  stage.step_end(40);
  write_direct_error(*image1, *image2, *seam_map, progress);

  if (options.HiPassLevel > 0) {
    context.seam_dump("DBG_05_DirectError", seam_map);
    const int32_t radius = high_pass_radius(seam_map->width(), seam_map->height(), options.HiPassLevel);
    stage.step_end(50);
    high_pass_in_place(image1, radius, progress);
    context.seam_dump("DBG_02_DIB1_HighPass", image1);
    stage.step_end(60);
    high_pass_in_place(image2, radius, progress);
    context.seam_dump("DBG_04_DIB2_HighPass", image2);
  }

  stage.step_end(100);
  return write_combined_error(*image1, *image2, *seam_map, progress);
}

dib_ptr add_distance_error(const dib_ptr& seam_map, const blend_context& context) {
  const blend_options& options = context.options;
  progress_tracker* const progress = context.progress;
  if (!seam_map) throw std::runtime_error("DIB is NULL");
  if (seam_map->model() != bgra32) throw std::runtime_error("Seam images must be bgra32");
  stage_scope stage(progress, "");
  dib& map = *seam_map;
  const int32_t w = map.width(), h = map.height();
  distance_grid grid(w, h);

  stage.step_end(10);
  {
    stage_scope phase(progress, "");
    for (int32_t y = 0; y < h; ++y) {
      locked_row in(map, y);
      const uint8_t* m = in.bytes();
      int32_t* c = grid.row(y);
      for (int32_t x = 0; x < w; ++x, m += 4)
        if (is_overlap(m)) c[x] = unreached_distance;
      phase.progress(row_percent(y, h));
    }
  }

  stage.step_end(80);
  {
    stage_scope phase(progress, "");
    double t = 0;
    for (int iteration = 0; iteration < max_relaxations; ++iteration) {
      t += (100 - t) * 0.25;
      phase.step_end(t);
      int64_t changes = grid.forward_pass();
      t += (100 - t) * 0.25;
      phase.step_end(t);
      changes += grid.backward_pass();
      if (changes == 0) break;
    }
  }

  stage.step_end(90);
  int32_t farthest;
  {
    stage_scope phase(progress, "");
    farthest = grid.interior_max();
  }

  stage.step_end(100);
  {
    stage_scope phase(progress, "");
    // Without overlap pixels there is no distance to scale by.
    if (farthest > 0) {
      const float f = 1.0f / static_cast<float>(farthest);
      const float der = options.DER;
      const float keep = 1.0f - der;
      const float rim = 255.0f * options.DEC;
      for (int32_t y = 0; y < h; ++y) {
        locked_row out(map, y);
        uint8_t* m = out.bytes();
        const int32_t* c = grid.row(y);
        for (int32_t x = 0; x < w; ++x, m += 4) {
          if (!is_overlap(m)) continue;
          const float t = 1.0f - static_cast<float>(c[x]) * f;
          const float c4 = ((t * t) * t) * t;
          float e = (der * c4 + keep) * static_cast<float>(m[R]) + c4 * rim;
          if (e > 255.0f) e = 255.0f;
          m[R] = static_cast<uint8_t>(static_cast<int>(e));
        }
        phase.progress(row_percent(y, h));
      }
    }
  }
  return seam_map;
}
