#include "run/program.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "exposure/estimate_exposure.h"
#include "image/leak_tracker.h"
#include "io/load_image.h"
#include "platform/clock.h"
#include "platform/internal_error.h"
#include "platform/parallel.h"
#include "progress/profiler.h"
#include "progress/stage_progress.h"
#include "run/command_line.h"
#include "run/destination_check.h"
#include "run/run_driver.h"
#include "run/tiff_placement.h"

namespace {
// Before any --: the words after it are inputs, whatever they look like.
bool has_word(int argc, const char* const* argv, const char* word) {
  for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
    if (std::strcmp(argv[i], word) == 0) return true;
  return false;
}

void print_ignored(const std::vector<std::string>& words) {
  if (words.empty()) return;
  std::string list;
  for (const std::string& w : words) list += (list.empty() ? "" : ", ") + w;
  std::printf("Ignored, as they mean nothing here: %s\n", list.c_str());
}

void write_profile() {
  std::FILE* f = std::fopen("profile.txt", "w");
  if (!f) throw std::runtime_error("Can't write profile.txt");
  std::fputs(profile_report(0, 0), f);
  std::fclose(f);
}
}  // namespace

int run_program(int argc, const char* const* argv) {
  // The trackers live in the static library; naming them links them in, so they report at exit.
  static_cast<void>(dib_leaks.size() + storage_leaks.size());
  if (has_word(argc, argv, "--version")) {
    std::printf("%s %s\n", program_name, program_version);
    return 0;
  }
  print_banner();
  if (has_word(argc, argv, "--help")) {
    print_help();
    return 0;
  }
  const uint32_t start = tick_count_ms();
  input_list inputs;
  std::string output_name;
  blend_options blend;
  wrap_options wrap;
  run_options run;
  int status = 0;
  try {
    parse_command_line(argc, argv, inputs, output_name, blend, wrap, run);
    set_thread_count(resolve_thread_count(run, std::getenv("QUILTMERGE_THREADS")));
    if (inputs.size() < 2) {
      print_usage();
      return argc > 1 ? 2 : 0;
    }
    print_ignored(run.ignored);
    check_output_options(run, output_name, inputs.size());
    check_wrap_mode(wrap);
    settle_canvas(run, wrap);
    clamp_blend_options(blend);
    check_destinations(inputs, {output_name, run.seams_name, wrap.profile, blend.PyramidVerbose});
    output_options output;
    const bool tiff_output = has_tiff_extension(output_name);
    if (run.tiff_positions) {
      if (tiff_output) output.file.position = reference_position(inputs);
      for (const std::string& warning : place_by_tiff_tags(inputs)) std::printf("%s\n", warning.c_str());
    } else if (const std::string notice = unused_position_tags_notice(inputs); !notice.empty()) {
      std::printf("%s\n", notice.c_str());
    }
    // -f names a place on the canvas even when no input had tags: it is then recorded in pixels.
    if (run.canvas && tiff_output && !output.file.position) output.file.position = output_position{};
    output.canvas = run.canvas;
    output.file.compression = run.compression;
    output.file.bigtiff = run.bigtiff;
    output.seams_name = run.seams_name;
    stage_progress silent;
    run_driver(inputs, output_name, blend, wrap, run.quiet ? &silent : nullptr, output, run.exposure);
    if (wrap.profile) write_profile();
  } catch (const command_line_error& e) {
    std::printf("%s\n", e.what());
    if (e.show_usage()) print_usage();
    return 2;
  } catch (const internal_error& e) {
    std::printf("Internal error of quiltmerge (a fault of the program, not of the inputs; please report it): %s\n",
                e.what());
    status = 1;
  } catch (const vignetting_size_error& e) {
    std::printf("\n%s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::printf("%s\n", e.what());
    status = 1;
  }
  const float elapsed = static_cast<float>(static_cast<uint32_t>(tick_count_ms() - start) * 0.001);
  std::printf("\n");
  std::fflush(stdout);
  std::printf("\nTime spent: %5.2f sec\r", elapsed);
  std::fflush(stdout);
  return status;
}
