#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../fuzz/merge_input.h"
#include "image/dib.h"
#include "io/save_image.h"
#include "support/run_binary.h"
#include "support/storage_override.h"

// Every input that made a fuzz target fail is run through the program again: each must end
// in a message and exit status 1 (or a result and 0), never a crash, a hang, a temporary
// file or an output of a failed run. Files cut short (cut-*) and files whose decoder
// writes past its buffer (overrun-*) once merged into garbage: they must end in status 1. The runs of a group go at once, so that decoders
// stopped at their deadline cost the test one deadline, not one each.
namespace {
const std::string regressions = QM_FUZZ_REGRESSIONS;

std::vector<std::filesystem::path> findings(const std::string& target) {
  std::vector<std::filesystem::path> files;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(regressions + "/" + target, ignored))
    files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

struct pending_run {
  std::string name;
  std::string folder;
  std::FILE* pipe = nullptr;
  bool must_fail = false;
};

// Starts the program in folder; the output is collected by finish_run.
pending_run start_run(const std::string& name, const std::string& folder, const std::string& arguments) {
  const std::string command = "cd '" + folder + "' && TMPDIR='" + folder + "/temp' '" QM_BINARY "' " + arguments + " 2>&1";
  return {name, folder, popen(command.c_str(), "r")};
}

void finish_run(pending_run& run, const std::string& output_name, bool output_is_input) {
  ASSERT_NE(run.pipe, nullptr) << run.name;
  std::string output;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, run.pipe)) > 0) output.append(buffer, n);
  const int raw = pclose(run.pipe);
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  EXPECT_TRUE(status == 0 || status == 1 || status == 2) << run.name << " status " << raw << "\n" << output;
  if (run.must_fail) {
    EXPECT_EQ(status, 1) << run.name << "\n" << output;
  }
  EXPECT_TRUE(std::filesystem::is_empty(run.folder + "/temp")) << run.name;
  for (const auto& entry : std::filesystem::directory_iterator(run.folder))
    EXPECT_NE(entry.path().filename().string()[0], '.') << run.name << ": " << entry.path();
  if (status != 0 && !output_is_input) {
    EXPECT_FALSE(std::filesystem::exists(run.folder + "/" + output_name)) << run.name << "\n" << output;
  }
}

std::string make_folder(const scoped_temp_dir& root, size_t index) {
  const std::string folder = root.path() + "/run" + std::to_string(index);
  std::filesystem::create_directories(folder + "/temp");
  return folder;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

std::string quoted(const std::string& word) {
  std::string text = "'";
  for (const char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return text + "'";
}

std::string second_image(const std::string& folder) {
  dib_ptr image(create_dib(12, 9, 32));
  save_image(folder + "/second.png", image.get(), nullptr);
  return "second.png";
}
}  // namespace

// Loader findings are a TIFF file, or a DevIL file whose first byte chose the extension its
// name keeps, each the first input of a merge; merge findings are whole runs.
TEST(FuzzRegressions, FindingsEndInAMessageOrAResult) {
  scoped_temp_dir root;
  std::vector<pending_run> runs;
  std::vector<std::pair<std::string, bool>> outputs;  // output name, whether it was an input
  for (const std::string target : {"tiff_fuzz", "devil_fuzz"})
    for (const auto& path : findings(target)) {
      const std::string folder = make_folder(root, runs.size());
      std::string bytes = read_file(path.string());
      const bool devil = target == std::string("devil_fuzz");
      if (devil && !bytes.empty()) bytes.erase(0, 1);
      const std::string input = "input" + (devil ? path.extension().string() : std::string(".tif"));
      write_file(folder + "/" + input, bytes);
      outputs.emplace_back("blended.tif", false);
      runs.push_back(start_run(path.filename().string(), folder, input + " " + second_image(folder)));
      const std::string name = path.filename().string();
      runs.back().must_fail = name.rfind("cut-", 0) == 0 || name.rfind("overrun-", 0) == 0;
    }
  for (const auto& path : findings("merge_fuzz")) {
    const std::string bytes = read_file(path.string());
    merge_input input;
    if (!parse_merge_input(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), input)) continue;
    const std::string folder = make_folder(root, runs.size());
    ASSERT_TRUE(write_merge_files(input, folder));
    std::string arguments;
    for (const std::string& word : input.words) arguments += " " + quoted(word);
    outputs.emplace_back(input.output, std::filesystem::exists(folder + "/" + input.output));
    runs.push_back(start_run(path.filename().string(), folder, arguments));
  }
  ASSERT_FALSE(runs.empty()) << "no findings under " << regressions;
  for (size_t i = 0; i < runs.size(); ++i) finish_run(runs[i], outputs[i].first, outputs[i].second);
}
