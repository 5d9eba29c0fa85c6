// Runs the quiltmerge executable in a folder and captures what it prints.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct binary_run {
  int status = -1;
  std::string output;
};

// Runs a shell command line in folder; QM_BINARY names the program.
inline binary_run run_in_folder(const std::string& folder, const std::string& command) {
  binary_run run;
  std::string cmd = "cd '" + folder + "' && { " + command + "; } 2>&1";
  std::FILE* p = popen(cmd.c_str(), "r");
  if (!p) return run;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) run.output.append(buffer, n);
  int raw = pclose(p);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

inline binary_run run_quiltmerge(const std::string& folder, const std::string& arguments) {
  return run_in_folder(folder, "'" QM_BINARY "' " + arguments);
}

inline bool file_exists(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}

inline std::string read_file(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}
