#include "image/region_copy.h"

#include <cstring>

#include "image/dib.h"
#include "image/dib_cursor.h"
#include "progress/progress_tracker.h"

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
    for (int32_t k = 0; k < rows; ++k) {
      const int32_t r = o.top + k;
      locked_row from(*src, r - y);
      locked_row to(*dst, r);
      std::memmove(to.bytes() + dst_skip, from.bytes() + src_skip, row_bytes);
      if (r % 8 == 0) stage.progress(k * 100.0 / rows);
    }
    return;
  }

  cursor_handle sc = sv.cursor(), dc = dv.cursor();
  const bool through_bytes =
      dst->bits_per_pixel() / dst->channels() < 9 || src->bits_per_pixel() / src->channels() < 9;
  for (int32_t k = 0; k < rows; ++k) {
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
    stage.progress(k * 100.0 / rows);
  }
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

void copy_opaque_bgra32_run(const uint8_t* src, uint8_t* dst, int32_t n) {
  for (int32_t i = 0; i < n; ++i, src += 4, dst += 4) {
    if (src[3] != 0) std::memcpy(dst, src, 4);
  }
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
    for (int32_t k = 0; k < rows; ++k) {
      const int32_t r = o.top + k;
      stage.progress(k * 100.0 / rows);
      locked_row from(*src, r - y);
      locked_row to(*dst, r);
      if (sm == bgra_float)
        copy_opaque_float_run(reinterpret_cast<const float*>(from.bytes() + src_skip),
                              reinterpret_cast<float*>(to.bytes() + dst_skip), n);
      else
        copy_opaque_bgra32_run(from.bytes() + src_skip, to.bytes() + dst_skip, n);
    }
    return;
  }

  cursor_handle sc = sv.cursor(), dc = dv.cursor();
  rgba_float p;
  for (int32_t k = 0; k < rows; ++k) {
    const int32_t r = o.top + k;
    stage.progress(k * 100.0 / rows);
    sc->move_to(o.left - x, r - y);
    dc->move_to(o.left, r);
    for (int32_t i = 0; i < n; ++i) {
      sc->get_float(p);
      sc->next_pixel();
      if (p.a > float_alpha_epsilon) dc->set_float(p);
      dc->next_pixel();
    }
  }
}
