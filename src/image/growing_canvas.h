// The canvas a run accumulates on: a window of a larger backing image with room on the
// sides it grows towards, so that growing it copies pixels only when the room is used up.
#pragma once

#include <cstdint>

#include "image/dib.h"
#include "image/irect.h"

// In these functions acc is the accumulated image, acc_rect its place on the canvas and
// canvas a rectangle holding acc_rect, all in canvas coordinates.

// A window showing canvas on acc's own backing, or null when acc is not the newest
// canvas window of its backing or the backing does not reach over canvas. The window's
// pixels are acc's inside acc_rect and transparent zero around it.
dib_ptr widen_canvas_in_place(const dib_ptr& acc, const irect& acc_rect, const irect& canvas);

// A window showing canvas on a new, blank backing image of acc's model; acc's pixels
// are for the caller to copy.
dib_ptr new_canvas_window(const dib_ptr& acc, const irect& acc_rect, const irect& canvas);

// The rectangle a new backing covers: old (acc's backing, or acc_rect) joined with
// canvas, and on every side where canvas passes old, half the canvas's width or height
// more, as far as int32 coordinates and the widest row of bytes_per_pixel allow.
irect backing_rect(const irect& old, const irect& canvas, int32_t bytes_per_pixel);
