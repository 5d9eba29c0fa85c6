#include "blend/level_blend.h"

#include <algorithm>

#include "blend/box_filter.h"
#include "blend/seam_pixel.h"
#include "image/region_copy.h"
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

void check_blend_inputs(const dib_ptr& level1, const dib_ptr& level2, const dib_ptr& mask) {
  QM_ASSERT(level1 && level2 && mask);
  QM_ASSERT(level1->model() == level2->model() && (level1->model() == bgra32 || level1->model() == bgra_float));
  QM_ASSERT(level1->width() == level2->width() && level1->height() == level2->height() &&
            level1->width() == mask->width() && level1->height() == mask->height());
}

// The blend reads the mask's share bytes straight from bgra32 rows; any other model is seen through
// its byte view.
dib_ptr mask_bytes(const dib_ptr& mask) {
  if (mask->model() == bgra32) return mask;
  dib_ptr copy(create_dib(mask->width(), mask->height(), 32));
  copy_dib(mask.get(), copy.get(), 0, 0, nullptr);
  return copy;
}

// Rows per block of work: about 32768 pixels, so that a block outweighs handing it to another thread.
inline int32_t rows_per_block(int32_t width) {
  return static_cast<int32_t>(std::clamp<int64_t>((int64_t{1} << 15) / std::max(width, 1), 1, 1 << 16));
}

// Runs row(p, q, m, w) over every row of the two levels and the mask, blocks of rows on the worker
// threads; the progress of each row is reported on the calling thread in row order.
template <class T, class row_fn>
void blend_rows(dib& level1, dib& level2, dib& mask, const stage_scope& stage, row_fn row) {
  const int32_t w = mask.width(), h = level1.height();
  parallel_rows(
      h, rows_per_block(w),
      [&](int32_t y0, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y) {
          locked_row p_row(level1, y);
          locked_row q_row(level2, y);
          locked_row m_row(mask, y);
          row(p_row.as<T>(), q_row.as<const T>(), m_row.bytes(), w);
        }
      },
      [&](int32_t y) { stage.progress(static_cast<double>(int64_t{y} * 100 / h)); });
}

inline void blend_pixel(uint8_t* p, const uint8_t* q, const uint8_t* m) {
  if (q[3] == 0) return;
  if (p[3] == 0) {
    p[0] = q[0], p[1] = q[1], p[2] = q[2], p[3] = q[3];
    return;
  }
  // Share of image 1 from the two shares' difference; equal shares give 128, a slight bias to image 1.
  const const_seam_pixel mask(m);
  const uint32_t share = (mask.image1() - mask.image2() + 256) >> 1;
  const uint32_t w1 = p[3] * share;
  const uint32_t w2 = q[3] * (255 - share);
  const uint32_t f = w1 + w2;
  for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((w1 * p[c] + w2 * q[c] + f / 2) / f);
  p[3] = static_cast<uint8_t>((f + 127) / 255);
}

