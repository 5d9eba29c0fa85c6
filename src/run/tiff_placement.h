// --tiff-positions: each input moves to the place its TIFF position tags give, on top of
// the -xoff/-yoff it was given; inputs without the tags keep their offsets.
#pragma once

#include <string>
#include <vector>

#include "merge/options.h"

// Adds the tag positions to the offsets. Returns one warning line per layer the tags place
// outside the full image they describe (a resolution in other units, most likely). Throws
// std::runtime_error when a position takes an offset out of int32 range.
std::vector<std::string> place_by_tiff_tags(input_list& inputs);
