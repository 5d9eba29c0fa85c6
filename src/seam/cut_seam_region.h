// The minimum cut of a seam map: one graph node per overlap pixel, tied to the image
// whose pure area it touches, each pixel then rewritten to the side it was cut to.
#pragma once

#include "image/dib.h"

class progress_tracker;

// Rewrites every overlap pixel of the bgra32 map in place: (e, 255, 0, 255) for image 1,
// (e, 0, 255, 255) for image 2. Returns the map; a null map gives null.
dib_ptr cut_seam_region(const dib_ptr& seam_map, progress_tracker* progress);
