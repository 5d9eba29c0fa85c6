// Turning the command words into the input list, the output name and the option
// records; the banner, the usage text and the checks made before a run.
#pragma once

#include <stdexcept>
#include <string>

#include "blend/blend_options.h"
#include "merge/options.h"

constexpr const char* program_name = "quiltmerge";
constexpr const char* program_version = "1.2.4b";

// A command line that cannot be run: the message is printed, then (when asked) the usage.
class command_line_error : public std::runtime_error {
 public:
  command_line_error(const std::string& message, bool show_usage)
      : std::runtime_error(message), show_usage_(show_usage) {}
  bool show_usage() const { return show_usage_; }

 private:
  bool show_usage_;
};

// Settings of the process rather than of the merge.
struct run_options {
  int32_t threads = -1;  // -threads N; -1 when not given
};

// Throws command_line_error for an option whose value is missing or not a number.
void parse_command_line(int argc, const char* const* argv, input_list& inputs, std::string& output_name,
                        blend_options& blend, wrap_options& wrap, run_options& run);

// The thread count to use: -threads when given, else QUILTMERGE_THREADS (environment
// text, may be null), else 0 = every core. Throws command_line_error for a bad value.
int32_t resolve_thread_count(const run_options& run, const char* environment);

// "Invalid WrapMode (disabled ...)" and WrapMode 0 when outside 0..2.
void check_wrap_mode(wrap_options& wrap);
void clamp_blend_options(blend_options& options);

void print_banner();
void print_usage();
