#include "blend/reduce_expand.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/parallel.h"
#include "progress/progress_tracker.h"
#include "platform/internal_error.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Every output row depends only on source rows, so the kernels hand blocks of rows to the worker
// threads; progress is reported on the calling thread in row order, as the plain loop did. Inside a
// row, opaque stretches (the inside of photographs) and transparent ones (the canvas around them) take
// vector paths whose integer results are proven equal to the general formulas; everything else goes
// through the general per-pixel code. Float kernels compute the four channels of a pixel side by side
// with the very same operations in the same order as the per-channel formulas.

namespace {

constexpr uint32_t half24 = 1u << 23;

// m = (((s + 1) >> 1) + 2^24) / s, the rounded 24-bit reciprocal of every weight sum the byte kernels
// meet (up to 1020 in reduce, 4080 in expand). m * S_c + 2^23 stays below 2^32 since S_c <= 255 s.
struct reciprocal_table {
  uint32_t m[4081];
  constexpr reciprocal_table() : m{} {
    for (uint32_t s = 1; s <= 4080; ++s) m[s] = (((s + 1) >> 1) + (1u << 24)) / s;
  }
};
constexpr reciprocal_table reciprocals;

inline uint8_t fixed_quotient(uint32_t m, uint32_t sum) {
  return static_cast<uint8_t>((m * sum + half24) >> 24);
}

void require_pyramid_model(const dib_ptr& image) {
  QM_ASSERT(image && (image->model() == bgra32 || image->model() == bgra_float));
}

void require_same_shape(const dib_ptr& a, const dib_ptr& b) {
  require_pyramid_model(a);
  require_pyramid_model(b);
  QM_ASSERT(a->model() == b->model() && a->width() == b->width() && a->height() == b->height());
}

// Row progress in whole percent (integer arithmetic, like every row report of the pyramid).
inline double row_percent(int64_t y, int64_t rows) { return static_cast<double>(y * 100 / rows); }

// Rows per block of work for rows of `pixels` pixels: about 32768 pixels, so that a block outweighs
// the cost of handing it to another thread and small levels stay on one thread.
inline int32_t rows_per_block(int64_t pixels) {
  return static_cast<int32_t>(
      std::clamp<int64_t>((int64_t{1} << 15) / std::max<int64_t>(pixels, 1), 1, 1 << 16));
}

// The band kernels overwrite one image while reading the other: the same image on both sides is read
// from a copy.
dib_ptr distinct_from(const dib_ptr& written, const dib_ptr& read) {
  return written == read ? dib_ptr(read->clone()) : read;
}

// ---- four float channels side by side ----

// One pixel's four channels in one register. Each lane gets exactly the IEEE operation the scalar
// formula applies to that channel, so results are bit-identical to the per-channel code.
#if defined(__SSE2__)
struct f4 {
  __m128 v;
  static f4 load(const float* p) { return {_mm_loadu_ps(p)}; }
  static f4 all(float x) { return {_mm_set1_ps(x)}; }
  static f4 zero() { return {_mm_setzero_ps()}; }
  void store(float* p) const { _mm_storeu_ps(p, v); }
};
inline f4 operator+(f4 a, f4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline f4 operator-(f4 a, f4 b) { return {_mm_sub_ps(a.v, b.v)}; }
inline f4 operator*(f4 a, f4 b) { return {_mm_mul_ps(a.v, b.v)}; }
inline f4 operator/(f4 a, f4 b) { return {_mm_div_ps(a.v, b.v)}; }
// Lanes 0..2 (colours) of c, lane 3 (alpha) of a.
inline f4 colours_alpha(f4 c, f4 a) {
  const __m128 colour_lanes = _mm_castsi128_ps(_mm_set_epi32(0, -1, -1, -1));
  return {_mm_or_ps(_mm_and_ps(colour_lanes, c.v), _mm_andnot_ps(colour_lanes, a.v))};
}
#else
struct f4 {
  float l[4];
  static f4 load(const float* p) { return {{p[0], p[1], p[2], p[3]}}; }
  static f4 all(float x) { return {{x, x, x, x}}; }
  static f4 zero() { return all(0.0f); }
  void store(float* p) const { std::copy(l, l + 4, p); }
};
template <class op>
inline f4 lanewise(f4 a, f4 b, op o) {
  return {{o(a.l[0], b.l[0]), o(a.l[1], b.l[1]), o(a.l[2], b.l[2]), o(a.l[3], b.l[3])}};
}
inline f4 operator+(f4 a, f4 b) {
  return lanewise(a, b, [](float x, float y) { return x + y; });
}
inline f4 operator-(f4 a, f4 b) {
  return lanewise(a, b, [](float x, float y) { return x - y; });
}
inline f4 operator*(f4 a, f4 b) {
  return lanewise(a, b, [](float x, float y) { return x * y; });
}
inline f4 operator/(f4 a, f4 b) {
  return lanewise(a, b, [](float x, float y) { return x / y; });
}
inline f4 colours_alpha(f4 c, f4 a) { return {{c.l[0], c.l[1], c.l[2], a.l[3]}}; }
#endif

// ---- byte band-pass difference and sum ----

// The bytes of a pixel first all take the band formula, then the pixel takes the alpha of the other
// image, and is cleared where that alpha is 0.
inline void keep_alpha_of(uint8_t* e, const uint8_t* other) {
  if (other[3] == 0) {
    e[0] = e[1] = e[2] = e[3] = 0;
  } else {
    e[3] = other[3];
  }
}

#if defined(__SSE2__)
// Four pixels of band bytes r given the other image's pixels o: alpha of o, all 0 where it is 0.
inline __m128i take_alpha4(__m128i r, __m128i o) {
  const __m128i alpha = _mm_set1_epi32(static_cast<int32_t>(0xff000000u));
  const __m128i oa = _mm_and_si128(o, alpha);
  r = _mm_or_si128(_mm_andnot_si128(alpha, r), oa);
  return _mm_andnot_si128(_mm_cmpeq_epi32(oa, _mm_setzero_si128()), r);
}
#endif

// e = clamp(f - e + 127, 0, 255) with saturating byte arithmetic: of f - e and e - f one is 0.
void band_difference_row(uint8_t* e, const uint8_t* f, int32_t w) {
  int32_t x = 0;
#if defined(__SSE2__)
  const __m128i c127 = _mm_set1_epi8(127);
  for (; x + 4 <= w; x += 4) {
    const __m128i ev = _mm_loadu_si128(reinterpret_cast<const __m128i*>(e + 4 * x));
    const __m128i fv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(f + 4 * x));
    const __m128i r = _mm_subs_epu8(_mm_adds_epu8(_mm_subs_epu8(fv, ev), c127), _mm_subs_epu8(ev, fv));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(e + 4 * x), take_alpha4(r, fv));
  }
#endif
  for (; x < w; ++x) {
    uint8_t* p = e + 4 * x;
    const uint8_t* q = f + 4 * x;
    for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::clamp(q[c] - p[c] + 127, 0, 255));
    keep_alpha_of(p, q);
  }
}

