// The minimum cut of a seam map: one graph node per overlap pixel, tied to the image
// whose pure area it touches, each pixel then rewritten to the side it was cut to.
#pragma once

#include "image/dib.h"

class progress_tracker;

// Rewrites every overlap pixel of the bgra32 map (blend/seam_pixel.h) in place to the image
// it was cut to: that image's share full, the other's none, cost kept, valid. Returns the
// map; a null map gives null.
dib_ptr cut_seam_region(const dib_ptr& seam_map, progress_tracker* progress);
