#include "blend/box_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/parallel.h"
#include "progress/progress_tracker.h"
#include "platform/internal_error.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace {

// Truncating quotient through doubles: both operands, and the quotient's distance to the next integer
// (at least 1/den), survive the rounding while |num| < 2^53, so this equals the integer division.
inline int64_t div_trunc(int64_t num, int64_t den) {
  return static_cast<int64_t>(static_cast<double>(num) / static_cast<double>(den));
}

inline uint8_t clamp_byte(int64_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// div_trunc of two numerators by one divisor: the same two double divisions, side by side.
inline void div_trunc2(int64_t num0, int64_t num1, int64_t den, int64_t& q0, int64_t& q1) {
#if defined(__SSE2__)
  const __m128d q = _mm_div_pd(_mm_set_pd(static_cast<double>(num1), static_cast<double>(num0)),
                               _mm_set1_pd(static_cast<double>(den)));
  q0 = static_cast<int64_t>(_mm_cvtsd_f64(q));
  q1 = static_cast<int64_t>(_mm_cvtsd_f64(_mm_unpackhi_pd(q, q)));
#else
  q0 = div_trunc(num0, den);
  q1 = div_trunc(num1, den);
#endif
}

// Adds (sign +1) or removes (sign -1) one source row from the per-column records B, G, R, count.
// Transparent pixels are masked out rather than branched over, so that the loop vectorises.
template <int step, class col_t, int sign>
void accumulate_row(const uint8_t* row, col_t* col, int32_t width) {
  for (int32_t j = 0; j < width; ++j) {
    const uint8_t* p = row + step * j;
    const col_t taken = step == 4 ? -static_cast<col_t>(p[step - 1] != 0) : -1;
    col_t* c = col + 4 * j;
    if constexpr (sign > 0) {
      c[0] += p[0] & taken;
      c[1] += p[1] & taken;
      c[2] += p[2] & taken;
      c[3] -= taken;
    } else {
      c[0] -= p[0] & taken;
      c[1] -= p[1] & taken;
      c[2] -= p[2] & taken;
      c[3] += taken;
    }
  }
}

template <class sum_t>
struct window_sum {
  sum_t b = 0, g = 0, r = 0, n = 0;
};

// Colour 0 where the source pixel is transparent, alpha copied; bgr24 has no alpha to care about.
template <int step>
inline bool transparent_out(const uint8_t* s, uint8_t* d) {
  if constexpr (step == 4) {
    if (s[3] == 0) {
      d[0] = d[1] = d[2] = d[3] = 0;
      return true;
    }
    d[3] = s[3];
  }
  (void)s;
  (void)d;
  return false;
}

template <int step>
struct low_pass_out {
  template <class sum_t>
  void operator()(const uint8_t* s, uint8_t* d, const window_sum<sum_t>& w) const {
    if (transparent_out<step>(s, d)) return;
    const int64_t half = w.n / 2;
    int64_t b, g;
    div_trunc2(w.b + half, w.g + half, w.n, b, g);
    d[0] = clamp_byte(b);
    d[1] = clamp_byte(g);
    d[2] = clamp_byte(div_trunc(w.r + half, w.n));
  }
};

// wide: the product (n*s + n/2 - S) * gain may leave the range where div_trunc is exact.
template <int step, bool wide>
struct high_pass_out {
  int32_t gain;

  // The product (n*s + n/2 - S) * gain, or none where the output saturates.
  bool product(int64_t s, int64_t sum, int64_t n, int64_t& p, uint8_t& saturated) const {
    const int64_t diff = n * s + n / 2 - sum;
    if constexpr (wide) {
      // |diff * gain| >= 2^52 exceeds 129 * n for any image that fits in memory: the output saturates.
      const double approx = static_cast<double>(diff) * gain;
      if (approx >= 0x1p52) return saturated = 255, false;
      if (approx <= -0x1p52) return saturated = 0, false;
    }
    p = diff * gain;
    return true;
  }
  template <class sum_t>
  void operator()(const uint8_t* s, uint8_t* d, const window_sum<sum_t>& w) const {
    if (transparent_out<step>(s, d)) return;
    int64_t pb = 0, pg = 0, pr = 0;
    const bool b = product(s[0], w.b, w.n, pb, d[0]), g = product(s[1], w.g, w.n, pg, d[1]);
    if (b && g) {
      int64_t qb, qg;
      div_trunc2(pb, pg, w.n, qb, qg);
      d[0] = clamp_byte(qb + 127);
      d[1] = clamp_byte(qg + 127);
    } else {
      if (b) d[0] = clamp_byte(div_trunc(pb, w.n) + 127);
      if (g) d[1] = clamp_byte(div_trunc(pg, w.n) + 127);
    }
    if (product(s[2], w.r, w.n, pr, d[2])) d[2] = clamp_byte(div_trunc(pr, w.n) + 127);
  }
};

// Column sums of the rows around one output row, handed from block to block: a block that starts
// where another one ended continues from its sums (the plain one-row-at-a-time loop of a single thread
// thus costs no more than a running sum), any other block sums its window afresh. The sums are exact
// integers, so they do not depend on the way they were reached.
template <class col_t>
class column_sums_pool {
 public:
  struct sums {
    std::vector<col_t> col;
    int32_t next_row = -1;  // the output row whose window col holds, -1 if none
  };

  explicit column_sums_pool(int32_t width) : width_(width) {}

  // Sums for output row y: the idle one that ended at y if any, else any idle one, else a new one.
  std::unique_ptr<sums> take(int32_t y) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = std::find_if(idle_.begin(), idle_.end(), [y](const auto& s) { return s->next_row == y; });
    if (found == idle_.end() && !idle_.empty()) found = idle_.end() - 1;
    if (found == idle_.end()) {
      auto fresh = std::make_unique<sums>();
      fresh->col.assign(4 * static_cast<size_t>(width_), 0);
      return fresh;
    }
    std::unique_ptr<sums> taken = std::move(*found);
    idle_.erase(found);
    return taken;
  }
  void give_back(std::unique_ptr<sums> s) {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(std::move(s));
  }

 private:
  int32_t width_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<sums>> idle_;
};

