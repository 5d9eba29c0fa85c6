// The seam map: per-pixel cost of letting the seam pass there, built from two equally
// sized bgra32 copies, and the distance term that pushes the seam into the overlap.
#pragma once

#include "image/dib.h"
#include "blend/blend_context.h"

class progress_tracker;

// Fills every pixel of seam_map (a seam_pixel: cost, coverage of image 1 and 2, valid) and
// returns the number of pixels covered by both images (a gigapixel overlap passes 2^31).
// With HiPassLevel > 0 both inputs are replaced in place by their high-pass versions.
int64_t compute_seam_error(const dib_ptr& image1, const dib_ptr& image2, const dib_ptr& seam_map,
                       const blend_context& context);

// Raises the error near the rim of the overlap and lowers it inside; changes only the
// r channel of overlap pixels. Returns seam_map.
dib_ptr add_distance_error(const dib_ptr& seam_map, const blend_context& context);

// Radius of the high-pass box filter for a map of the given size.
int32_t high_pass_radius(int32_t width, int32_t height, int32_t level);
