// Alpha-aware square box filters on 8-bit images (running sums, cost independent
// of the radius) and the colour-model check they share.
#pragma once

#include <cstdint>

#include "image/dib.h"

class progress_tracker;

// Both images exist and share a byte model of 24 or 32 bits; an internal_error otherwise.
void check_color_models(const dib_ptr& a, const dib_ptr& b);
dib_ptr low_pass_filter(const dib_ptr& src, const dib_ptr& dst, int32_t radius, progress_tracker* progress);
void high_pass_filter(const dib_ptr& src, const dib_ptr& dst, int32_t radius, int32_t gain,
                      progress_tracker* progress);
