#include "blend/box_filter.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "progress/progress_tracker.h"

namespace {

// The messages name this source file; users quote them in bug reports.
const char* const source_path = "\\BCB\\TQ_GRAPHICS\\PROCESSING\\tq_dib_man";

[[noreturn]] void fail(const char* literal) { throw std::runtime_error(std::string(literal) + source_path); }

// Truncating quotient through doubles: both operands, and the quotient's distance to the next integer
// (at least 1/den), survive the rounding while |num| < 2^53, so this equals the integer division.
inline int64_t div_trunc(int64_t num, int64_t den) {
  return static_cast<int64_t>(static_cast<double>(num) / static_cast<double>(den));
}

inline uint8_t clamp_byte(int64_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

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
    d[0] = clamp_byte(div_trunc(w.b + half, w.n));
    d[1] = clamp_byte(div_trunc(w.g + half, w.n));
    d[2] = clamp_byte(div_trunc(w.r + half, w.n));
  }
};

// wide: the product (n*s + n/2 - S) * gain may leave the range where div_trunc is exact.
template <int step, bool wide>
struct high_pass_out {
  int32_t gain;

  uint8_t channel(int64_t s, int64_t sum, int64_t n) const {
    const int64_t diff = n * s + n / 2 - sum;
    if constexpr (wide) {
      // |diff * gain| >= 2^52 exceeds 129 * n for any image that fits in memory: the output saturates.
      const double approx = static_cast<double>(diff) * gain;
      if (approx >= 0x1p52) return 255;
      if (approx <= -0x1p52) return 0;
    }
    return clamp_byte(div_trunc(diff * gain, n) + 127);
  }
  template <class sum_t>
  void operator()(const uint8_t* s, uint8_t* d, const window_sum<sum_t>& w) const {
    if (transparent_out<step>(s, d)) return;
    d[0] = channel(s[0], w.b, w.n);
    d[1] = channel(s[1], w.g, w.n);
    d[2] = channel(s[2], w.r, w.n);
  }
};

// One pass of the running-sum box filter. Radii beyond the image size give the same windows as the
// image size itself, so the walk uses the clipped radius and keeps the cost independent of it; the
// progress still counts the iterations of the full radius.
template <int step, class col_t, class out_fn>
void box_filter(dib& src, dib& dst, int32_t radius, const stage_scope& stage, const out_fn& out) {
  const int32_t w = src.width();
  const int32_t h = src.height();
  const int32_t rv = std::min(radius, h);
  const int32_t rh = std::min(radius, w);
  std::vector<col_t> col(4 * static_cast<size_t>(w), 0);

  for (int32_t i = -rv; i < h; ++i) {
    if (i + rv < h) {
      locked_row row(src, i + rv);
      accumulate_row<step, col_t, 1>(row.bytes(), col.data(), w);
    }
    if (i - rv - 1 >= 0) {
      locked_row row(src, i - rv - 1);
      accumulate_row<step, col_t, -1>(row.bytes(), col.data(), w);
    }
    if (i < 0) continue;

    locked_row s_row(src, i);
    locked_row d_row(dst, i);
    const uint8_t* s = s_row.bytes();
    uint8_t* d = d_row.bytes();
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
    stage.progress(static_cast<double>((int64_t{i} + radius) * 100 / (int64_t{radius} + h)));
  }
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
  if (src->bits_per_pixel() > 32) fail("Unsupported ColorModel");
  if (src->width() != dst->width() || src->height() != dst->height())
    throw std::invalid_argument("Filter source and destination differ in size");
}

}  // namespace

void check_color_models(const dib_ptr& a, const dib_ptr& b) {
  if (!a || !b) throw std::runtime_error("DIB is NULL");
  if (a->bits_per_pixel() < 24 || b->bits_per_pixel() < 24) fail("Unsupported ColorModel");
  if (a->bits_per_pixel() != b->bits_per_pixel()) fail("Diffrent ColorModels ");
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
