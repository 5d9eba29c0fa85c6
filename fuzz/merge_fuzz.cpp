// Fuzz target: a command line and two small input files (format in merge_input.h), run as
// the program runs them. After every run no temporary file may remain, and a failed run
// must leave no output.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_files.h"
#include "merge_input.h"
#include "run/program.h"

namespace {
std::string make_dir(const std::string& name) {
  const std::string path = fuzz_folder() + "/" + name;
  std::filesystem::create_directories(path);
  return path;
}

bool folder_is_empty(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::directory_iterator(path, ignored) == std::filesystem::directory_iterator();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The banner and the progress line are not what is tested.
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) dup2(null, STDOUT_FILENO);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  merge_input input;
  if (!parse_merge_input(data, size, input)) return 0;
  const std::string work = make_dir("work"), temp = make_dir("temp");
  if (!write_merge_files(input, work)) std::abort();
  const bool output_is_input = std::filesystem::exists(work + "/" + input.output);

  std::vector<const char*> argv{"quiltmerge"};
  for (const std::string& word : input.words) argv.push_back(word.c_str());
  argv.push_back(nullptr);
  setenv("TMPDIR", temp.c_str(), 1);
  unsetenv("QUILTMERGE_THREADS");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(work);
  const int status = run_program(static_cast<int>(argv.size() - 1), argv.data());
  std::filesystem::current_path(before);

  if (!folder_is_empty(temp)) std::abort();  // a temporary image file was left behind
  for (const auto& entry : std::filesystem::directory_iterator(work))
    if (entry.path().filename().string()[0] == '.') std::abort();  // a hidden output temp file
  if (status != 0 && !output_is_input && std::filesystem::exists(work + "/" + input.output)) std::abort();
  empty_fuzz_folder();
  return 0;
}