// Vector paths. w1, w2 and f = w1 + w2 are at most 255 * 255, so the numerators w1 p + w2 q + f / 2
// <= 255.5 f stay below 2^24 and are exact in floats. The quotients are below 256, where half an ulp
// (2^-17) is smaller than the distance 1/f >= 1/65025 of a non-integer quotient to the next integer:
// the truncated float quotient is the integer quotient. (f + 127) / 255 = ((f + 127) * 0x8081) >> 23
// for every f + 127 below 2^16.
#if defined(__SSE2__) && defined(__x86_64__) && defined(__GNUC__)
#define QM_BLEND_AVX2 1
// Eight pixels at a time; returns how many pixels it blended (a multiple of 8).
__attribute__((target("avx2"))) int32_t blend_row_avx2(uint8_t* p, const uint8_t* q, const uint8_t* m,
                                                       int32_t w) {
  const __m256i zero = _mm256_setzero_si256(), low = _mm256_set1_epi32(255);
  const __m256 one = _mm256_set1_ps(1.0f);
  int32_t x = 0;
  for (; x + 8 <= w; x += 8) {
    const __m256i pv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 4 * x));
    const __m256i qv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 4 * x));
    const __m256i pa = _mm256_srli_epi32(pv, 24), qa = _mm256_srli_epi32(qv, 24);
    const __m256i q_clear = _mm256_cmpeq_epi32(qa, zero), p_clear = _mm256_cmpeq_epi32(pa, zero);
    if (_mm256_movemask_epi8(q_clear) == -1) continue;
    __m256i r;
    if (_mm256_movemask_epi8(_mm256_andnot_si256(q_clear, p_clear)) == -1) {
      r = qv;
    } else {
      const __m256i mv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(m + 4 * x));
      const __m256i share1 = _mm256_and_si256(_mm256_srli_epi32(mv, seam_pixel::image1_shift), low),
                    share2 = _mm256_and_si256(_mm256_srli_epi32(mv, seam_pixel::image2_shift), low);
      const __m256i share =
          _mm256_srli_epi32(_mm256_add_epi32(_mm256_sub_epi32(share1, share2), _mm256_set1_epi32(256)), 1);
      const __m256i w1 = _mm256_mullo_epi32(pa, share),
                    w2 = _mm256_mullo_epi32(qa, _mm256_sub_epi32(low, share));
      const __m256i f = _mm256_add_epi32(w1, w2);
      const __m256 w1f = _mm256_cvtepi32_ps(w1), w2f = _mm256_cvtepi32_ps(w2);
      const __m256 half = _mm256_cvtepi32_ps(_mm256_srli_epi32(f, 1));
      const __m256 divisor = _mm256_max_ps(_mm256_cvtepi32_ps(f), one);
      __m256i out = _mm256_slli_epi32(
          _mm256_srli_epi32(
              _mm256_mullo_epi32(_mm256_add_epi32(f, _mm256_set1_epi32(127)), _mm256_set1_epi32(0x8081)), 23),
          24);
      for (int c = 0; c < 3; ++c) {
        const __m256 pc = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(pv, 8 * c), low));
        const __m256 qc = _mm256_cvtepi32_ps(_mm256_and_si256(_mm256_srli_epi32(qv, 8 * c), low));
        const __m256 num = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(w1f, pc), _mm256_mul_ps(w2f, qc)), half);
        out =
            _mm256_or_si256(out, _mm256_slli_epi32(_mm256_cvttps_epi32(_mm256_div_ps(num, divisor)), 8 * c));
      }
      r = _mm256_blendv_epi8(out, qv, p_clear);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 4 * x), _mm256_blendv_epi8(r, pv, q_clear));
  }
  return x;
}
#endif

void blend_row(uint8_t* p, const uint8_t* q, const uint8_t* m, int32_t w) {
  int32_t x = 0;
#if defined(QM_BLEND_AVX2)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) x = blend_row_avx2(p, q, m, w);
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), low = _mm_set1_epi32(255);
  const __m128 one = _mm_set1_ps(1.0f);
  for (; x + 4 <= w; x += 4) {
    const __m128i pv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * x));
    const __m128i qv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 4 * x));
    const __m128i pa = _mm_srli_epi32(pv, 24), qa = _mm_srli_epi32(qv, 24);
    const __m128i q_clear = _mm_cmpeq_epi32(qa, zero), p_clear = _mm_cmpeq_epi32(pa, zero);
    if (_mm_movemask_epi8(q_clear) == 0xffff) continue;  // nothing of image 2 here
    __m128i r;
    if (_mm_movemask_epi8(_mm_andnot_si128(q_clear, p_clear)) == 0xffff) {
      r = qv;  // image 2 alone
    } else {
      const __m128i mv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + 4 * x));
      const __m128i share1 = _mm_and_si128(_mm_srli_epi32(mv, seam_pixel::image1_shift), low),
                    share2 = _mm_and_si128(_mm_srli_epi32(mv, seam_pixel::image2_shift), low);
      const __m128i share = _mm_srli_epi32(_mm_add_epi32(_mm_sub_epi32(share1, share2), _mm_set1_epi32(256)), 1);
      // Products of numbers below 256 in the low halves of 32-bit lanes whose high halves are 0.
      const __m128i w1 = _mm_madd_epi16(pa, share), w2 = _mm_madd_epi16(qa, _mm_sub_epi32(low, share));
      const __m128i f = _mm_add_epi32(w1, w2);
      const __m128 w1f = _mm_cvtepi32_ps(w1), w2f = _mm_cvtepi32_ps(w2), ff = _mm_cvtepi32_ps(f);
      const __m128 half = _mm_cvtepi32_ps(_mm_srli_epi32(f, 1));
      const __m128 divisor = _mm_max_ps(ff, one);  // lanes with f = 0 are not blended
      __m128i out = _mm_slli_epi32(
          _mm_srli_epi32(_mm_mulhi_epu16(_mm_add_epi32(f, _mm_set1_epi32(127)), _mm_set1_epi32(0x8081)), 7),
          24);
      for (int c = 0; c < 3; ++c) {
        const __m128 pc = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(pv, 8 * c), low));
        const __m128 qc = _mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(qv, 8 * c), low));
        const __m128 num = _mm_add_ps(_mm_add_ps(_mm_mul_ps(w1f, pc), _mm_mul_ps(w2f, qc)), half);
        out = _mm_or_si128(out, _mm_slli_epi32(_mm_cvttps_epi32(_mm_div_ps(num, divisor)), 8 * c));
      }
      r = _mm_or_si128(_mm_and_si128(p_clear, qv), _mm_andnot_si128(p_clear, out));
    }
    r = _mm_or_si128(_mm_and_si128(q_clear, pv), _mm_andnot_si128(q_clear, r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4 * x), r);
  }
