// The colour profile the output carries (the first input's) and the warning for inputs
// whose profile differs from it; pixels are never converted between profiles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "merge/options.h"

struct colour_profiles {
  std::vector<uint8_t> output;   // the first input's profile; empty when it has none
  std::vector<std::string> differing;  // later inputs with another profile, or with one where the first has none
  std::vector<std::string> broken;     // one line per input whose profile is damaged and left out
};

colour_profiles read_colour_profiles(const input_list& inputs);

// The lines on broken profiles, then one naming the files whose profile differs from the
// first's; empty when every input agrees with the first and no profile is broken.
std::string profile_warning(const input_list& inputs, const colour_profiles& profiles);
