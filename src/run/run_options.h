// Settings of the run rather than of the merge, filled from the command line: the
// worker thread count, where the inputs' places come from, what the output shows and
// what is written besides the pixels.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/irect.h"
#include "exposure/exposure_options.h"
#include "io/save_image.h"

struct run_options {
  int32_t threads = -1;  // -threads N; -1 when not given
  bool tiff_positions = false;
  tiff_compression compression = tiff_compression::packbits;
  bool bigtiff = false;
  std::string seams_name;  // empty: no label map
  std::optional<irect> canvas;  // -f: the canvas rectangle the output shows
  bool quiet = false;  // no progress line
  std::vector<std::string> ignored;  // enblend options given that mean nothing here
  exposure_options exposure;  // gains and falloff corrected before the merges

  bool operator==(const run_options&) const = default;
};
