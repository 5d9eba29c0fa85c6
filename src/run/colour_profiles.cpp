#include "run/colour_profiles.h"

#include <algorithm>

#include "io/icc_profile_load.h"

namespace {
// The file's profile; a broken one counts as none, with a line saying why.
std::vector<uint8_t> sound_profile(const std::string& file_name, std::vector<std::string>& broken) {
  std::vector<uint8_t> profile = icc_profile_load(file_name);
  if (profile.empty()) return profile;
  if (const std::string fault = icc_profile_fault(profile); !fault.empty()) {
    const std::string line = "Warning: the colour profile of " + file_name + " is damaged (" + fault + ") and left out";
    if (std::find(broken.begin(), broken.end(), line) == broken.end()) broken.push_back(line);  // a file named twice
    profile.clear();
  }
  return profile;
}
}  // namespace

colour_profiles read_colour_profiles(const input_list& inputs) {
  colour_profiles profiles;
  if (inputs.empty()) return profiles;
  profiles.output = sound_profile(inputs[0].file_name, profiles.broken);
  for (size_t i = 1; i < inputs.size(); ++i)
    // An input without a profile is taken to be in the first one's space: that is how
    // the pixels are merged, and most files carry none.
    if (const std::vector<uint8_t> profile = sound_profile(inputs[i].file_name, profiles.broken);
        !profile.empty() && profile != profiles.output)
      profiles.differing.push_back(inputs[i].file_name);
  return profiles;
}

std::string profile_warning(const input_list& inputs, const colour_profiles& profiles) {
  std::string lines;
  for (const std::string& line : profiles.broken) lines += (lines.empty() ? "" : "\n") + line;
  if (profiles.differing.empty()) return lines;
  if (!lines.empty()) lines += "\n";
  std::string names;
  for (const std::string& name : profiles.differing) names += (names.empty() ? "" : ", ") + name;
  const bool one = profiles.differing.size() == 1;
  const std::string& first = inputs[0].file_name;
  if (profiles.output.empty())
    return lines + "Warning: " + names + (one ? " carries" : " carry") + " a colour profile and the first input " + first +
           " none; the output carries none and the pixels are merged unconverted";
  return lines + "Warning: " + names + (one ? " carries" : " carry") + " another colour profile than " + first +
         ", whose profile the output carries; the pixels are merged unconverted";
}
