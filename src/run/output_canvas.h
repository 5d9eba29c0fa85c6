// The last step before saving: the merged result is shown through the output's canvas
// (-f, else its own place on the canvas), and the position tags learn where that lies.
#pragma once

#include <cstdint>
#include <optional>

#include "image/dib.h"
#include "image/irect.h"
#include "io/save_image.h"

class seam_labels;

// result covers result_rect on the canvas and repeats every period columns when period > 0
// (a closed wrap). Returns the image to save: result itself when it already is the canvas,
// else a view that cuts and pads without copying it. labels, when given, are cut alike;
// position, when set, gets the canvas corner. A canvas that misses result gets a line.
dib_ptr fit_to_output_canvas(const dib_ptr& result, const irect& result_rect, int32_t period,
                             const std::optional<irect>& canvas, seam_labels* labels,
                             std::optional<output_position>& position);
