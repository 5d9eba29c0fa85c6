#include "run/output_canvas.h"

#include <cstdio>

#include "image/canvas_view.h"
#include "merge/seam_labels.h"

dib_ptr fit_to_output_canvas(const dib_ptr& result, const irect& result_rect, int32_t period,
                             const std::optional<irect>& canvas, seam_labels* labels,
                             std::optional<output_position>& position) {
  const irect shown = canvas ? *canvas : result_rect;
  dib_ptr image = view_on_canvas(result, result_rect, shown, period);
  if (const auto* view = dynamic_cast<const canvas_view*>(image.get()); view && view->misses_source())
    std::printf("Warning: the canvas %dx%d%+d%+d misses every input (they lie in %dx%d%+d%+d): the output is "
                "transparent\n",
                shown.width(), shown.height(), shown.left, shown.top, result_rect.width(), result_rect.height(),
                result_rect.left, result_rect.top);
  if (labels && !(labels->rect() == shown)) labels->cut_to_canvas(shown, period);
  if (position) {
    position->x = shown.left;
    position->y = shown.top;
    if (shown.left < 0 || shown.top < 0)
      std::printf("Warning: the output's corner (%d, %d) lies left of or above the canvas origin, where TIFF "
                  "position tags cannot point: none are written\n",
                  shown.left, shown.top);
  }
  return image;
}
