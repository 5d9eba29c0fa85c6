#include "seam/seam_error.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <vector>

#include "blend/box_filter.h"
#include "blend/seam_pixel.h"
#include "platform/parallel.h"
#include "platform/internal_error.h"
#include "progress/progress_tracker.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Byte offsets inside a bgra32 pixel of the two inputs; the map's bytes are a seam_pixel's.
constexpr int B = 0, G = 1, R = 2, A = 3;

constexpr int32_t unreached_distance = 0x6FFFFFFF;
constexpr int max_relaxations = 99;

void require_seam_images(const dib_ptr& image1, const dib_ptr& image2, const dib_ptr& seam_map) {
  QM_ASSERT(image1 && image2 && seam_map);
  for (const dib_ptr* image : {&image1, &image2, &seam_map}) {
    QM_ASSERT((*image)->model() == bgra32);
    QM_ASSERT((*image)->width() == seam_map->width() && (*image)->height() == seam_map->height());
  }
}

inline int colour_distance(const uint8_t* p1, const uint8_t* p2) {
  return std::abs(p1[R] - p2[R]) + std::abs(p1[G] - p2[G]) + std::abs(p1[B] - p2[B]);
}

double row_percent(int32_t y, int32_t h) { return static_cast<double>(static_cast<int64_t>(100) * y / h); }

// Rows per block of work: about 32768 pixels, so that a block outweighs handing it to another thread.
int32_t rows_per_block(int32_t width) {
  return static_cast<int32_t>(std::clamp<int64_t>((int64_t{1} << 15) / std::max(width, 1), 1, 1 << 16));
}

// Walks the two inputs and the map row by row, handing each row triple to `row`, which returns a
// count; rows are independent, so blocks of them run on the worker threads. Returns the sum of the
// counts; the progress of each row is reported on the calling thread in row order.
template <class F>
int64_t for_each_map_row(dib& image1, dib& image2, dib& map, progress_tracker* progress, F row) {
  stage_scope stage(progress, "");
  const int32_t w = map.width(), h = map.height();
  std::atomic<int64_t> total{0};
  parallel_rows(
      h, rows_per_block(w),
      [&](int32_t y0, int32_t y1) {
        int64_t count = 0;
        for (int32_t y = y0; y < y1; ++y) {
          locked_row row1(image1, y), row2(image2, y), out(map, y);
          count += row(row1.bytes(), row2.bytes(), out.bytes(), w);
        }
        total += count;
      },
      [&](int32_t y) { stage.progress(row_percent(y, h)); });
  return total;
}

#if defined(__SSE2__)
// Sum of |p1 - p2| over blue, green and red of four pixels, one per 32-bit lane.
inline __m128i colour_distance4(__m128i p1, __m128i p2) {
  const __m128i low = _mm_set1_epi32(255);
  const __m128i d = _mm_or_si128(_mm_subs_epu8(p1, p2), _mm_subs_epu8(p2, p1));
  return _mm_add_epi32(_mm_add_epi32(_mm_and_si128(d, low), _mm_and_si128(_mm_srli_epi32(d, 8), low)),
                       _mm_and_si128(_mm_srli_epi32(d, 16), low));
}

inline __m128i min255(__m128i v) {
  const __m128i low = _mm_set1_epi32(255);
  const __m128i over = _mm_cmpgt_epi32(v, low);
  return _mm_or_si128(_mm_and_si128(over, low), _mm_andnot_si128(over, v));
}

inline __m128i select(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Four map pixels of these bytes.
inline __m128i map_lanes(uint8_t cost, uint8_t image1, uint8_t image2, uint8_t valid) {
  return _mm_set1_epi32(static_cast<int32_t>(seam_pixel::lane(cost, image1, image2, valid)));
}
#endif

void write_direct_error(dib& image1, dib& image2, dib& map, progress_tracker* progress) {
  for_each_map_row(
      image1, image2, map, progress, [](const uint8_t* p1, const uint8_t* p2, uint8_t* m, int32_t w) {
        int32_t x = 0;
#if defined(__SSE2__)
        for (; x + 4 <= w; x += 4) {
          const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p1 + 4 * x));
          const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p2 + 4 * x));
          const __m128i e =
              min255(_mm_srli_epi32(_mm_add_epi32(colour_distance4(a, b), _mm_set1_epi32(1)), 1));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(m + 4 * x),
                           _mm_or_si128(_mm_slli_epi32(e, seam_pixel::cost_shift), map_lanes(0, 0, 0, 255)));
        }
