#include "run/colour_profiles.h"

#include "io/icc_profile_load.h"

colour_profiles read_colour_profiles(const input_list& inputs) {
  colour_profiles profiles;
  if (inputs.empty()) return profiles;
  profiles.output = icc_profile_load(inputs[0].file_name);
  for (size_t i = 1; i < inputs.size(); ++i)
    // An input without a profile is taken to be in the first one's space: that is how
    // the pixels are merged, and most files carry none.
    if (const std::vector<uint8_t> profile = icc_profile_load(inputs[i].file_name);
        !profile.empty() && profile != profiles.output)
      profiles.differing.push_back(inputs[i].file_name);
  return profiles;
}

std::string profile_warning(const input_list& inputs, const colour_profiles& profiles) {
  if (profiles.differing.empty()) return "";
  std::string names;
  for (const std::string& name : profiles.differing) names += (names.empty() ? "" : ", ") + name;
  const bool one = profiles.differing.size() == 1;
  const std::string& first = inputs[0].file_name;
  if (profiles.output.empty())
    return "Warning: " + names + (one ? " carries" : " carry") + " a colour profile and the first input " + first +
           " none; the output carries none and the pixels are merged unconverted";
  return "Warning: " + names + (one ? " carries" : " carry") + " another colour profile than " + first +
         ", whose profile the output carries; the pixels are merged unconverted";
}
