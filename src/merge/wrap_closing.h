// Closing a full-circle panorama: pieces of the inputs that straddle the period are
// merged, the result is blended against itself one period on, and cut to the period.
#pragma once

#include "blend/blend_context.h"
#include "image/dib.h"
#include "image/irect.h"
#include "merge/input_source.h"
#include "merge/options.h"

class seam_labels;

// The period is HorWrap, or the merged width when HorWrap is not set. labels, when given,
// follow every paste and the final cut (input i's pieces are labelled i + 1).
dib_ptr close_horizontal_wrap(const input_source& inputs, const wrap_options& wrap, irect& acc_rect,
                              const dib_ptr& result, const blend_context& context, seam_labels* labels = nullptr);

// The piece (2e wide, centred on column d) for input i, or the loaded input itself
// with piece_rect left empty when the input does not straddle the period boundary.
dib_ptr make_wrap_piece(const input_source& inputs, size_t i, int32_t period, const irect& acc_rect, irect& piece_rect,
                        progress_tracker* progress);

// Periods below this leave no margin to blend in (d / 8 would be 0).
constexpr int32_t min_wrap_period = 8;
