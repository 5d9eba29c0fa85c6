// --tiff-positions: each input moves to the place its TIFF position tags give, on top of
// the -xoff/-yoff it was given; inputs without the tags keep their offsets.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "io/save_image.h"
#include "merge/options.h"

// Adds the tag positions to the offsets. Returns one warning line per layer the tags place
// outside the full image they describe (a resolution in other units, most likely). Throws
// std::runtime_error when a position takes an offset out of int32 range.
std::vector<std::string> place_by_tiff_tags(input_list& inputs);

// The resolution and full size the output's position tags take: those of the first input
// with position tags, none when no input has them.
std::optional<output_position> reference_position(const input_list& inputs);

// One warning line when TIFF inputs carry position tags that will not be used (no
// --tiff-positions, no -f), else empty. Only regular files are looked into.
std::string unused_position_tags_notice(const input_list& inputs);