#endif
        for (; x < w; ++x) {
          int e = (colour_distance(p1 + 4 * x, p2 + 4 * x) + 1) / 2;
          seam_pixel(m + 4 * x).set(static_cast<uint8_t>(std::min(e, 255)), 0, 0, 255);
        }
        return int64_t{0};
      });
}

void high_pass_in_place(const dib_ptr& image, int32_t radius, progress_tracker* progress) {
  dib_ptr source(image->clone());
  high_pass_filter(source, image, radius, 1, progress);
}

// Overlap pixels (both inputs opaque) mix the colour distance with the direct error; elsewhere the map
// marks which input covers the pixel (full cost and that input's full share) and keeps its cost where
// neither does.
int64_t write_combined_error(dib& image1, dib& image2, dib& map, progress_tracker* progress) {
  return for_each_map_row(
      image1, image2, map, progress, [](const uint8_t* p1, const uint8_t* p2, uint8_t* m, int32_t w) {
        int64_t count = 0;
        int32_t x = 0;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi32(-1);
        for (; x + 4 <= w; x += 4) {
          const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p1 + 4 * x));
          const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p2 + 4 * x));
          const __m128i mv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + 4 * x));
          const __m128i in1 = _mm_xor_si128(_mm_cmpeq_epi32(_mm_srli_epi32(a, 24), zero), ones);
          const __m128i in2 = _mm_xor_si128(_mm_cmpeq_epi32(_mm_srli_epi32(b, 24), zero), ones);
          const __m128i both = _mm_and_si128(in1, in2), any = _mm_or_si128(in1, in2);
          const __m128i cost = _mm_and_si128(_mm_srli_epi32(mv, seam_pixel::cost_shift), _mm_set1_epi32(255));
          const __m128i sum = _mm_add_epi32(_mm_add_epi32(colour_distance4(a, b), _mm_set1_epi32(2)),
                                            _mm_add_epi32(cost, _mm_add_epi32(cost, cost)));
          const __m128i mixed = _mm_or_si128(_mm_slli_epi32(min255(_mm_srli_epi32(sum, 2)), seam_pixel::cost_shift),
                                             map_lanes(0, 32, 32, 255));
          const __m128i covered =
              _mm_or_si128(map_lanes(255, 0, 0, 255), _mm_or_si128(_mm_and_si128(in1, map_lanes(0, 255, 0, 0)),
                                                                   _mm_and_si128(in2, map_lanes(0, 0, 255, 0))));
          const __m128i kept = _mm_and_si128(mv, map_lanes(255, 0, 0, 0));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(m + 4 * x),
                           select(both, mixed, select(any, covered, kept)));
          count += __builtin_popcount(static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(both))));
        }
#endif
        for (; x < w; ++x) {
          const uint8_t* q1 = p1 + 4 * x;
          const uint8_t* q2 = p2 + 4 * x;
          const seam_pixel o(m + 4 * x);
          const bool in1 = q1[A] != 0, in2 = q2[A] != 0;
          if (in1 && in2) {
            ++count;
            int e = (colour_distance(q1, q2) + 3 * o.cost() + 2) / 4;
            o.set(static_cast<uint8_t>(std::min(e, 255)), 32, 32, 255);
          } else if (in1 || in2) {
            o.set(255, in1 ? 255 : 0, in2 ? 255 : 0, 255);
          } else {
            o.set_shares(0, 0);
            o.set_valid(0);
          }
        }
        return count;
      });
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

int64_t compute_seam_error(const dib_ptr& image1, const dib_ptr& image2, const dib_ptr& seam_map,
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
  QM_ASSERT(seam_map && seam_map->model() == bgra32);
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
        if (const_seam_pixel(m).in_overlap()) c[x] = unreached_distance;
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
          const seam_pixel p(m);
          if (!p.in_overlap()) continue;
          const float t = 1.0f - static_cast<float>(c[x]) * f;
          const float c4 = ((t * t) * t) * t;
          float e = (der * c4 + keep) * static_cast<float>(p.cost()) + c4 * rim;
          if (e > 255.0f) e = 255.0f;
          p.set_cost(static_cast<uint8_t>(static_cast<int>(e)));
        }
        phase.progress(row_percent(y, h));
      }
    }
  }
  return seam_map;
}