// One output row from the column sums: a window of 2 rh + 1 columns slides along the row. Everything
// the loop uses is a parameter or a local, so that the stores through the byte pointer d, which may
// alias anything, do not force reloads.
template <int step, class col_t, class out_fn>
void filter_row(const col_t* col, const uint8_t* s, uint8_t* d, int32_t w, int32_t rh, const out_fn out) {
  window_sum<col_t> win;
  auto add = [&](int32_t j, col_t sign) {
    win.b += sign * col[4 * j + 0];
    win.g += sign * col[4 * j + 1];
    win.r += sign * col[4 * j + 2];
    win.n += sign * col[4 * j + 3];
  };
  for (int32_t j = 0; j <= rh && j < w; ++j) add(j, 1);
  for (int32_t x = 0; x < w; ++x) {
    if (win.n > 0) out(s + step * x, d + step * x, win);
    if (x + rh + 1 < w) add(x + rh + 1, 1);
    if (x - rh >= 0) add(x - rh, -1);
  }
}

// The vector form of filter_row for 32-bit column sums whose numerators (window sums plus half the count,
// or the high-pass products) stay below 2^31: the window slides as one register of B, G, R, count, and
// each pixel's three channels are divided in one four-lane double division, the very divisions
// div_trunc makes, truncated the same way. gain 0 means low pass.
#if defined(__SSE2__) && defined(__x86_64__) && defined(__GNUC__)
#define QM_BOX_FILTER_AVX2 1
template <int step>
__attribute__((target("avx2"))) void filter_row_avx2(const int32_t* col, const uint8_t* s, uint8_t* d,
                                                     int32_t w, int32_t rh, int32_t gain) {
  __m128i win = _mm_setzero_si128();
  auto column = [col](int32_t j) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(col + 4 * j)); };
  for (int32_t j = 0; j <= rh && j < w; ++j) win = _mm_add_epi32(win, column(j));
  for (int32_t x = 0; x < w; ++x) {
    const int32_t n = _mm_extract_epi32(win, 3);
    if (n > 0) {
      const uint8_t* sp = s + step * x;
      uint8_t* dp = d + step * x;
      if (step == 4 && sp[3] == 0) {
        std::memset(dp, 0, 4);
      } else {
        __m128i num;
        if (gain == 0) {
          num = _mm_add_epi32(win, _mm_set1_epi32(n / 2));
        } else {
          const __m128i sv = _mm_setr_epi32(sp[0], sp[1], sp[2], 0);
          num = _mm_mullo_epi32(
              _mm_sub_epi32(_mm_add_epi32(_mm_mullo_epi32(_mm_set1_epi32(n), sv), _mm_set1_epi32(n / 2)),
                            win),
              _mm_set1_epi32(gain));
        }
        __m128i q = _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(num), _mm256_set1_pd(n)));
        if (gain != 0) q = _mm_add_epi32(q, _mm_set1_epi32(127));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(q, q), q);  // clamped to 0..255
        const uint32_t v = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
        dp[0] = static_cast<uint8_t>(v);
        dp[1] = static_cast<uint8_t>(v >> 8);
        dp[2] = static_cast<uint8_t>(v >> 16);
        if (step == 4) dp[3] = sp[3];
      }
    }
    if (x + rh + 1 < w) win = _mm_add_epi32(win, column(x + rh + 1));
    if (x - rh >= 0) win = _mm_sub_epi32(win, column(x - rh));
  }
}
#endif

