// The seam label map of a run: which input owns each canvas pixel (0 none, 1 the first
// input, ...), kept beside the merged image so that a user can see where the seams ran.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/dib.h"
#include "image/irect.h"

// Which image each pixel of a blend zone took in the seam mask before blending:
// 0 neither, 1 the accumulated image, 2 the new one.
struct seam_sides {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> side;

  uint8_t at(int32_t x, int32_t y) const { return side[static_cast<size_t>(y) * width + x]; }
};

// Reads a bgra32 seam mask the way it is hardened (seam_pixel::side()).
seam_sides sides_of_mask(dib& mask);

class seam_labels {
 public:
  // The first input placed on rect, labelled 1 where copy_opaque would paste it.
  seam_labels(dib& first, const irect& rect);

  const irect& rect() const { return rect_; }
  const uint8_t* row(int32_t y) const { return labels_.data() + static_cast<size_t>(y) * rect_.width(); }

  // One merge: the map grows to canvas, image (placed at x, y) takes its opaque pixels,
  // then every pixel the blended zone covers goes to the side of the cut it lies on.
  // All rectangles and positions are canvas coordinates; zone_image may be null.
  void add_merge(dib& image, int32_t x, int32_t y, uint8_t label, const irect& canvas,
                 dib* zone_image, const irect& zone, const seam_sides& sides);

  // The wrap's self-blend: image 2 is the map itself shifted right by period, and the zone
  // (map coordinates) is pasted at its place and one period to the left.
  void add_wrap_blend(dib& zone_image, const irect& zone, const seam_sides& sides, int32_t period);

  // Keeps the first period columns, as the wrap's final cut does with the image.
  void cut_to_period(int32_t period);

  // Shows exactly canvas, as the output does (image/canvas_view): 0 where the map does not
  // reach, its columns repeating every period when period > 0.
  void cut_to_canvas(const irect& canvas, int32_t period);

 private:
  void grow_to(const irect& canvas);  // canvas holds rect_; the new area is 0
  void paste(dib& image, int32_t x, int32_t y, uint8_t label);
  uint8_t at(int64_t x, int64_t y) const;  // map coordinates, 0 outside
  uint8_t* row_at(int32_t y) { return labels_.data() + static_cast<size_t>(y) * rect_.width(); }

  irect rect_;
  std::vector<uint8_t> labels_;
};