// e = clamp(b + e - 127, 0, 255): e + (b - 127) where b >= 127, e - (127 - b) where b < 127.
void band_sum_row(uint8_t* e, const uint8_t* b, int32_t w) {
  int32_t x = 0;
#if defined(__SSE2__)
  const __m128i c127 = _mm_set1_epi8(127);
  for (; x + 4 <= w; x += 4) {
    const __m128i ev = _mm_loadu_si128(reinterpret_cast<const __m128i*>(e + 4 * x));
    const __m128i bv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 4 * x));
    const __m128i r = _mm_subs_epu8(_mm_adds_epu8(ev, _mm_subs_epu8(bv, c127)), _mm_subs_epu8(c127, bv));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(e + 4 * x), take_alpha4(r, bv));
  }
#endif
  for (; x < w; ++x) {
    uint8_t* p = e + 4 * x;
    const uint8_t* q = b + 4 * x;
    for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>(std::clamp(q[c] + p[c] - 127, 0, 255));
    keep_alpha_of(p, q);
  }
}

// Float bands: where the other image's alpha is positive, colours (f - e) + 0.5 or (e + b) - 0.5 and
// that alpha; elsewhere all 0.
void band_difference_row(float* e, const float* f, int32_t w) {
  const f4 half = f4::all(0.5f);
  for (int32_t x = 0; x < w; ++x, e += 4, f += 4) {
    if (f[3] > 0.0f) {
      const f4 fv = f4::load(f);
      colours_alpha((fv - f4::load(e)) + half, fv).store(e);
    } else {
      f4::zero().store(e);
    }
  }
}