// The gain for filter_row_avx2 (0 for the low pass), or -1 where the vector form does not apply.
template <int step>
int32_t vector_gain(const low_pass_out<step>&, int64_t area) {
  return area * 256 < (int64_t{1} << 31) ? 0 : -1;
}
template <int step>
int32_t vector_gain(const high_pass_out<step, false>& out, int64_t area) {
  const int64_t g = out.gain < 0 ? -int64_t{out.gain} : int64_t{out.gain};
  return out.gain != 0 && area * 256 * g < (int64_t{1} << 31) ? out.gain : -1;
}
template <int step>
int32_t vector_gain(const high_pass_out<step, true>&, int64_t) {
  return -1;
}

// One pass of the running-sum box filter. Radii beyond the image size give the same windows as the
// image size itself, so the walk uses the clipped radius and keeps the cost independent of it; the
// progress still counts the iterations of the full radius. Output rows are independent: blocks of
// them run on the worker threads.
template <int step, class col_t, class out_fn>
void box_filter(dib& src, dib& dst, int32_t radius, const stage_scope& stage, const out_fn& out) {
  const int32_t w = src.width();
  const int32_t h = src.height();
  const int32_t rv = std::min(radius, h);
  const int32_t rh = std::min(radius, w);
  column_sums_pool<col_t> pool(w);
#if defined(QM_BOX_FILTER_AVX2)
  // The window holds at most this many pixels.
  const int64_t area =
      std::min<int64_t>(2 * int64_t{radius} + 1, w) * std::min<int64_t>(2 * int64_t{radius} + 1, h);
  static const bool avx2 = __builtin_cpu_supports("avx2");
  const int32_t gain = avx2 ? vector_gain(out, area) : -1;
#endif

  // A block that starts afresh sums up to 2 rv + 1 rows: blocks of at least rv rows keep that within
  // a small multiple of the running sums' own work.
  const int32_t min_block = std::max<int32_t>(
      std::max<int32_t>(1, static_cast<int32_t>((int64_t{1} << 14) / std::max(w, 1))), std::min(rv, h));

  auto rows = [&](int32_t y0, int32_t y1) {
    std::unique_ptr<typename column_sums_pool<col_t>::sums> sums = pool.take(y0);
    col_t* col = sums->col.data();
    // The sums hold the window of row y0 - 1 when continuing; a fresh start sums the window of row y0.
    const bool fresh = sums->next_row != y0;
    if (fresh) {
      std::fill(sums->col.begin(), sums->col.end(), col_t(0));
      for (int32_t r = std::max(0, y0 - rv); r <= std::min(h - 1, y0 + rv); ++r) {
        locked_row row(src, r);
        accumulate_row<step, col_t, 1>(row.bytes(), col, w);
      }
    }
    for (int32_t i = y0; i < y1; ++i) {
      if (i > y0 || !fresh) {
        if (i + rv < h) {
          locked_row row(src, i + rv);
          accumulate_row<step, col_t, 1>(row.bytes(), col, w);
        }
        if (i - rv - 1 >= 0) {
          locked_row row(src, i - rv - 1);
          accumulate_row<step, col_t, -1>(row.bytes(), col, w);
        }
      }

      locked_row s_row(src, i);
      locked_row d_row(dst, i);
#if defined(QM_BOX_FILTER_AVX2)
      if constexpr (std::is_same_v<col_t, int32_t>) {
        if (gain >= 0) {
          filter_row_avx2<step>(col, s_row.bytes(), d_row.bytes(), w, rh, gain);
          continue;
        }
      }
#endif
      filter_row<step>(col, s_row.bytes(), d_row.bytes(), w, rh, out);
    }
    sums->next_row = y1;
    pool.give_back(std::move(sums));
  };
  parallel_rows(h, min_block, rows, [&](int32_t i) {
    stage.progress(static_cast<double>((int64_t{i} + radius) * 100 / (int64_t{radius} + h)));
  });
}

