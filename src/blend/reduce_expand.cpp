#include "blend/reduce_expand.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#include "progress/progress_tracker.h"

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
  if (!image) throw std::runtime_error("DIB is NULL");
  if (image->model() != bgra32 && image->model() != bgra_float)
    throw std::invalid_argument("Pyramid images must be bgra32 or bgra_float");
}

void require_same_shape(const dib_ptr& a, const dib_ptr& b) {
  require_pyramid_model(a);
  require_pyramid_model(b);
  if (a->model() != b->model() || a->width() != b->width() || a->height() != b->height())
    throw std::invalid_argument("Pyramid images differ in size or colour model");
}

// Row progress in whole percent (integer arithmetic, like every row report of the pyramid).
inline double row_percent(int64_t y, int64_t rows) { return static_cast<double>(y * 100 / rows); }

// The byte band kernels first treat all four bytes of a pixel alike, which vectorises, and then give
// each pixel the alpha of the other image, clearing it where that alpha is 0.
void take_alpha(uint8_t* e, const uint8_t* other, int32_t w) {
  if constexpr (std::endian::native == std::endian::little) {
    for (int32_t x = 0; x < w; ++x) {
      uint32_t ev, ov;
      std::memcpy(&ev, e + 4 * x, 4);
      std::memcpy(&ov, other + 4 * x, 4);
      ev = (ov & 0xff000000u) != 0 ? (ev & 0x00ffffffu) | (ov & 0xff000000u) : 0;
      std::memcpy(e + 4 * x, &ev, 4);
    }
  } else {
    for (int32_t x = 0; x < w; ++x, e += 4, other += 4) {
      const uint8_t keep = other[3] != 0 ? 255 : 0;
      e[0] &= keep, e[1] &= keep, e[2] &= keep;
      e[3] = other[3];
    }
  }
}

