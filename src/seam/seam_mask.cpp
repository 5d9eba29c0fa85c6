#include "seam/seam_mask.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "blend/reduce_expand.h"
#include "blend/seam_pixel.h"
#include "image/dib_cursor.h"
#include "image/region_copy.h"
#include "platform/internal_error.h"
#include "progress/profiler.h"
#include "progress/progress_tracker.h"
#include "seam/cut_seam_region.h"
#include "seam/seam_error.h"

namespace {

constexpr int A = 3;  // alpha byte of an input's bgra32 pixel

double row_percent(int64_t k, int64_t n) { return static_cast<double>(100 * k / n); }

irect placed(const dib& image, int32_t dx, int32_t dy) {
  return irect{dx, dy, dx + image.width() - 1, dy + image.height() - 1};
}

// Overlap of both placements within limit; stays (1, 1, 0, 0) when any step is empty.
irect limited_overlap(const dib& image1, const dib& image2, int32_t dx, int32_t dy, const irect& limit) {
  irect both;
  if (!intersect(irect::of(image1), placed(image2, dx, dy), both)) return irect{};
  irect inside;
  if (!intersect(both, limit, inside)) return irect{};
  return inside;
}

// Widens the overlap so the seam can leave it; the margin doubles each time the
// overlap exceeds the pixel budget by another factor of 4.
int64_t search_margin(const irect& overlap, int32_t max_comp) {
  int64_t area = overlap.empty() ? 0 : static_cast<int64_t>(overlap.width()) * overlap.height();
  int64_t m = 3;
  while (area > max_comp) {
    area /= 4;
    m *= 2;
  }
  return m;
}

// Gives the image's side of the mask (full cost, full share) wherever it covers the pixel.
void paint_coverage(dib& image, int32_t dx, int32_t dy, dib& out, const irect& mask_rect, uint8_t image1_share,
                    uint8_t image2_share, progress_tracker* progress) {
  stage_scope stage(progress, "");
  irect area;
  if (!intersect(placed(image, dx, dy), mask_rect, area)) return;
  const bool raw = image.model() == bgra32;
  cursor_handle cursor = raw ? cursor_handle() : make_cursor(&image);
  const int64_t rows = area.height();
  for (int32_t y = area.top; y <= area.bottom; ++y) {
    locked_row target(out, y - mask_rect.top);
    uint8_t* o = target.bytes() + 4 * static_cast<size_t>(area.left - mask_rect.left);
    if (raw) {
      locked_row source(image, y - dy);
      const uint8_t* s = source.bytes() + 4 * static_cast<size_t>(area.left - dx);
      for (int32_t x = area.left; x <= area.right; ++x, s += 4, o += 4)
        if (s[A] != 0) seam_pixel(o).set(255, image1_share, image2_share, 255);
    } else {
      cursor->move_to(area.left - dx, y - dy);
      rgba8 p;
      for (int32_t x = area.left; x <= area.right; ++x, o += 4) {
        cursor->get_bytes(p);
        cursor->next_pixel();
        if (p.a != 0) seam_pixel(o).set(255, image1_share, image2_share, 255);
      }
    }
    stage.progress(row_percent(y - area.top, rows));
  }
}

}  // namespace

dib_ptr harden_seam_mask(const dib_ptr& mask, progress_tracker* progress) {
  if (!mask) return {};
  QM_ASSERT(mask->model() == bgra32);
  stage_scope stage(progress, "");
  const int32_t w = mask->width(), h = mask->height();
  for (int32_t y = 0; y < h; ++y) {
    locked_row row(*mask, y);
    uint8_t* m = row.bytes();
    for (int32_t x = 0; x < w; ++x, m += 4) {
      // seam_pixel::side(), written out so the loop stays branch-light.
      const seam_pixel p(m);
      if (p.image1() > p.image2())
        p.set_shares(255, 0);
      else
        p.set_shares(0, p.image2() > 0 ? 255 : 0);
      p.set_valid(255);
    }
    stage.progress(row_percent(y, h));
  }
  return mask;
}

void add_seam_borders(const dib_ptr& image1, const dib_ptr& image2, int32_t dx, int32_t dy,
                      const dib_ptr& out, const irect& mask_rect, progress_tracker* progress) {
  QM_ASSERT(image1 && image2 && out && out->model() == bgra32);
  stage_scope stage(progress, " Add Borders");
  stage.step_end(50);
  paint_coverage(*image1, 0, 0, *out, mask_rect, 255, 0, progress);
  stage.step_end(100);
  paint_coverage(*image2, dx, dy, *out, mask_rect, 0, 255, progress);
}

