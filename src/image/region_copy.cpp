#include "image/region_copy.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "image/dib.h"
#include "image/dib_cursor.h"
#include "platform/parallel.h"
#include "progress/progress_tracker.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
irect placed_overlap(const dib_view& src, const dib_view& dst, int32_t x, int32_t y) {
  irect placed{x, y, static_cast<int32_t>(int64_t{x} + src.width - 1), static_cast<int32_t>(int64_t{y} + src.height - 1)};
  irect overlap;
  if (int64_t{x} + src.width - 1 > INT32_MAX || int64_t{y} + src.height - 1 > INT32_MAX) return overlap;
  intersect(dst.bounds, placed, overlap);
  return overlap;
}

bool same_format(dib& a, dib& b) {
  return a.bits_per_pixel() == b.bits_per_pixel() && a.channels() == b.channels() && a.model() == b.model() &&
         b.bits_per_pixel() % 8 == 0;
}

// Rows k0 .. k1-1 of the overlap by body(k0, k1), row_done(k) after each row in ascending order on the
// calling thread. Rows of distinct images are independent; an image copied into itself may read rows
// that the copy writes, so it keeps the plain ascending loop.
void copy_rows(dib* src, dib* dst, int32_t rows, int32_t width,
               const std::function<void(int32_t, int32_t)>& body,
               const std::function<void(int32_t)>& row_done) {
  if (src == dst) {
    for (int32_t k = 0; k < rows; ++k) {
      body(k, k + 1);
      row_done(k);
    }
    return;
  }
  const int32_t min_block =
      static_cast<int32_t>(std::max<int64_t>(1, (int64_t{1} << 15) / std::max(width, 1)));
  parallel_rows(rows, min_block, body, row_done);
}
}  // namespace

void copy_dib(dib* src, dib* dst, int32_t x, int32_t y, progress_tracker* progress) {
  stage_scope stage(progress, "Copying DIB");
  dib_view sv(src), dv(dst);
  irect o = placed_overlap(sv, dv, x, y);
  if (o.empty()) return;
  const int32_t rows = o.height();
  const int32_t n = o.width();

  if (same_format(*src, *dst)) {
    const size_t row_bytes = static_cast<size_t>(n) * (dst->bits_per_pixel() / 8);
    const size_t src_skip = static_cast<size_t>(o.left - x) * sv.bytes_per_pixel;
    const size_t dst_skip = static_cast<size_t>(o.left) * dv.bytes_per_pixel;
    copy_rows(
        src, dst, rows, n,
        [&](int32_t k0, int32_t k1) {
          for (int32_t k = k0; k < k1; ++k) {
            const int32_t r = o.top + k;
            locked_row from(*src, r - y);
            locked_row to(*dst, r);
            std::memmove(to.bytes() + dst_skip, from.bytes() + src_skip, row_bytes);
          }
        },
        [&](int32_t k) {
          if ((o.top + k) % 8 == 0) stage.progress(k * 100.0 / rows);
        });
    return;
  }

  const bool through_bytes =
      dst->bits_per_pixel() / dst->channels() < 9 || src->bits_per_pixel() / src->channels() < 9;
  copy_rows(
      src, dst, rows, n,
      [&](int32_t k0, int32_t k1) {
        // Cursors belong to one thread: every block walks its rows with its own pair.
        cursor_handle sc = sv.cursor(), dc = dv.cursor();
        for (int32_t k = k0; k < k1; ++k) {
          sc->move_to(o.left - x, o.top - y + k);
          dc->move_to(o.left, o.top + k);
          if (through_bytes) {
            rgba8 p;
            for (int32_t i = 0; i < n; ++i) {
              sc->get_bytes(p);
              sc->next_pixel();
              dc->set_bytes(p);
              dc->next_pixel();
            }
          } else {
            rgba_float p;
            for (int32_t i = 0; i < n; ++i) {
              sc->get_float(p);
              sc->next_pixel();
              dc->set_float(p);
              dc->next_pixel();
            }
          }
        }
      },
      [&](int32_t k) { stage.progress(k * 100.0 / rows); });
}

