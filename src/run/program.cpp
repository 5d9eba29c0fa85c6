#include "run/program.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "exposure/estimate_exposure.h"
#include "image/leak_tracker.h"
#include "platform/clock.h"
#include "platform/parallel.h"
#include "progress/profiler.h"
#include "run/command_line.h"
#include "run/run_driver.h"
#include "run/tiff_placement.h"

namespace {
bool has_word(int argc, const char* const* argv, const char* word) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], word) == 0) return true;
  return false;
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
    check_output_options(run, output_name, inputs.size());
    check_wrap_mode(wrap);
    clamp_blend_options(blend);
    if (run.tiff_positions)
      for (const std::string& warning : place_by_tiff_tags(inputs)) std::printf("%s\n", warning.c_str());
    output_options output;
    output.file.compression = run.compression;
    output.file.bigtiff = run.bigtiff;
    output.seams_name = run.seams_name;
    run_driver(inputs, output_name, blend, wrap, nullptr, output, run.exposure);
    if (wrap.profile) write_profile();
  } catch (const command_line_error& e) {
    std::printf("%s\n", e.what());
    if (e.show_usage()) print_usage();
    return 2;
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