#endif
  for (; x < w; ++x) blend_pixel(p + 4 * x, q + 4 * x, m + 4 * x);
}

void blend_row(float* p, const float* q, const uint8_t* m, int32_t w) {
  const float t = float_alpha_epsilon;
  for (int32_t x = 0; x < w; ++x, p += 4, q += 4, m += 4) {
    const float a = const_seam_pixel(m).image1(), b = const_seam_pixel(m).image2();
    if (p[3] > t && q[3] > t) {
      if (a > 0 && b > 0) {
        const float c = a * p[3], d = b * q[3], e = c + d;
#if defined(__SSE2__)
        const __m128 r = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(c / e), _mm_loadu_ps(p)),
                                    _mm_mul_ps(_mm_set1_ps(d / e), _mm_loadu_ps(q)));
        const float alpha = e / (a + b);
        _mm_storeu_ps(p, r);
        p[3] = alpha;
#else
        for (int k = 0; k < 3; ++k) p[k] = (c / e) * p[k] + (d / e) * q[k];
        p[3] = e / (a + b);
#endif
      } else if (b > 0) {
        p[0] = q[0], p[1] = q[1], p[2] = q[2], p[3] = q[3];
      } else if (a == 0) {  // no share either way: mix by alpha alone
#if defined(__SSE2__)
        const float sum = p[3] + q[3];
        const __m128 r = _mm_div_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(q[3]), _mm_loadu_ps(q)),
                                               _mm_mul_ps(_mm_set1_ps(p[3]), _mm_loadu_ps(p))),
                                    _mm_set1_ps(sum));
        _mm_storeu_ps(p, r);
        p[3] = sum * 0.5f;
#else
        for (int k = 0; k < 3; ++k) p[k] = (q[3] * q[k] + p[3] * p[k]) / (p[3] + q[3]);
        p[3] = (p[3] + q[3]) * 0.5f;
#endif
      }
    } else if (q[3] > t) {
      p[0] = q[0], p[1] = q[1], p[2] = q[2], p[3] = q[3];
    } else if (!(p[3] > t)) {
      p[0] = p[1] = p[2] = p[3] = 0.0f;
    }
  }
}

}  // namespace

void blend_level(const dib_ptr& level1, const dib_ptr& level2, const dib_ptr& mask, int32_t tsmooth,
                 int32_t level_index, const blend_context& context) {
  progress_tracker* const progress = context.progress;
  stage_scope stage(progress, "Final Blending");
  stage.step_end(50);
  if (tsmooth > 0) {
    dib_ptr copy(mask->clone());
    low_pass_filter(copy, mask, tsmooth, progress);
  }
  context.pyramid_dump("BlendMask_" + std::to_string(level_index), mask);
  stage.step_end(100);
  blend_weighted(level1, level2, mask, progress);
}

void blend_weighted(const dib_ptr& level1, const dib_ptr& level2, const dib_ptr& mask,
                    progress_tracker* progress) {
  stage_scope stage(progress, "blend_weighted");
  check_blend_inputs(level1, level2, mask);
  dib_ptr m = mask_bytes(mask);
  if (level1->bits_per_pixel() > 32) {
    stage_scope float_stage(progress, "Alpha blending of laplacian");
    blend_rows<float>(*level1, *level2, *m, float_stage,
                      [](float* p, const float* q, const uint8_t* mr, int32_t w) { blend_row(p, q, mr, w); });
  } else {
    blend_rows<uint8_t>(
        *level1, *level2, *m, stage,
        [](uint8_t* p, const uint8_t* q, const uint8_t* mr, int32_t w) { blend_row(p, q, mr, w); });
  }
}
