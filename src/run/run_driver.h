// The run: load the inputs in order, merge each into the result, close the wrap when
// asked, save, and drive the progress line with fixed shares.
#pragma once

#include <optional>
#include <string>

#include "blend/blend_options.h"
#include "image/irect.h"
#include "exposure/exposure_options.h"
#include "merge/options.h"

#include "io/save_image.h"

class progress_tracker;

// What the run writes besides the merged pixels; the defaults add nothing.
struct output_options {
  save_settings file;      // compression, BigTIFF and position tags of a TIFF output
  std::string seams_name;  // the label map of the seams; empty: none
  std::optional<irect> canvas;  // the canvas rectangle the output shows; none: the result's own
};

// With no tracker given, the run makes its own console progress line. An active exposure
// option estimates a correction first, and every input is loaded corrected.
void run_driver(const input_list& inputs, const std::string& output_name, const blend_options& blend,
                const wrap_options& wrap, progress_tracker* progress = nullptr, const output_options& output = {},
                const exposure_options& exposure = {});