// The band kernels overwrite one image while reading the other: the same image on both sides is read
// from a copy.
dib_ptr distinct_from(const dib_ptr& written, const dib_ptr& read) {
  return written == read ? dib_ptr(read->clone()) : read;
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

void reduce_bytes(dib& src, dib& out, const stage_scope& stage) {
  const int32_t w = src.width(), h = src.height();
  const int32_t pairs_x = w / 2, pairs_y = h / 2;
  for (int32_t y = 0; y < out.height(); ++y) {
    locked_row out_row(out, y);
    locked_row top_row(src, 2 * y);
    std::optional<locked_row> bottom_row;
    if (2 * y + 1 < h) bottom_row.emplace(src, 2 * y + 1);
    const uint8_t* a = top_row.bytes();
    const uint8_t* b = bottom_row ? bottom_row->bytes() : nullptr;
    uint8_t* o = out_row.bytes();
    if (b) {
      for (int32_t x = 0; x < pairs_x; ++x) {
        const uint8_t* p = a + 8 * x;
        const uint8_t* q = b + 8 * x;
        const uint32_t a0 = p[3], a1 = p[7], a2 = q[3], a3 = q[7];
        put_reduced(o + 4 * x, a0 + a1 + a2 + a3, p[0] * a0 + p[4] * a1 + q[0] * a2 + q[4] * a3,
                    p[1] * a0 + p[5] * a1 + q[1] * a2 + q[5] * a3,
                    p[2] * a0 + p[6] * a1 + q[2] * a2 + q[6] * a3);
      }
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
    if (y < pairs_y) stage.progress(row_percent(y, pairs_y));
  }
}

void reduce_float(dib& src, dib& out, const stage_scope& stage) {
  const int32_t w = src.width(), h = src.height();
  const int32_t ow = out.width(), oh = out.height();
  for (int32_t y = 0; y < oh; ++y) {
    locked_row out_row(out, y);
    locked_row top_row(src, 2 * y);
    std::optional<locked_row> bottom_row;
    if (2 * y + 1 < h) bottom_row.emplace(src, 2 * y + 1);
    const float* a = top_row.as<float>();
    const float* b = bottom_row ? bottom_row->as<float>() : nullptr;
    float* o = out_row.as<float>();
    for (int32_t x = 0; x < ow; ++x, o += 4) {
      const bool right = 2 * x + 1 < w;
      // Summed from 0 in block order so that signed zeros and roundings come out the same every run.
      float sa = 0.0f, sb = 0.0f, sg = 0.0f, sr = 0.0f;
      auto add = [&](const float* p) {
        sb += p[0] * p[3];
        sg += p[1] * p[3];
        sr += p[2] * p[3];
        sa += p[3];
      };
      add(a + 8 * x);
      if (right) add(a + 8 * x + 4);
      if (b) {
        add(b + 8 * x);
        if (right) add(b + 8 * x + 4);
      }
      if (sa > 0.0f) {
        o[0] = sb / sa;
        o[1] = sg / sa;
        o[2] = sr / sa;
        o[3] = sa * 0.25f;
      } else {
        o[0] = o[1] = o[2] = o[3] = 0.0f;
      }
    }
    stage.progress(row_percent(y, oh));
  }
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

// Output pairs i0 .. i1-1 whose three columns i-1, i, i+1 are all opaque (T = 4080 throughout): every
// byte lane computed alike with the constant multiplier, which vectorises, then interleaved with
// alpha 255 (the alpha lanes' own results are dropped).
void expand_opaque_pairs(uint8_t* o, const uint32_t* v, int32_t i0, int32_t i1,
                         std::vector<uint8_t>& buffer) {
  constexpr uint32_t m = reciprocals.m[4080];
  uint8_t* even = buffer.data();
  uint8_t* odd = buffer.data() + buffer.size() / 2;
  for (int32_t k = 4 * i0; k < 4 * i1; ++k) {
    const uint32_t near = 3 * v[k];
    even[k] = fixed_quotient(m, near + v[k - 4]);
    odd[k] = fixed_quotient(m, near + v[k + 4]);
  }
  if constexpr (std::endian::native == std::endian::little) {
    for (int32_t i = i0; i < i1; ++i) {
      uint32_t pair[2];
      std::memcpy(&pair[0], even + 4 * i, 4);
      std::memcpy(&pair[1], odd + 4 * i, 4);
      pair[0] |= 0xff000000u;
      pair[1] |= 0xff000000u;
      std::memcpy(o + 8 * i, pair, 8);
    }
  } else {
    for (int32_t i = i0; i < i1; ++i) {
      uint8_t* p = o + 8 * i;
      std::memcpy(p, even + 4 * i, 4);
      std::memcpy(p + 4, odd + 4 * i, 4);
      p[3] = p[7] = 255;
    }
  }
}

void expand_bytes(dib& src, dib& out, const stage_scope& stage) {
  const int32_t w = src.width(), h = src.height();
  const int32_t ow = out.width(), oh = out.height();
  // Vertical sums per source column at index j + 1; the columns around the source stay transparent.
  const int32_t columns = std::max(w, ow / 2 + 1) + 2;
  std::vector<uint32_t> sums(4 * static_cast<size_t>(columns), 0);
  std::vector<uint8_t> transparent_row(4 * static_cast<size_t>(w), 0);
  uint32_t* v = sums.data() + 4;
  std::vector<uint8_t> stretch(8 * static_cast<size_t>(columns));

  for (int32_t y = 0; y < oh; ++y) {
    const int32_t near = y / 2;
    const int32_t far = (y % 2 != 0) ? near + 1 : near - 1;
    std::optional<locked_row> near_row, far_row;
    if (near < h) near_row.emplace(src, near);
    if (far >= 0 && far < h) far_row.emplace(src, far);
    const uint8_t* n = near_row ? near_row->bytes() : transparent_row.data();
    const uint8_t* f = far_row ? far_row->bytes() : transparent_row.data();
    for (int32_t j = 0; j < 4 * w; j += 4) {
      const uint32_t an = 3u * n[j + 3], af = f[j + 3];
      v[j + 0] = an * n[j + 0] + af * f[j + 0];
      v[j + 1] = an * n[j + 1] + af * f[j + 1];
      v[j + 2] = an * n[j + 2] + af * f[j + 2];
      v[j + 3] = an + af;
    }

    locked_row out_row(out, y);
    uint8_t* o = out_row.bytes();
    const int32_t pairs = ow / 2;
    auto opaque = [&](int32_t j) { return v[4 * j + 3] == 1020; };
    for (int32_t i = 0; i < pairs;) {
      int32_t end = i;
      while (end < pairs && opaque(end - 1) && opaque(end) && opaque(end + 1)) ++end;
      if (end - i >= 8) {
        expand_opaque_pairs(o, v, i, end, stretch);
        i = end;
        continue;
      }
      end = std::max(end, i + 1);
      for (; i < end; ++i) {
        const uint32_t* c = v + 4 * i;
        put_expanded(o + 8 * i, c, c - 4);
        put_expanded(o + 8 * i + 4, c, c + 4);
      }
    }
    if (ow % 2 != 0) put_expanded(o + 8 * pairs, v + 4 * pairs, v + 4 * (pairs - 1));
    stage.progress(row_percent(y, oh));
  }
}

// Vertical step of the float expand for one source column: the near row weighs 3, the far row 1.
inline void vertical_float(const float* n, const float* f, float* v, bool weighted) {
  if (weighted) {
    const float alpha = 0.75f * n[3] + 0.25f * f[3];
    if (alpha <= float_alpha_epsilon) {
      v[0] = v[1] = v[2] = v[3] = 0.0f;
      return;
    }
    const float wn = 0.75f * n[3], wf = 0.25f * f[3];
    for (int c = 0; c < 3; ++c) v[c] = wn * n[c] + wf * f[c];
    v[3] = alpha;
  } else {
    if (3.0f * n[3] + f[3] <= float_alpha_epsilon) {
      v[0] = v[1] = v[2] = v[3] = 0.0f;
      return;
    }
    for (int c = 0; c < 4; ++c) v[c] = 3.0f * n[c] + f[c];
  }
}

// Horizontal step: column i weighs 3, its neighbour 1.
inline void horizontal_float(const float* vi, const float* vn, float* o, bool weighted) {
  if (weighted) {
    const float alpha = 0.75f * vi[3] + 0.25f * vn[3];
    if (alpha <= float_alpha_epsilon) {
      o[0] = o[1] = o[2] = o[3] = 0.0f;
      return;
    }
    const float scale = 0.25f / alpha;
    for (int c = 0; c < 3; ++c) o[c] = scale * (3.0f * vi[c] + vn[c]);
    o[3] = alpha;
  } else {
    if (3.0f * vi[3] + vn[3] <= float_alpha_epsilon) {
      o[0] = o[1] = o[2] = o[3] = 0.0f;
      return;
    }
    for (int c = 0; c < 4; ++c) o[c] = (3.0f * vi[c] + vn[c]) / 16.0f;
  }
}

// Rows and columns are clamped into the source (borders repeat). Only source columns
// 0 .. width/2 - 1 are read; an odd last output pixel repeats the columns of its left neighbour.
void expand_float(dib& src, dib& target, bool weighted, expand_write mode, const stage_scope& stage) {
  const int32_t w = src.width(), h = src.height();
  const int32_t ow = target.width(), oh = target.height();
  if (w <= 0 || h <= 0) return;
  const int32_t pairs = ow / 2;
  const int32_t columns = std::min(std::max(pairs, 1), w);
  std::vector<float> v(4 * static_cast<size_t>(columns));
  std::vector<float> line(4 * static_cast<size_t>(ow));

  for (int32_t y = 0; y < oh; ++y) {
    const int32_t near = std::min(y / 2, h - 1);
    const int32_t far = std::clamp((y % 2 != 0) ? y / 2 + 1 : y / 2 - 1, 0, h - 1);
    {
      locked_row near_row(src, near);
      locked_row far_row(src, far);
      const float* n = near_row.as<float>();
      const float* f = far_row.as<float>();
      for (int32_t j = 0; j < columns; ++j) vertical_float(n + 4 * j, f + 4 * j, v.data() + 4 * j, weighted);
    }
    for (int32_t x = 0; x < ow; ++x) {
      int32_t i, nb;
      if (x < 2 * pairs) {
        i = x / 2;
        nb = (x % 2 != 0) ? std::min(i + 1, pairs - 1) : std::max(i - 1, 0);
      } else {
        i = nb = std::max(pairs - 1, 0);
      }
      i = std::min(i, columns - 1);
      nb = std::min(nb, columns - 1);
      horizontal_float(v.data() + 4 * i, v.data() + 4 * nb, line.data() + 4 * x, weighted);
    }

    locked_row target_row(target, y);
    float* t = target_row.as<float>();
    const float* e = line.data();
    switch (mode) {
      case expand_write::store:
        std::copy(e, e + 4 * static_cast<size_t>(ow), t);
        break;
      case expand_write::subtract:
        for (int32_t x = 0; x < ow; ++x, t += 4, e += 4) {
          if (t[3] <= float_alpha_epsilon) continue;
          for (int c = 0; c < 3; ++c) t[c] = (t[c] + 0.5f) - e[c];
        }
        break;
      case expand_write::add:
        for (int32_t x = 0; x < ow; ++x, t += 4, e += 4)
          for (int c = 0; c < 3; ++c) t[c] = (t[c] + e[c]) - 0.5f;
        break;
    }
    stage.progress(row_percent(y, oh));
  }
}

}  // namespace

dib_ptr reduce_dib(const dib_ptr& src, progress_tracker* progress) {
  stage_scope stage(progress, "Reducing of DIB");
  require_pyramid_model(src);
  dib_ptr out(src->create_blank((src->width() + 1) / 2, (src->height() + 1) / 2));
  if (src->bits_per_pixel() > 32)
    reduce_float(*src, *out, stage);
  else
    reduce_bytes(*src, *out, stage);
  return out;
}

dib_ptr expand_dib(const dib_ptr& src, int32_t width, int32_t height, progress_tracker* progress) {
  stage_scope stage(progress, "");
  if (!src) throw std::runtime_error("DIB is NULL");
  if (src->bits_per_pixel() > 32) {
    require_pyramid_model(src);
    dib_ptr out(src->create_blank(width, height));
    expand_float(*src, *out, true, expand_write::store, stage);
    return out;
  }
  if (src->bits_per_pixel() != 32) return dib_ptr();
  dib_ptr out(src->create_blank(width, height));
  expand_bytes(*src, *out, stage);
  return out;
}

void expand_float_into(const dib_ptr& src, const dib_ptr& target, bool alpha_weighted, expand_write mode,
                       progress_tracker* progress) {
  stage_scope stage(progress, "");
  require_pyramid_model(src);
  require_pyramid_model(target);
  if (src->model() != bgra_float || target->model() != bgra_float)
    throw std::invalid_argument("Float expansion needs bgra_float images");
  expand_float(*src, *target, alpha_weighted, mode, stage);
}

dib_ptr subtract_expanded(const dib_ptr& expanded, const dib_ptr& fine, progress_tracker* progress) {
  stage_scope stage(progress, "DIB Substraction");
  require_same_shape(expanded, fine);
  const dib_ptr other = distinct_from(expanded, fine);
  const int32_t w = expanded->width(), h = expanded->height();
  const bool floats = expanded->bits_per_pixel() > 32;
  for (int32_t y = 0; y < h; ++y) {
    locked_row e_row(*expanded, y);
    locked_row f_row(*other, y);
    if (floats) {
      float* e = e_row.as<float>();
      const float* f = f_row.as<float>();
      for (int32_t x = 0; x < w; ++x, e += 4, f += 4) {
        if (f[3] > 0.0f) {
          for (int c = 0; c < 3; ++c) e[c] = (f[c] - e[c]) + 0.5f;
          e[3] = f[3];
        } else {
          e[0] = e[1] = e[2] = e[3] = 0.0f;
        }
      }
    } else {
      uint8_t* e = e_row.bytes();
      const uint8_t* f = f_row.bytes();
      for (int32_t k = 0; k < 4 * w; ++k) e[k] = static_cast<uint8_t>(std::clamp(f[k] - e[k] + 127, 0, 255));
      take_alpha(e, f, w);
    }
    stage.progress(row_percent(y, h));
  }
  return expanded;
}

dib_ptr add_expanded(const dib_ptr& expanded, const dib_ptr& band, progress_tracker* progress) {
  stage_scope stage(progress, "");
  require_same_shape(expanded, band);
  const dib_ptr other = distinct_from(expanded, band);
  const int32_t w = expanded->width(), h = expanded->height();
  const bool floats = expanded->bits_per_pixel() > 32;
  for (int32_t y = 0; y < h; ++y) {
    locked_row e_row(*expanded, y);
    locked_row b_row(*other, y);
    if (floats) {
      float* e = e_row.as<float>();
      const float* b = b_row.as<float>();
      for (int32_t x = 0; x < w; ++x, e += 4, b += 4) {
        if (b[3] > 0.0f) {
          for (int c = 0; c < 3; ++c) e[c] = (e[c] + b[c]) - 0.5f;
          e[3] = b[3];
        } else {
          e[0] = e[1] = e[2] = e[3] = 0.0f;
        }
      }
    } else {
      uint8_t* e = e_row.bytes();
      const uint8_t* b = b_row.bytes();
      for (int32_t k = 0; k < 4 * w; ++k) e[k] = static_cast<uint8_t>(std::clamp(b[k] + e[k] - 127, 0, 255));
      take_alpha(e, b, w);
    }
    stage.progress(row_percent(y, h));
  }
  return expanded;
}