// Window sums hold at most min(2r + 1, w) x min(2r + 1, h) pixels of 255; 32 bits suffice for
// all but huge windows.
template <int step, class out_fn>
void box_filter_by_area(dib& src, dib& dst, int32_t radius, const stage_scope& stage, const out_fn& out) {
  const int64_t side = 2 * int64_t{radius} + 1;
  const int64_t area = std::min<int64_t>(side, src.width()) * std::min<int64_t>(side, src.height());
  if (area * 255 < (int64_t{1} << 31))
    box_filter<step, int32_t>(src, dst, radius, stage, out);
  else
    box_filter<step, int64_t>(src, dst, radius, stage, out);
}

// Filtering in place from one image would read rows it has already overwritten: work from a copy.
dib_ptr readable_source(const dib_ptr& src, const dib_ptr& dst) {
  return src == dst ? dib_ptr(src->clone()) : src;
}

void check_filter_pair(const dib_ptr& src, const dib_ptr& dst) {
  check_color_models(src, dst);
  // Wider pixels than 4 bytes would be read as bytes of floats.
  QM_ASSERT(src->bits_per_pixel() <= 32);
  QM_ASSERT(src->width() == dst->width() && src->height() == dst->height());
}

}  // namespace

void check_color_models(const dib_ptr& a, const dib_ptr& b) {
  QM_ASSERT(a && b);
  QM_ASSERT(a->bits_per_pixel() >= 24 && b->bits_per_pixel() == a->bits_per_pixel());
}

dib_ptr low_pass_filter(const dib_ptr& src, const dib_ptr& dst, int32_t radius, progress_tracker* progress) {
  stage_scope stage(progress, "Low Pass filtration");
  check_filter_pair(src, dst);
  radius = std::max(radius, 0);
  dib_ptr source = readable_source(src, dst);
  if (source->bits_per_pixel() == 32)
    box_filter_by_area<4>(*source, *dst, radius, stage, low_pass_out<4>{});
  else
    box_filter_by_area<3>(*source, *dst, radius, stage, low_pass_out<3>{});
  return dst;
}

void high_pass_filter(const dib_ptr& src, const dib_ptr& dst, int32_t radius, int32_t gain,
                      progress_tracker* progress) {
  stage_scope stage(progress, "High Pass filtration");
  check_filter_pair(src, dst);
  radius = std::max(radius, 0);
  dib_ptr source = readable_source(src, dst);
  // |n*s + n/2 - S| < 256 n, with n at most the window area.
  const double area = std::min<double>(2.0 * radius + 1, source->width()) *
                      std::min<double>(2.0 * radius + 1, source->height());
  const bool wide = 256.0 * area * std::fabs(static_cast<double>(gain)) >= 0x1p53;
  const bool four = source->bits_per_pixel() == 32;
  if (four && !wide)
    box_filter_by_area<4>(*source, *dst, radius, stage, high_pass_out<4, false>{gain});
  else if (four)
    box_filter_by_area<4>(*source, *dst, radius, stage, high_pass_out<4, true>{gain});
  else if (!wide)
    box_filter_by_area<3>(*source, *dst, radius, stage, high_pass_out<3, false>{gain});
  else
    box_filter_by_area<3>(*source, *dst, radius, stage, high_pass_out<3, true>{gain});
}