void band_sum_row(float* e, const float* b, int32_t w) {
  const f4 half = f4::all(0.5f);
  for (int32_t x = 0; x < w; ++x, e += 4, b += 4) {
    if (b[3] > 0.0f) {
      const f4 bv = f4::load(b);
      colours_alpha((f4::load(e) + bv) - half, bv).store(e);
    } else {
      f4::zero().store(e);
    }
  }
}

// ---- reduce ----

inline void put_reduced(uint8_t* o, uint32_t sa, uint32_t sb, uint32_t sg, uint32_t sr) {
  if (sa == 0) {
    o[0] = o[1] = o[2] = o[3] = 0;
    return;
  }
  const uint32_t m = reciprocals.m[sa];
  o[0] = fixed_quotient(m, sb);
  o[1] = fixed_quotient(m, sg);
  o[2] = fixed_quotient(m, sr);
  o[3] = static_cast<uint8_t>((sa + 2) >> 2);
}

// Sums the alpha-weighted colours of n pixels (1 or 2) of one row into the block totals.
inline void add_weighted(const uint8_t* p, int n, uint32_t& sa, uint32_t& sb, uint32_t& sg, uint32_t& sr) {
  for (int k = 0; k < n; ++k, p += 4) {
    const uint32_t a = p[3];
    sa += a;
    sb += p[0] * a;
    sg += p[1] * a;
    sr += p[2] * a;
  }
}

// Output pixel x from the 2x2 block at column 2x of rows a and b.
inline void reduce_block(const uint8_t* a, const uint8_t* b, uint8_t* o, int32_t x) {
  const uint8_t* p = a + 8 * x;
  const uint8_t* q = b + 8 * x;
  const uint32_t a0 = p[3], a1 = p[7], a2 = q[3], a3 = q[7];
  put_reduced(o + 4 * x, a0 + a1 + a2 + a3, p[0] * a0 + p[4] * a1 + q[0] * a2 + q[4] * a3,
              p[1] * a0 + p[5] * a1 + q[1] * a2 + q[5] * a3, p[2] * a0 + p[6] * a1 + q[2] * a2 + q[6] * a3);
}

#if defined(__SSE2__)
// Per byte lane, the sums of horizontal pixel pairs of four pixels: (p0 + p1, p2 + p3) in 16 bits.
inline __m128i pair_sums(__m128i v) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
  return _mm_add_epi16(_mm_unpacklo_epi64(lo, hi), _mm_unpackhi_epi64(lo, hi));
}
#endif

