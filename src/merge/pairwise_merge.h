// One merge step: the new image goes onto the accumulated result, the blended zone
// around their seam on top, on a canvas grown to hold both.
#pragma once

#include <cstdint>

#include "blend/blend_context.h"
#include "image/dib.h"
#include "image/irect.h"

class seam_labels;

// Where a merge records who owns each pixel, and the new image's number there.
struct seam_labelling {
  seam_labels* map = nullptr;
  uint8_t label = 0;
};

// acc_rect (in/out) is the result's canvas rectangle; on return it is the union.
// The result shares pixels with acc: it is acc itself when the canvas keeps its size,
// else a window of a backing image with room to grow (see image/growing_canvas.h).
// Starts the next dump prefix on context.dumps.
dib_ptr pairwise_merge(const dib_ptr& result, const dib_ptr& image, int32_t x, int32_t y, irect& acc_rect,
                       const blend_context& context, const seam_labelling& labelling = {});

// The canvas rectangle of an image of w x h placed at (x, y); throws when it leaves int32.
irect placed_rect(int32_t x, int32_t y, int32_t width, int32_t height);
