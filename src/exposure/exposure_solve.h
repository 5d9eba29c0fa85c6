// Solving for every input's correction from the cell comparisons: a robust least-squares
// fit of each input's log exposure (one value, or a grid of nodes across the input) and,
// on request, of one radial lens falloff shared by all inputs.
#pragma once

#include <cstdint>
#include <span>

#include "exposure/cell_comparison.h"
#include "exposure/exposure_correction.h"
#include "exposure/exposure_options.h"

struct input_size {
  int32_t width = 0;
  int32_t height = 0;
};

// Each comparison says log(first) - log(second) = L_first(p) - L_second(q) + v(r_p) - v(r_q)
// for log exposures L and log falloff v. A weak prior pulls every L towards 0, so that
// the mosaic keeps its overall brightness; cells that disagree with the fit (moving
// things) lose weight round by round. The correction undoes L and v.
exposure_correction solve_exposure(std::span<const cell_comparison> comparisons, std::span<const input_size> sizes,
                                   const exposure_options& options);

// Nodes across and down each input for gain_grid with this many inputs (fewer when there
// are many, to keep the equations small).
int32_t grid_nodes_for(size_t inputs);

// Terms of the even polynomial log V(r).
constexpr int falloff_terms = 3;