// One output row from source rows a and b (b null for the odd last row).
// All four pixels of a block opaque: S_c = 255 s with s the sum of the four bytes, and
// (m[1020] 255 s + 2^23) >> 24 = (s + 1) >> 2 for every s <= 1020 (255 for the alpha lane too).
// All four transparent: every sum is 0 and so is the output.
void reduce_row(const uint8_t* a, const uint8_t* b, uint8_t* o, int32_t w) {
  const int32_t pairs_x = w / 2;
  if (b) {
    int32_t x = 0;
#if defined(__SSE2__)
    const __m128i alpha = _mm_set1_epi32(static_cast<int32_t>(0xff000000u));
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi16(1);
    for (; x + 4 <= pairs_x; x += 4) {
      const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8 * x));
      const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 8 * x + 16));
      const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8 * x));
      const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 8 * x + 16));
      const __m128i all = _mm_and_si128(_mm_and_si128(a0, a1), _mm_and_si128(b0, b1));
      const __m128i any = _mm_or_si128(_mm_or_si128(a0, a1), _mm_or_si128(b0, b1));
      if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(all, alpha), alpha)) == 0xffff) {
        const __m128i s0 = _mm_add_epi16(_mm_add_epi16(pair_sums(a0), pair_sums(b0)), one);
        const __m128i s1 = _mm_add_epi16(_mm_add_epi16(pair_sums(a1), pair_sums(b1)), one);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 4 * x),
                         _mm_packus_epi16(_mm_srli_epi16(s0, 2), _mm_srli_epi16(s1, 2)));
      } else if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(any, alpha), zero)) == 0xffff) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 4 * x), zero);
      } else {
        for (int32_t k = x; k < x + 4; ++k) reduce_block(a, b, o, k);
      }
    }
#endif
    for (; x < pairs_x; ++x) reduce_block(a, b, o, x);
  } else {
    for (int32_t x = 0; x < pairs_x; ++x) {
      uint32_t sa = 0, sb = 0, sg = 0, sr = 0;
      add_weighted(a + 8 * x, 2, sa, sb, sg, sr);
      put_reduced(o + 4 * x, sa, sb, sg, sr);
    }
  }
  if (w % 2 != 0) {  // the odd last column has no right partner
    uint32_t sa = 0, sb = 0, sg = 0, sr = 0;
    add_weighted(a + 4 * (w - 1), 1, sa, sb, sg, sr);
    if (b) add_weighted(b + 4 * (w - 1), 1, sa, sb, sg, sr);
    put_reduced(o + 4 * pairs_x, sa, sb, sg, sr);
  }
}

// Colours weighted by alpha, summed from 0 in block order (top left, top right, bottom left, bottom
// right) so that signed zeros and roundings come out the same every run; alpha is the plain sum.
void reduce_row(const float* a, const float* b, float* o, int32_t w, int32_t ow) {
  for (int32_t x = 0; x < ow; ++x, o += 4) {
    const bool right = 2 * x + 1 < w;
    f4 s = f4::zero();
    auto add = [&](const float* p) { s = s + f4::load(p) * colours_alpha(f4::all(p[3]), f4::all(1.0f)); };
    add(a + 8 * x);
    if (right) add(a + 8 * x + 4);
    if (b) {
      add(b + 8 * x);
      if (right) add(b + 8 * x + 4);
    }
    float lanes[4];
    s.store(lanes);
    const float sa = lanes[3];
    if (sa > 0.0f)
      colours_alpha(s / f4::all(sa), f4::all(sa * 0.25f)).store(o);
    else
      f4::zero().store(o);
  }
}

template <class T>
void reduce_rows(dib& src, dib& out, const stage_scope& stage, int32_t progress_rows) {
  const int32_t w = src.width(), h = src.height(), ow = out.width();
  parallel_rows(
      out.height(), rows_per_block(2 * int64_t{w}),
      [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
          locked_row out_row(out, y);
          locked_row top_row(src, 2 * y);
          std::optional<locked_row> bottom_row;
          if (2 * y + 1 < h) bottom_row.emplace(src, 2 * y + 1);
          const T* b = bottom_row ? bottom_row->as<T>() : nullptr;
          if constexpr (sizeof(T) == 1)
            reduce_row(top_row.as<T>(), b, out_row.as<T>(), w);
          else
            reduce_row(top_row.as<T>(), b, out_row.as<T>(), w, ow);
        }
      },
      [&](int32_t y) {
        if (y < progress_rows) stage.progress(row_percent(y, progress_rows));
      });
}

// ---- expand ----

