// The run: load the inputs in order, merge each into the result, close the wrap when
// asked, save, and drive the progress line with fixed shares.
#pragma once

#include <string>

#include "blend/blend_options.h"
#include "merge/options.h"

class progress_tracker;

// With no tracker given, the run makes its own console progress line.
void run_driver(const input_list& inputs, const std::string& output_name, const blend_options& blend,
                const wrap_options& wrap, progress_tracker* progress = nullptr);
