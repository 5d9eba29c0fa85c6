#include "blend/laplacian_pyramid.h"

#include <algorithm>
#include <cmath>

#include "blend/reduce_expand.h"
#include "image/dib_cursor.h"
#include "image/region_copy.h"
#include "progress/progress_tracker.h"
#include "platform/internal_error.h"

namespace {

// 4^k: level k holds about a 4^-k share of the pixels, and so of the work.
double power_of_four(int k) { return std::ldexp(1.0, 2 * k); }

// Red grows with the square of alpha, green with alpha; fully transparent shows blue.
dib_ptr alpha_view(const dib_ptr& level) {
  dib_ptr view(level->create_blank(level->width(), level->height()));
  cursor_handle from = make_cursor(level.get());
  cursor_handle to = make_cursor(view.get());
  for (int32_t y = 0; y < level->height(); ++y) {
    from->move_to(0, y);
    to->move_to(0, y);
    for (int32_t x = 0; x < level->width(); ++x, from->next_pixel(), to->next_pixel()) {
      rgba8 p;
      from->get_bytes(p);
      const uint32_t a = p.a;
      rgba8 q;
      q.r = static_cast<uint8_t>((a * a + 128) >> 8);
      q.g = p.a;
      q.b = a == 0 ? 255 : 0;
      q.a = 255;
      to->set_bytes(q);
    }
  }
  return view;
}

}  // namespace

laplacian_pyramid::laplacian_pyramid(const dib_ptr& image, int32_t levels, progress_tracker* progress) {
  QM_ASSERT(image);
  build(image, levels, progress);
}

// Float band-pass levels are taken off the finer images in place, so the pyramid costs no more
// memory than the source plus its reductions; plain interpolation at the two finest levels.
void laplacian_pyramid::build(const dib_ptr& image, int32_t levels, progress_tracker* progress) {
  const bool floats = image->model() == bgra_float;
  stage_scope outer(progress, "");
  dib_ptr cur = image;
  while (size() + 1 < levels) {
    const int k = size();
    outer.step_end(100.0 - 100.0 / power_of_four(k));
    stage_scope inner(progress, "");
    inner.step_end(30);
    dib_ptr coarse = reduce_dib(cur, progress);
    inner.step_end(80);
    if (floats) {
      expand_float_into(coarse, cur, k >= 2, expand_write::subtract, progress);
      levels_.push_back(cur);
    } else {
      dib_ptr up = expand_dib(coarse, cur->width(), cur->height(), progress);
      inner.step_end(100);
      levels_.push_back(subtract_expanded(up, cur, progress));
    }
    cur = coarse;
  }
  levels_.push_back(cur);
}

dib_ptr laplacian_pyramid::collapse(progress_tracker* progress) {
  if (levels_.empty()) return dib_ptr();
  return levels_.back()->bits_per_pixel() > 32 ? collapse_floats(progress) : collapse_bytes(progress);
}

dib_ptr laplacian_pyramid::collapse_bytes(progress_tracker* progress) {
  stage_scope outer(progress, "");
  dib_ptr cur = levels_.back();
  levels_.pop_back();
  for (int k = size() - 1; k >= 0; --k) {
    outer.step_end(100.0 / power_of_four(k));
    stage_scope inner(progress, "");
    inner.step_end(70);
    dib_ptr up = expand_dib(cur, levels_[k]->width(), levels_[k]->height(), progress);
    inner.step_end(100);
    cur = add_expanded(up, levels_[k], progress);
    levels_.pop_back();
  }
  return cur;
}

dib_ptr laplacian_pyramid::collapse_floats(progress_tracker* progress) {
  stage_scope outer(progress, "");
  dib_ptr cur = levels_.back();
  levels_.pop_back();
  while (!levels_.empty()) {
    outer.step_end(100.0 / power_of_four(size() - 1));
    dib_ptr target = levels_.back();
    levels_.pop_back();
    expand_float_into(cur, target, size() >= 2, expand_write::add, progress);
    cur = target;
  }
  return cur;
}

dib_ptr laplacian_pyramid::montage() const {
  if (levels_.empty()) return dib_ptr();
  const int n = size();
  const int32_t w0 = levels_[0]->width();
  int32_t widths = 0, height = 0;
  for (const dib_ptr& l : levels_) {
    widths += l->width();
    height = std::max(height, l->height());
  }
  dib_ptr canvas(levels_[0]->create_blank(n * w0 + 2 * widths, height));
  int32_t x = 0;
  for (const dib_ptr& l : levels_) {
    copy_dib(l.get(), canvas.get(), x, 0, nullptr);
    x += l->width();
  }
  for (const dib_ptr& l : levels_) {
    copy_dib(alpha_view(l).get(), canvas.get(), x, 0, nullptr);
    x += l->width();
  }

  // Reconstructions from the residual alone down to the full one, each shown at the finest size.
  auto place_at_finest = [&](dib_ptr image, int k) {
    for (int j = k - 1; j >= 0; --j)
      image = expand_dib(image, levels_[j]->width(), levels_[j]->height(), nullptr);
    copy_dib(image.get(), canvas.get(), x, 0, nullptr);
    x += w0;
  };
  dib_ptr rec = levels_.back();
  place_at_finest(rec, n - 1);
  for (int k = n - 2; k >= 0; --k) {
    rec = add_expanded(expand_dib(rec, levels_[k]->width(), levels_[k]->height(), nullptr), levels_[k],
                       nullptr);
    place_at_finest(rec, k);
  }
  return canvas;
}