// Horizontal step: column c weighs 3, its neighbour d 1.
inline void put_expanded(uint8_t* o, const uint32_t* c, const uint32_t* d) {
  const uint32_t t = 3 * c[3] + d[3];
  if (t == 4080) {  // all opaque, the common case: a constant multiplier
    constexpr uint32_t m = reciprocals.m[4080];
    o[0] = fixed_quotient(m, 3 * c[0] + d[0]);
    o[1] = fixed_quotient(m, 3 * c[1] + d[1]);
    o[2] = fixed_quotient(m, 3 * c[2] + d[2]);
    o[3] = 255;
    return;
  }
  if (t == 0) {
    o[0] = o[1] = o[2] = o[3] = 0;
    return;
  }
  const uint32_t m = reciprocals.m[t];
  o[0] = fixed_quotient(m, 3 * c[0] + d[0]);
  o[1] = fixed_quotient(m, 3 * c[1] + d[1]);
  o[2] = fixed_quotient(m, 3 * c[2] + d[2]);
  o[3] = static_cast<uint8_t>((t + 8) >> 4);
}

// The near and far source rows of one output row; a missing row (beyond the source) and columns
// outside 0 .. w-1 are transparent.
struct expand_rows {
  const uint8_t* n;
  const uint8_t* f;
  int32_t w;

  uint32_t near_alpha(int32_t j) const { return n && j >= 0 && j < w ? n[4 * j + 3] : 0u; }
  uint32_t far_alpha(int32_t j) const { return f && j >= 0 && j < w ? f[4 * j + 3] : 0u; }
  bool opaque(int32_t j) const { return near_alpha(j) == 255 && far_alpha(j) == 255; }
  bool clear(int32_t j) const { return near_alpha(j) == 0 && far_alpha(j) == 0; }

  // Vertical step for column j: the near row weighs 3, the far row 1, both by alpha.
  void sums(int32_t j, uint32_t* v) const {
    const uint32_t an = 3u * near_alpha(j), af = far_alpha(j);
    for (int c = 0; c < 3; ++c)
      v[c] = (an != 0 ? an * n[4 * j + c] : 0u) + (af != 0 ? af * f[4 * j + c] : 0u);
    v[3] = an + af;
  }
};

// Output pairs whose three columns i-1, i, i+1 are all opaque in both rows: a column's colour sum is
// 255 u with u = 3 near + far, T = 4080, and the output 3 S_i + S_neighbour = 255 s with
// s = 3 u_i + u_neighbour <= 4080 gives (m[4080] 255 s + 2^23) >> 24 = (s + 7) >> 4 for every such s;
// the alpha lanes give 255 that way too. Pairs whose three columns are transparent in both rows have
// sums of 0 and give 0.
inline void expand_opaque_pair(const expand_rows& r, uint8_t* o, int32_t i) {
  for (int c = 0; c < 4; ++c) {
    auto weight = [&](int32_t j) { return 3u * r.n[4 * j + c] + r.f[4 * j + c]; };
    const uint32_t centre = 3u * weight(i);
    o[8 * i + c] = static_cast<uint8_t>((centre + weight(i - 1) + 7) >> 4);
    o[8 * i + 4 + c] = static_cast<uint8_t>((centre + weight(i + 1) + 7) >> 4);
  }
}

