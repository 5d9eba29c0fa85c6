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
};

colour_profiles read_colour_profiles(const input_list& inputs);

// One line naming the files, or empty when every input agrees with the first.
std::string profile_warning(const input_list& inputs, const colour_profiles& profiles);
