// Test scope that sends every new image to a temporary file (or to memory), and
// a scope that points TMPDIR at a fresh folder.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "image/dib_storage.h"

class force_file_storage {
 public:
  force_file_storage() {
    set_memory_status_source([] { return memory_status{}; });  // no physical memory: files only
  }
  ~force_file_storage() { set_memory_status_source({}); }
};

class scoped_temp_dir {
 public:
  scoped_temp_dir() {
    char pattern[] = "/tmp/qm_test_XXXXXX";
    path_ = mkdtemp(pattern);
    const char* old = std::getenv("TMPDIR");
    had_old_ = old != nullptr;
    if (had_old_) old_ = old;
    setenv("TMPDIR", path_.c_str(), 1);
  }
  ~scoped_temp_dir() {
    if (had_old_)
      setenv("TMPDIR", old_.c_str(), 1);
    else
      unsetenv("TMPDIR");
    std::string cmd = "rm -rf '" + path_ + "'";
    if (std::system(cmd.c_str()) != 0) {
    }
  }
  const std::string& path() const { return path_; }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(path_.c_str())) {
      while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
      closedir(d);
    }
    return names;
  }

 private:
  std::string path_, old_;
  bool had_old_ = false;
};
