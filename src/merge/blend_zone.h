// The blend core of one merge: the common opaque region of two placed images, the
// zone around it, the seam mask and the level-by-level pyramid blend of the zone.
#pragma once

#include <cstdint>

#include "blend/blend_context.h"
#include "image/dib.h"
#include "image/irect.h"

class progress_tracker;
struct seam_sides;

// The blended zone (image 1's model, size of zone_out), or null when no pixel is opaque in both.
// With sides_out, it also receives the zone's seam mask as it was before blending.
dib_ptr blend_zone(const dib_ptr& image1, const dib_ptr& image2, int32_t dx, int32_t dy, irect& zone_out,
                   const blend_context& context, seam_sides* sides_out = nullptr);

bool opaque_overlap(const dib_ptr& image1, const dib_ptr& image2, int32_t dx, int32_t dy, irect& region_out,
                    progress_tracker* progress);

int pyramid_level_count(const irect& region, int32_t min_size);

void blend_zone_rect(const irect& union_rect, const irect& region, irect& zone_out, int32_t& levels_out,
                     int32_t min_size);
