// Halving and doubling of images with alpha-weighted 2x2 and 3/4-1/4 kernels,
// and the band-pass difference and sum between a level and its expansion.
#pragma once

#include <cstdint>

#include "image/dib.h"

class progress_tracker;

dib_ptr reduce_dib(const dib_ptr& src, progress_tracker* progress);
dib_ptr expand_dib(const dib_ptr& src, int32_t width, int32_t height, progress_tracker* progress);
dib_ptr subtract_expanded(const dib_ptr& expanded, const dib_ptr& fine, progress_tracker* progress);
dib_ptr add_expanded(const dib_ptr& expanded, const dib_ptr& band, progress_tracker* progress);

// Float pyramids expand straight into the finer level: stored as a new picture, or taken off
// ((target + 0.5) - expanded, opaque target pixels only) and put back ((target + expanded) - 0.5).
enum class expand_write { store, subtract, add };

// Float expansion of src into target, whose size is the output size. Plain interpolation weights
// the four channels alike; alpha-weighted interpolation weights each colour by its alpha.
void expand_float_into(const dib_ptr& src, const dib_ptr& target, bool alpha_weighted, expand_write mode,
                       progress_tracker* progress);
