// Shared by the fuzz targets: a private folder (in memory where possible) that each input
// is written into under a chosen name, so that the loaders see real files.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

inline const std::string& fuzz_folder() {
  static const std::string folder = [] {
    char pattern[] = "/dev/shm/qm_fuzz_XXXXXX";
    char fallback[] = "/tmp/qm_fuzz_XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) made = mkdtemp(fallback);
    if (!made) std::abort();
    static std::string path;
    path = made;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    });
    return path;
  }();
  return folder;
}

inline std::string write_fuzz_file(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = fuzz_folder() + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

inline void empty_fuzz_folder() {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(fuzz_folder(), ignored))
    std::filesystem::remove_all(entry.path(), ignored);
}