#if defined(__SSE2__)
// Four pairs i .. i+3 at once when columns i-1 .. i+4 are all opaque or all transparent in both rows
// (rows that are missing count as transparent); false, with nothing written, otherwise.
inline bool expand_four_pairs(const expand_rows& r, uint8_t* o, int32_t i) {
  const __m128i zero = _mm_setzero_si128(), alpha = _mm_set1_epi32(static_cast<int32_t>(0xff000000u));
  auto load = [](const uint8_t* row, int32_t j) {
    return row ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * j)) : _mm_setzero_si128();
  };
  auto all_alphas = [&](__m128i v, __m128i a) {
    return _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(v, alpha), a)) == 0xffff;
  };
  const __m128i nl = load(r.n, i - 1), nr = load(r.n, i + 1), fl = load(r.f, i - 1), fr = load(r.f, i + 1);
  if (all_alphas(_mm_or_si128(_mm_or_si128(nl, nr), _mm_or_si128(fl, fr)), zero)) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8 * i), zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8 * i + 16), zero);
    return true;
  }
  if (!r.n || !r.f || !all_alphas(_mm_and_si128(_mm_and_si128(nl, nr), _mm_and_si128(fl, fr)), alpha))
    return false;
  // u = 3 near + far for two columns per register; columns i-1 .. i+2 (l), i .. i+3 (c), i+1 .. i+4 (r).
  auto weights = [&](__m128i nv, __m128i fv, __m128i& lo, __m128i& hi) {
    const __m128i a = _mm_unpacklo_epi8(nv, zero), b = _mm_unpackhi_epi8(nv, zero);
    lo = _mm_add_epi16(_mm_add_epi16(a, _mm_add_epi16(a, a)), _mm_unpacklo_epi8(fv, zero));
    hi = _mm_add_epi16(_mm_add_epi16(b, _mm_add_epi16(b, b)), _mm_unpackhi_epi8(fv, zero));
  };
  __m128i l_lo, l_hi, c_lo, c_hi, r_lo, r_hi;
  weights(nl, fl, l_lo, l_hi);
  weights(load(r.n, i), load(r.f, i), c_lo, c_hi);
  weights(nr, fr, r_lo, r_hi);
  const __m128i seven = _mm_set1_epi16(7);
  auto outputs = [&](__m128i centre, __m128i side) {
    const __m128i s = _mm_add_epi16(_mm_add_epi16(centre, _mm_add_epi16(centre, centre)), side);
    return _mm_srli_epi16(_mm_add_epi16(s, seven), 4);
  };
  const __m128i even = _mm_packus_epi16(outputs(c_lo, l_lo), outputs(c_hi, l_hi));
  const __m128i odd = _mm_packus_epi16(outputs(c_lo, r_lo), outputs(c_hi, r_hi));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8 * i), _mm_unpacklo_epi32(even, odd));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8 * i + 16), _mm_unpackhi_epi32(even, odd));
  return true;
}
#endif

// One output row of width ow: output pixels 2i and 2i+1 come from source columns i and i -+ 1.
void expand_row(const expand_rows& r, uint8_t* o, int32_t ow) {
  const int32_t pairs = ow / 2;
  if (!r.n && !r.f) {  // no source row: all transparent
    std::memset(o, 0, 4 * static_cast<size_t>(ow));
    return;
  }
#if defined(__SSE2__)
  // Groups of four pairs read columns i-1 .. i+4, all inside the source.
  const int32_t group_last = std::min(pairs, r.w - 1);
#endif
  for (int32_t i = 0; i < pairs;) {
#if defined(__SSE2__)
    if (i >= 1 && i + 4 <= group_last && expand_four_pairs(r, o, i)) {
      i += 4;
      continue;
    }
#endif
    if (r.opaque(i - 1) && r.opaque(i) && r.opaque(i + 1)) {
      expand_opaque_pair(r, o, i);
    } else if (r.clear(i - 1) && r.clear(i) && r.clear(i + 1)) {
      std::memset(o + 8 * static_cast<size_t>(i), 0, 8);
    } else {
      uint32_t left[4], centre[4], right[4];
      r.sums(i - 1, left);
      r.sums(i, centre);
      r.sums(i + 1, right);
      put_expanded(o + 8 * i, centre, left);
      put_expanded(o + 8 * i + 4, centre, right);
    }
    ++i;
  }
  if (ow % 2 != 0) {
    uint32_t last[4], left[4];
    r.sums(pairs, last);
    r.sums(pairs - 1, left);
    put_expanded(o + 8 * pairs, last, left);
  }
}

