// The correction the exposure estimate found for each input, and its application to the
// input's pixels as they are loaded.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "exposure/gain_field.h"

class dib;

struct input_correction {
  node_grid grid;                // where the gains live on the input
  std::vector<double> log_gain;  // r, g, b per node: the log of the factor the channel is multiplied by
};

struct exposure_correction {
  std::vector<input_correction> inputs;
  std::vector<double> falloff;  // log V(r) coefficients (gain_field.h); pixels are divided by V

  bool empty() const { return inputs.empty(); }
};

// Multiplies each pixel's colour by its gain and divides it by the falloff, in place;
// alpha is kept, results are clamped to full scale. Same bytes for any thread count.
void apply_correction(dib& image, const input_correction& correction, std::span<const double> falloff);

// The factors r, g, b of pixel (x, y) are multiplied by.
std::array<double, 3> correction_factors(const input_correction& correction, std::span<const double> falloff, double x,
                                         double y);
