// What the exposure step is asked to correct before the merges: one gain per input and
// channel, or a smooth grid of gains across each input, and a lens falloff shared by all.
#pragma once

enum class exposure_mode { off, gain, gain_grid };

struct exposure_options {
  exposure_mode mode = exposure_mode::off;
  bool vignetting = false;

  bool active() const { return mode != exposure_mode::off || vignetting; }
  bool operator==(const exposure_options&) const = default;
};