void expand_bytes(dib& src, dib& out, const stage_scope& stage) {
  const int32_t w = src.width(), h = src.height();
  const int32_t ow = out.width(), oh = out.height();
  parallel_rows(
      oh, rows_per_block(ow),
      [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
          const int32_t near = y / 2;
          const int32_t far = (y % 2 != 0) ? near + 1 : near - 1;
          std::optional<locked_row> near_row, far_row;
          if (near < h) near_row.emplace(src, near);
          if (far >= 0 && far < h) far_row.emplace(src, far);
          const expand_rows rows{near_row ? near_row->bytes() : nullptr, far_row ? far_row->bytes() : nullptr,
                                 w};
          locked_row out_row(out, y);
          expand_row(rows, out_row.bytes(), ow);
        }
      },
      [&](int32_t y) { stage.progress(row_percent(y, oh)); });
}

// Vertical step of the float expand for one source column: the near row weighs 3, the far row 1.
inline f4 vertical_float(const float* n, const float* f, bool weighted) {
  if (weighted) {
    const float alpha = 0.75f * n[3] + 0.25f * f[3];
    if (alpha <= float_alpha_epsilon) return f4::zero();
    const float wn = 0.75f * n[3], wf = 0.25f * f[3];
    return colours_alpha(f4::all(wn) * f4::load(n) + f4::all(wf) * f4::load(f), f4::all(alpha));
  }
  if (3.0f * n[3] + f[3] <= float_alpha_epsilon) return f4::zero();
  return f4::all(3.0f) * f4::load(n) + f4::load(f);
}

// Horizontal step: column i weighs 3, its neighbour 1.
inline f4 horizontal_float(f4 vi, f4 vn, bool weighted) {
  float ai[4], an[4];
  vi.store(ai);
  vn.store(an);
  if (weighted) {
    const float alpha = 0.75f * ai[3] + 0.25f * an[3];
    if (alpha <= float_alpha_epsilon) return f4::zero();
    const float scale = 0.25f / alpha;
    return colours_alpha(f4::all(scale) * (f4::all(3.0f) * vi + vn), f4::all(alpha));
  }
  if (3.0f * ai[3] + an[3] <= float_alpha_epsilon) return f4::zero();
  return (f4::all(3.0f) * vi + vn) / f4::all(16.0f);
}

// Writes one expanded pixel e into target pixel t.
inline void write_expanded(float* t, f4 e, expand_write mode) {
  switch (mode) {
    case expand_write::store:
      e.store(t);
      break;
    case expand_write::subtract:
      if (t[3] > float_alpha_epsilon) {
        const f4 tv = f4::load(t);
        colours_alpha((tv + f4::all(0.5f)) - e, tv).store(t);
      }
      break;
    case expand_write::add: {
      const f4 tv = f4::load(t);
      colours_alpha((tv + e) - f4::all(0.5f), tv).store(t);
      break;
    }
  }
}

// One output row from the near and far source rows. Only source columns 0 .. columns-1 are read
// (columns = min(max(ow / 2, 1), w)); an odd last output pixel repeats the columns of its left
// neighbour. Each column's vertical step is computed once, in a window of three columns.
void expand_row(const float* n, const float* f, int32_t columns, float* t, int32_t ow, bool weighted,
                expand_write mode) {
  const int32_t pairs = ow / 2;
  auto column = [&](int32_t j) {
    j = std::min(j, columns - 1);
    return vertical_float(n + 4 * j, f + 4 * j, weighted);
  };
  if (pairs > 0) {
    f4 left = column(0), centre = left;  // column max(i - 1, 0) and column i
    for (int32_t i = 0; i < pairs; ++i) {
      const f4 right = i + 1 < pairs ? column(i + 1) : centre;  // column min(i + 1, pairs - 1)
      write_expanded(t + 8 * i, horizontal_float(centre, left, weighted), mode);
      write_expanded(t + 8 * i + 4, horizontal_float(centre, right, weighted), mode);
      left = centre;
      centre = right;
    }
  }
  if (ow % 2 != 0) {
    const f4 last = column(std::max(pairs - 1, 0));
    write_expanded(t + 8 * pairs, horizontal_float(last, last, weighted), mode);
  }
}