void copy_opaque_float_run(const float* src, float* dst, int32_t n) {
  for (int32_t i = 0; i < n; ++i, src += 4, dst += 4) {
    if (src[3] > float_alpha_epsilon) {
      dst[0] = src[0];
      dst[1] = src[1];
      dst[2] = src[2];
      dst[3] = src[3];
    }
  }
}

// Four pixels at a time: transparent groups (the canvas around a picture) are skipped, opaque ones
// (its inside) copied whole, mixed ones merged. Overlapping ranges keep the pixel by pixel order.
void copy_opaque_bgra32_run(const uint8_t* src, uint8_t* dst, int32_t n) {
  const uintptr_t bytes = 4 * static_cast<uintptr_t>(std::max(n, 0));
  const uintptr_t s = reinterpret_cast<uintptr_t>(src), d = reinterpret_cast<uintptr_t>(dst);
  int32_t i = 0;
  if (n > 0 && !(d + bytes <= s || s + bytes <= d)) {
    for (; i < n; ++i, src += 4, dst += 4)
      if (src[3] != 0) std::memmove(dst, src, 4);
    return;
  }
#if defined(__SSE2__)
  const __m128i alpha = _mm_set1_epi32(static_cast<int32_t>(0xff000000u)), zero = _mm_setzero_si128();
  for (; i + 4 <= n; i += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * i));
    const __m128i clear = _mm_cmpeq_epi32(_mm_and_si128(v, alpha), zero);
    const int bits = _mm_movemask_epi8(clear);
    if (bits == 0xffff) continue;
    __m128i* to = reinterpret_cast<__m128i*>(dst + 4 * i);
    if (bits == 0)
      _mm_storeu_si128(to, v);
    else
      _mm_storeu_si128(to,
                       _mm_or_si128(_mm_and_si128(clear, _mm_loadu_si128(to)), _mm_andnot_si128(clear, v)));
  }
#endif
  for (; i < n; ++i)
    if (src[4 * i + 3] != 0) std::memcpy(dst + 4 * i, src + 4 * i, 4);
}

void copy_opaque(dib* src, dib* dst, int32_t x, int32_t y, progress_tracker* progress) {
  stage_scope stage(progress, "Copying opaque pixels");
  dib_view sv(src), dv(dst);
  irect o = placed_overlap(sv, dv, x, y);
  if (o.empty()) return;
  const int32_t rows = o.height();
  const int32_t n = o.width();
  const color_model sm = src->model(), dm = dst->model();

  if (sm == dm && (sm == bgra_float || sm == bgra32)) {
    const size_t src_skip = static_cast<size_t>(o.left - x) * sv.bytes_per_pixel;
    const size_t dst_skip = static_cast<size_t>(o.left) * dv.bytes_per_pixel;
    // The progress of a row is reported once it is copied (the plain loop reported it just before):
    // a tracker sees the same calls.
    copy_rows(
        src, dst, rows, n,
        [&](int32_t k0, int32_t k1) {
          for (int32_t k = k0; k < k1; ++k) {
            const int32_t r = o.top + k;
            locked_row from(*src, r - y);
            locked_row to(*dst, r);
            if (sm == bgra_float)
              copy_opaque_float_run(reinterpret_cast<const float*>(from.bytes() + src_skip),
                                    reinterpret_cast<float*>(to.bytes() + dst_skip), n);
            else
              copy_opaque_bgra32_run(from.bytes() + src_skip, to.bytes() + dst_skip, n);
          }
        },
        [&](int32_t k) { stage.progress(k * 100.0 / rows); });
    return;
  }

  copy_rows(
      src, dst, rows, n,
      [&](int32_t k0, int32_t k1) {
        cursor_handle sc = sv.cursor(), dc = dv.cursor();
        rgba_float p;
        for (int32_t k = k0; k < k1; ++k) {
          const int32_t r = o.top + k;
          sc->move_to(o.left - x, r - y);
          dc->move_to(o.left, r);
          for (int32_t i = 0; i < n; ++i) {
            sc->get_float(p);
            sc->next_pixel();
            if (p.a > float_alpha_epsilon) dc->set_float(p);
            dc->next_pixel();
          }
        }
      },
      [&](int32_t k) { stage.progress(k * 100.0 / rows); });
}
