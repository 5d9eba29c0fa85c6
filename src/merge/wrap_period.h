// The widest period wrap closing can work with: its pieces, the canvas they grow and the
// final cut must all fit the canvas's 32-bit columns, one image row and the room left.
#pragma once

#include <cstdint>

#include "image/irect.h"

// The widest period whose canvas, the period and an eighth of it, still makes a row of
// four-byte pixels with an int32 stride; a -HorWrap above it can never be closed,
// whatever the inputs.
constexpr int64_t max_wrap_period = (int64_t{INT32_MAX} - 15) / 4 * 8 / 9;

// Throws runtime_error "Wrap period of D columns is more than the canvas can hold: " and
// the reason, when closing the merged canvas (acc_rect, pixels of bits_per_pixel) at period
// d would overflow its columns, an image row, or free memory and temporary space together.
void check_wrap_period(int64_t d, const irect& acc_rect, int32_t bits_per_pixel);
