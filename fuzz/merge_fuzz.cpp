// Fuzz target: a command line and two small input files, run as the program runs them.
// Input: words separated by spaces up to a NUL byte, then a 16-bit little-endian length,
// file A of that length, and file B (the rest). A word "A.ext" or "B.ext" names that file.
// Words with '/' are skipped, so that a run can write nowhere but its own folder. After
// every run no temporary file may remain, and a failed run must leave no output.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_files.h"
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

void write_file(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The banner and the progress line are not what is tested.
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) dup2(null, STDOUT_FILENO);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* end = data + size;
  const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  if (!nul || end - nul < 3) return 0;
  const std::string text(reinterpret_cast<const char*>(data), nul - data);
  const size_t a_size = std::min<size_t>(nul[1] | (nul[2] << 8), end - nul - 3);
  const uint8_t* a = nul + 3;
  const uint8_t* b = a + a_size;

  std::vector<std::string> words{"quiltmerge"};
  std::string output = "blended.tif";
  size_t from = 0;
  while (from < text.size()) {
    size_t to = text.find(' ', from);
    if (to == std::string::npos) to = text.size();
    const std::string word = text.substr(from, to - from);
    from = to + 1;
    if (word.empty() || word.find('/') != std::string::npos || word == "." || word == "..") continue;
    if (words.size() > 40) return 0;
    if (words.back() == "-o") output = word;
    words.push_back(word);
  }

  const std::string work = make_dir("work"), temp = make_dir("temp");
  for (const std::string& word : words) {
    if (word.size() < 2 || word[1] != '.') continue;
    if (word[0] == 'A') write_file(work + "/" + word, a, b - a);
    if (word[0] == 'B') write_file(work + "/" + word, b, end - b);
  }
  const bool output_is_input = std::filesystem::exists(work + "/" + output);

  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  argv.push_back(nullptr);
  setenv("TMPDIR", temp.c_str(), 1);
  unsetenv("QUILTMERGE_THREADS");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(work);
  const int status = run_program(static_cast<int>(words.size()), argv.data());
  std::filesystem::current_path(before);

  if (!folder_is_empty(temp)) std::abort();  // a temporary image file was left behind
  for (const auto& entry : std::filesystem::directory_iterator(work))
    if (entry.path().filename().string()[0] == '.') std::abort();  // a hidden output temp file
  if (status != 0 && !output_is_input && std::filesystem::exists(work + "/" + output)) std::abort();
  empty_fuzz_folder();
  return 0;
}