dib_ptr refine_seam_coarse_to_fine(dib_ptr seam_map, int64_t overlap, const blend_context& context) {
  const blend_options& options = context.options;
  progress_tracker* const progress = context.progress;
  stage_scope stage(progress, "");
  stage.step_end(25);
  std::vector<std::pair<int32_t, int32_t>> sizes;
  dib_ptr coarse = seam_map;
  {
    stage_scope reduce_stage(progress, "");
    int64_t c = overlap;
    do {
      sizes.emplace_back(coarse->width(), coarse->height());
      if (overlap > 0) reduce_stage.step_end(static_cast<double>(100 - c * 25 / overlap));
      coarse = reduce_dib(coarse, progress);
      c /= 4;
    } while (c > options.MaxComp);
  }

  stage.step_end(50);
  dib_ptr mask = cut_seam_region(coarse, progress);
  coarse.reset();

  stage.step_end(60);
  {
    stage_scope expand_stage(progress, "");
    for (size_t i = sizes.size(); i >= 1; --i) {
      expand_stage.step_end(100.0 / std::pow(4.0, static_cast<double>(i - 1)));
      const auto [w, h] = sizes.back();
      sizes.pop_back();
      mask = expand_dib(mask, w, h, progress);
    }
  }

  // The undecided band: pixels the expansion left between the two images take the
  // error of the full-size map, so the next cut sees the real costs there.
  stage.step_end(70);
  int64_t band = 0;
  {
    stage_scope band_stage(progress, "");
    const int32_t w = mask->width(), h = mask->height();
    for (int32_t y = 0; y < h; ++y) {
      locked_row mask_row(*mask, y), map_row(*seam_map, y);
      uint8_t* m = mask_row.bytes();
      const uint8_t* s = map_row.bytes();
      for (int32_t x = 0; x < w; ++x, m += 4, s += 4) {
        const seam_pixel p(m);
        if (p.in_overlap()) {
          ++band;
          p.set_cost(const_seam_pixel(s).cost());
        }
      }
      band_stage.progress(row_percent(y, h));
    }
  }
  seam_map.reset();
  stage.step_end(100);

  if (band > options.MaxComp) {
    // A band that no longer shrinks is left to the hardening.
    if (band < overlap) return refine_seam_coarse_to_fine(std::move(mask), band, context);
    return mask;
  }
  return cut_seam_region(mask, progress);
}

dib_ptr search_seam_mask(dib_ptr copy1, dib_ptr copy2, dib_ptr seam_map, const blend_context& context) {
  const blend_options& options = context.options;
  progress_tracker* const progress = context.progress;
  stage_scope stage(progress, "Searching of seam mask");
  stage.step_end(40);
  int64_t overlap = 0;
  {
    profile_scope timing("seam error");
    overlap = compute_seam_error(copy1, copy2, seam_map, context);
  }
  copy1.reset();
  copy2.reset();
  context.seam_dump("DBG_06_SeamError", seam_map);

  stage.step_end(56);
  {
    profile_scope timing("seam error");
    add_distance_error(seam_map, context);
  }
  context.seam_dump("DBG_07_SeamError_Plus_DistanceError", seam_map);

  stage.step_end(96);
  dib_ptr mask = overlap > options.MaxComp
                     ? refine_seam_coarse_to_fine(std::move(seam_map), overlap, context)
                     : cut_seam_region(seam_map, progress);
  seam_map.reset();

  stage.step_end(100);
  harden_seam_mask(mask, progress);
  context.seam_dump("DBG_09_SeamError_AlphaMask", mask);
  return mask;
}

dib_ptr find_best_seam(const dib_ptr& image1, const dib_ptr& image2, int32_t dx, int32_t dy,
                       const irect& limit, const irect& mask_rect, const blend_context& context) {
  const blend_options& options = context.options;
  progress_tracker* const progress = context.progress;
  QM_ASSERT(image1 && image2);
  stage_scope stage(progress, "Searching of seam mask");

  irect overlap = limited_overlap(*image1, *image2, dx, dy, limit);
  const int64_t m = search_margin(overlap, options.MaxComp);
  const auto widened = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  overlap = irect{widened(overlap.left - m), widened(overlap.top - m), widened(overlap.right + m),
                  widened(overlap.bottom + m)};

  const irect image2_rect = placed(*image2, dx, dy);
  const irect union_box{std::min(0, dx), std::min(0, dy),
                        std::max({0, image1->width() - 1, image2_rect.right}),
                        std::max({0, image1->height() - 1, image2_rect.bottom})};
  irect search;
  intersect(overlap, union_box, search);
  const int32_t d = search.width(), e = search.height();

  stage.step_end(6);
  dib_ptr copy1(create_dib(d, e, 32));
  copy_dib(image1.get(), copy1.get(), -search.left, -search.top, progress);
  context.seam_dump("DBG_01_BestSeamDIB_1", copy1);
  stage.step_end(12);
  dib_ptr copy2(create_dib(d, e, 32));
  copy_dib(image2.get(), copy2.get(), dx - search.left, dy - search.top, progress);
  context.seam_dump("DBG_01_BestSeamDIB_2", copy2);

  // Too large a search is done at half resolution and its mask expanded afterwards.
  const bool halved = static_cast<int64_t>(d) * e > 4 * static_cast<int64_t>(options.MaxComp);
  if (halved) {
    stage.step_end(20);
    copy1 = reduce_dib(copy1, progress);
    stage.step_end(28);
    copy2 = reduce_dib(copy2, progress);
  }

  dib_ptr seam_map(copy1->create_blank(copy1->width(), copy1->height()));
  stage.step_end(70);
  dib_ptr mask = search_seam_mask(std::move(copy1), std::move(copy2), std::move(seam_map), context);
  stage.step_end(80);

  if (halved) mask = expand_dib(mask, d, e, progress);

  if (search == mask_rect) {
    stage.step_end(100);
    return mask;
  }

  dib_ptr out(mask->create_blank(mask_rect.width(), mask_rect.height()));
  stage.step_end(95);
  add_seam_borders(image1, image2, dx, dy, out, mask_rect, progress);
  stage.step_end(100);
  copy_dib(mask.get(), out.get(), search.left - mask_rect.left, search.top - mask_rect.top, progress);
  return out;
}
