#include "run/command_line.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "io/load_image.h"
#include "merge/wrap_period.h"

#include "run/option_docs.h"
#include "run/option_table.h"
#include "run/option_values.h"

namespace {
// An option as written: its table entry, the spelling that named it, and the value the
// word carries itself ("--output=pano.tif", "-f3197x1458+86+112"), if any.
struct written_option {
  const option_info* option = nullptr;
  std::string name;
  const char* value = nullptr;
};

// The forms beyond the exact word: --word=VALUE, and a value glued to a one-letter word.
written_option with_value_inside(const char* word) {
  if (word[1] == '\0') return {};
  if (word[1] == '-') {
    const char* equals = std::strchr(word, '=');
    if (!equals) return {};
    std::string name(word, equals);
    const option_info* o = find_option(name.c_str());
    return o ? written_option{o, name, equals + 1} : written_option{};
  }
  const std::string name(word, 2);
  const option_info* o = find_option(name.c_str());
  // Only a digit may follow, so that a mistyped word ("-output") is not read as -o utput.
  if (!o || o->form != value_form::attached || !std::isdigit(static_cast<unsigned char>(word[2]))) return {};
  return {o, name, word + 2};
}

bool names_existing_file(const char* word) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(word, ignored));
}
}  // namespace

void parse_command_line(int argc, const char* const* argv, input_list& inputs, std::string& output_name,
                        blend_options& blend, wrap_options& wrap, run_options& run) {
  output_name = "blended.tif";
  option_target target{output_name, blend, wrap, run};
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    if (options_ended || word[0] != '-') {
      inputs.push_back({word, target.x_offset, target.y_offset});
      continue;
    }
    if (std::strcmp(word, "--") == 0) {
      if (i + 1 == argc)
        throw command_line_error("Nothing follows --, which ends the options: the inputs go after it", false);
      options_ended = true;
      continue;
    }
    written_option match{find_option(word), word, nullptr};
    if (!match.option) {
      // Every file name that was an input before the option forms grew stays one.
      if (names_existing_file(word)) {
        inputs.push_back({word, target.x_offset, target.y_offset});
        continue;
      }
      match = with_value_inside(word);
      if (!match.option)
        throw command_line_error(std::string("Unknown option: ") + word +
                                     " (and no file has that name); quiltmerge --help lists the options",
                                 false);
    }
    const option_info& o = *match.option;
    const char* value = match.value;
    if (o.takes_value() && !value) {
      if (i + 1 >= argc) throw command_line_error("Missing value for " + match.name, true);
      value = argv[++i];
    } else if (!o.value_name && value) {
      throw command_line_error(match.name + " takes no value: " + word, false);
    }
    if (o.apply) o.apply(target, match.name.c_str(), value);
  }
}

void settle_canvas(const run_options& run, wrap_options& wrap) {
  if (run.canvas && wrap.WrapMode > 0 && wrap.HorWrap < 1) wrap.HorWrap = run.canvas->width();
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
  if (wrap.HorWrap > max_wrap_period)
    throw command_line_error("-HorWrap " + std::to_string(wrap.HorWrap) + " is wider than any canvas can hold (at most " +
                                 std::to_string(max_wrap_period) + " columns)",
                             false);
}

void clamp_blend_options(blend_options& options) {
  if (options.MinSize < 0) options.MinSize = 0;
  if (options.TSmooth < 0) options.TSmooth = 0;
  if (options.HiPassLevel < 0) options.HiPassLevel = 0;
  options.DEC = options.DEC < 0.0f ? 0.0f : (options.DEC > 1.0f ? 1.0f : options.DEC);
  options.DER = options.DER < 0.0f ? 0.0f : (options.DER > 1.0f ? 1.0f : options.DER);
  if (options.MaxComp < 1) options.MaxComp = 1;
}

void check_output_options(const run_options& run, const std::string& output_name, size_t input_count) {
  const bool tiff_output = has_tiff_extension(output_name);
  if (run.compression != tiff_compression::packbits && !tiff_output)
    throw command_line_error("--compression applies to TIFF outputs only, not to " + output_name, false);
  if (run.bigtiff && !tiff_output)
    throw command_line_error("--bigtiff applies to TIFF outputs only, not to " + output_name, false);
  if (run.seams_name.empty()) return;
  const size_t dot = run.seams_name.rfind('.');
  const std::string extension = dot == std::string::npos ? "" : run.seams_name.substr(dot + 1);
  if (!has_tiff_extension(run.seams_name) && extension != "png" && extension != "PNG")
    throw command_line_error("--save-seams needs a .png or .tif name: " + run.seams_name, false);
  if (input_count > max_seam_label)
    throw command_line_error("--save-seams numbers at most " + std::to_string(max_seam_label) +
                                 " inputs in 8 bits; this run has " + std::to_string(input_count),
                             false);
  if (run.seams_name == output_name)
    throw command_line_error("--save-seams would overwrite the output " + output_name, false);
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