// Rows and columns are clamped into the source (borders repeat).
void expand_float(dib& src, dib& target, bool weighted, expand_write mode, const stage_scope& stage) {
  const int32_t w = src.width(), h = src.height();
  const int32_t ow = target.width(), oh = target.height();
  if (w <= 0 || h <= 0) return;
  const int32_t columns = std::min(std::max(ow / 2, 1), w);
  parallel_rows(
      oh, rows_per_block(ow),
      [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
          const int32_t near = std::min(y / 2, h - 1);
          const int32_t far = std::clamp((y % 2 != 0) ? y / 2 + 1 : y / 2 - 1, 0, h - 1);
          locked_row near_row(src, near);
          locked_row far_row(src, far);
          locked_row target_row(target, y);
          expand_row(near_row.as<float>(), far_row.as<float>(), columns, target_row.as<float>(), ow, weighted,
                     mode);
        }
      },
      [&](int32_t y) { stage.progress(row_percent(y, oh)); });
}

// ---- band-pass difference and sum ----

// Writes band(e row, other row) into e for every row of the two same-shaped images.
template <class T>
void band_rows(dib& e_image, dib& other, const stage_scope& stage, void (*band)(T*, const T*, int32_t)) {
  const int32_t w = e_image.width(), h = e_image.height();
  parallel_rows(
      h, rows_per_block(w),
      [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
          locked_row e_row(e_image, y);
          locked_row o_row(other, y);
          band(e_row.as<T>(), o_row.as<T>(), w);
        }
      },
      [&](int32_t y) { stage.progress(row_percent(y, h)); });
}

}  // namespace

dib_ptr reduce_dib(const dib_ptr& src, progress_tracker* progress) {
  stage_scope stage(progress, "Reducing of DIB");
  require_pyramid_model(src);
  dib_ptr out(src->create_blank((src->width() + 1) / 2, (src->height() + 1) / 2));
  if (src->bits_per_pixel() > 32)
    reduce_rows<float>(*src, *out, stage, out->height());
  else  // the byte kernel reports the rows with two source rows only
    reduce_rows<uint8_t>(*src, *out, stage, src->height() / 2);
  return out;
}

dib_ptr expand_dib(const dib_ptr& src, int32_t width, int32_t height, progress_tracker* progress) {
  stage_scope stage(progress, "");
  require_pyramid_model(src);
  if (src->bits_per_pixel() > 32) {
    dib_ptr out(src->create_blank(width, height));
    expand_float(*src, *out, true, expand_write::store, stage);
    return out;
  }
  dib_ptr out(src->create_blank(width, height));
  expand_bytes(*src, *out, stage);
  return out;
}

void expand_float_into(const dib_ptr& src, const dib_ptr& target, bool alpha_weighted, expand_write mode,
                       progress_tracker* progress) {
  stage_scope stage(progress, "");
  require_pyramid_model(src);
  require_pyramid_model(target);
  QM_ASSERT(src->model() == bgra_float && target->model() == bgra_float);
  expand_float(*src, *target, alpha_weighted, mode, stage);
}

dib_ptr subtract_expanded(const dib_ptr& expanded, const dib_ptr& fine, progress_tracker* progress) {
  stage_scope stage(progress, "DIB Substraction");
  require_same_shape(expanded, fine);
  const dib_ptr other = distinct_from(expanded, fine);
  if (expanded->bits_per_pixel() > 32)
    band_rows<float>(*expanded, *other, stage, band_difference_row);
  else
    band_rows<uint8_t>(*expanded, *other, stage, band_difference_row);
  return expanded;
}

dib_ptr add_expanded(const dib_ptr& expanded, const dib_ptr& band, progress_tracker* progress) {
  stage_scope stage(progress, "");
  require_same_shape(expanded, band);
  const dib_ptr other = distinct_from(expanded, band);
  if (expanded->bits_per_pixel() > 32)
    band_rows<float>(*expanded, *other, stage, band_sum_row);
  else
    band_rows<uint8_t>(*expanded, *other, stage, band_sum_row);
  return expanded;
}
