#include "blend/level_blend.h"

#include <stdexcept>

#include "blend/box_filter.h"
#include "image/region_copy.h"
#include "progress/progress_tracker.h"

namespace {

void check_blend_inputs(const dib_ptr& level1, const dib_ptr& level2, const dib_ptr& mask) {
  if (!level1 || !level2 || !mask) throw std::runtime_error("DIB is NULL");
  if (level1->model() != level2->model() || (level1->model() != bgra32 && level1->model() != bgra_float))
    throw std::invalid_argument("Blended levels must share the bgra32 or bgra_float model");
  if (level1->width() != level2->width() || level1->height() != level2->height() ||
      level1->width() != mask->width() || level1->height() != mask->height())
    throw std::invalid_argument("Blended levels and mask differ in size");
}

// The blend reads the mask's green and blue bytes straight from bgra32 rows; any other model is seen
// through its byte view.
dib_ptr mask_bytes(const dib_ptr& mask) {
  if (mask->model() == bgra32) return mask;
  dib_ptr copy(create_dib(mask->width(), mask->height(), 32));
  copy_dib(mask.get(), copy.get(), 0, 0, nullptr);
  return copy;
}

void blend_bytes(dib& level1, dib& level2, dib& mask, const stage_scope& stage) {
  const int32_t w = mask.width(), h = mask.height();
  for (int32_t y = 0; y < h; ++y) {
    locked_row p_row(level1, y);
    locked_row q_row(level2, y);
    locked_row m_row(mask, y);
    uint8_t* p = p_row.bytes();
    const uint8_t* q = q_row.bytes();
    const uint8_t* m = m_row.bytes();
    for (int32_t x = 0; x < w; ++x, p += 4, q += 4, m += 4) {
      if (q[3] == 0) continue;
      if (p[3] == 0) {
        p[0] = q[0], p[1] = q[1], p[2] = q[2], p[3] = q[3];
        continue;
      }
      // Share of image 1 from green minus blue; equal shares give 128, a slight bias to image 1.
      const uint32_t share = (m[1] - m[0] + 256) >> 1;
      const uint32_t w1 = p[3] * share;
      const uint32_t w2 = q[3] * (255 - share);
      const uint32_t f = w1 + w2;
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((w1 * p[c] + w2 * q[c] + f / 2) / f);
      p[3] = static_cast<uint8_t>((f + 127) / 255);
    }
    stage.progress(static_cast<double>(int64_t{y} * 100 / h));
  }
}

void blend_floats(dib& level1, dib& level2, dib& mask, progress_tracker* progress) {
  stage_scope stage(progress, "Alpha blending of laplacian");
  const int32_t w = mask.width(), h = level1.height();
  const float t = float_alpha_epsilon;
  for (int32_t y = 0; y < h; ++y) {
    locked_row p_row(level1, y);
    locked_row q_row(level2, y);
    locked_row m_row(mask, y);
    float* p = p_row.as<float>();
    const float* q = q_row.as<float>();
    const uint8_t* m = m_row.bytes();
    for (int32_t x = 0; x < w; ++x, p += 4, q += 4, m += 4) {
      const float a = m[1], b = m[0];  // shares of image 1 and image 2
      if (p[3] > t && q[3] > t) {
        if (a > 0 && b > 0) {
          const float c = a * p[3], d = b * q[3], e = c + d;
          for (int k = 0; k < 3; ++k) p[k] = (c / e) * p[k] + (d / e) * q[k];
          p[3] = e / (a + b);
        } else if (b > 0) {
          p[0] = q[0], p[1] = q[1], p[2] = q[2], p[3] = q[3];
        } else if (a == 0) {  // no share either way: mix by alpha alone
          for (int k = 0; k < 3; ++k) p[k] = (q[3] * q[k] + p[3] * p[k]) / (p[3] + q[3]);
          p[3] = (p[3] + q[3]) * 0.5f;
        }
      } else if (q[3] > t) {
        p[0] = q[0], p[1] = q[1], p[2] = q[2], p[3] = q[3];
      } else if (!(p[3] > t)) {
        p[0] = p[1] = p[2] = p[3] = 0.0f;
      }
    }
    stage.progress(static_cast<double>(int64_t{y} * 100 / h));
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
  if (level1->bits_per_pixel() > 32)
    blend_floats(*level1, *level2, *m, progress);
  else
    blend_bytes(*level1, *level2, *m, stage);
}
