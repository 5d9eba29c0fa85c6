// The seam mask search: the blend mask of one merge, cut from the seam map of the
// overlap (coarse-to-fine when the overlap exceeds MaxComp) and filled outside the
// search rectangle from the images' coverage.
#pragma once

#include <cstdint>

#include "image/dib.h"
#include "image/irect.h"
#include "blend/blend_context.h"

class progress_tracker;

// A bgra32 mask of mask_rect's size; image 2's top-left pixel sits at (dx, dy) in image-1
// coordinates; the search keeps to the part of the overlap inside limit. Inputs unchanged.
dib_ptr find_best_seam(const dib_ptr& image1, const dib_ptr& image2, int32_t dx, int32_t dy,
                       const irect& limit, const irect& mask_rect, const blend_context& context);

// Consumes the two bgra32 copies and the blank seam map; returns the hardened mask.
dib_ptr search_seam_mask(dib_ptr copy1, dib_ptr copy2, dib_ptr seam_map, const blend_context& context);

// Cuts a reduced copy of the map, then re-cuts only the undecided band at the finer
// level. Consumes the map; overlap is its number of overlap pixels (more than MaxComp).
dib_ptr refine_seam_coarse_to_fine(dib_ptr seam_map, int64_t overlap, const blend_context& context);

// Makes every pixel take one image, its seam_pixel::side(): full share for it, none for the other.
dib_ptr harden_seam_mask(const dib_ptr& mask, progress_tracker* progress);

// Paints the coverage of both images into out (mask_rect's size); image 2 wins where both cover.
void add_seam_borders(const dib_ptr& image1, const dib_ptr& image2, int32_t dx, int32_t dy,
                      const dib_ptr& out, const irect& mask_rect, progress_tracker* progress);
