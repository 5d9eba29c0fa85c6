// Blending of one pyramid level: the second image's level is mixed into the first's in place,
// weighted by the blend mask's shares of image 1 and image 2 (blend/seam_pixel.h) and both alphas.
#pragma once

#include <cstdint>

#include "blend/blend_context.h"
#include "image/dib.h"

class progress_tracker;

// Smooths the mask in place by tsmooth (kept for the next level's reduction), dumps it as
// "BlendMask_<level_index>" and blends.
void blend_level(const dib_ptr& level1, const dib_ptr& level2, const dib_ptr& mask, int32_t tsmooth,
                 int32_t level_index, const blend_context& context);

void blend_weighted(const dib_ptr& level1, const dib_ptr& level2, const dib_ptr& mask,
                    progress_tracker* progress);
