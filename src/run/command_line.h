// Turning the command words into the input list, the output name and the option
// records; the banner, the usage text and the checks made before a run.
#pragma once

#include <cstddef>
#include <string>

#include "blend/blend_options.h"
#include "merge/options.h"
#include "run/command_line_error.h"
#include "run/run_options.h"

constexpr const char* program_name = "quiltmerge";
constexpr const char* program_version = "1.2.4b";
// The label map is 8-bit and 0 means no input.
constexpr size_t max_seam_label = 255;

// Throws command_line_error for an option whose value is missing or not valid, an unknown
// option (a word starting with - that is no option and names no file) and a final --.
void parse_command_line(int argc, const char* const* argv, input_list& inputs, std::string& output_name,
                        blend_options& blend, wrap_options& wrap, run_options& run);

// The thread count to use: -threads when given, else QUILTMERGE_THREADS (environment
// text, may be null), else 0 = every core. Throws command_line_error for a bad value.
int32_t resolve_thread_count(const run_options& run, const char* environment);

// "Invalid WrapMode (disabled ...)" and WrapMode 0 when outside 0..2; a command_line_error
// for a HorWrap wider than any canvas can hold.
void check_wrap_mode(wrap_options& wrap);
// After check_wrap_mode: with -f and wrap closing on, the canvas width is the period
// unless -HorWrap gave one.
void settle_canvas(const run_options& run, wrap_options& wrap);
void clamp_blend_options(blend_options& options);
// Refuses (command_line_error) what the output cannot hold: a compression other than
// PackBits or --bigtiff for a non-TIFF output, a label map under a name that is neither
// PNG nor TIFF, or one with more inputs than 8 bits can number.
void check_output_options(const run_options& run, const std::string& output_name, size_t input_count);

void print_banner();
// The short usage shown for a command line with fewer than two inputs.
void print_usage();
// The long help of --help: synopsis, every option with its default, exit statuses.
void print_help();
