#include "run/command_line.h"

#include <cstdio>

#include "run/option_docs.h"
#include "run/option_table.h"
#include "run/option_values.h"

void parse_command_line(int argc, const char* const* argv, input_list& inputs, std::string& output_name,
                        blend_options& blend, wrap_options& wrap, run_options& run) {
  output_name = "blended.tif";
  option_target target{output_name, blend, wrap, run};
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    const option_info* match = find_option(word);
    if (!match) {
      inputs.push_back({word, target.x_offset, target.y_offset});
      continue;
    }
    const char* value = nullptr;
    if (match->takes_value()) {
      if (i + 1 >= argc) throw command_line_error(std::string("Missing value for ") + word, true);
      value = argv[++i];
    }
    if (match->apply) match->apply(target, word, value);
  }
}

int32_t resolve_thread_count(const run_options& run, const char* environment) {
  if (run.threads >= 0) return run.threads;
  if (environment && *environment) return thread_count_value("QUILTMERGE_THREADS", environment);
  return 0;
}

void check_wrap_mode(wrap_options& wrap) {
  if (wrap.WrapMode < 0 || wrap.WrapMode > 2) {
    std::printf("Invalid WrapMode (disabled ...)\n");
    wrap.WrapMode = 0;
  }
}

void clamp_blend_options(blend_options& options) {
  if (options.MinSize < 0) options.MinSize = 0;
  if (options.TSmooth < 0) options.TSmooth = 0;
  if (options.HiPassLevel < 0) options.HiPassLevel = 0;
  options.DEC = options.DEC < 0.0f ? 0.0f : (options.DEC > 1.0f ? 1.0f : options.DEC);
  options.DER = options.DER < 0.0f ? 0.0f : (options.DER > 1.0f ? 1.0f : options.DER);
  if (options.MaxComp < 1) options.MaxComp = 1;
}

void print_banner() { std::printf(" %s %s started, please wait...\n", program_name, program_version); }

void print_usage() {
  std::printf("%s %s\n", program_name, program_version);
  std::printf("usage: \n");
  std::printf("-o: output file name (list of input files)\n");
  std::printf("-xoff: offset of input picture by x\n");
  std::printf("-yoff: offset of input picture by y\n");
  std::printf("example:\n");
  std::printf("%s -o out.jpg in_file1.jpg -xoff 100 in_file2.jpg\n", program_name);
}

void print_help() { std::fputs(help_text().c_str(), stdout); }
