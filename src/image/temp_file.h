// One temporary file that backs a file-mapped image. The name is unlinked as soon
// as the file is sized, so no file survives even a killed run; the descriptor keeps it alive.
#pragma once

#include <cstdint>
#include <string>

class temp_file {
 public:
  temp_file() = default;
  ~temp_file();
  temp_file(const temp_file&) = delete;
  temp_file& operator=(const temp_file&) = delete;

  void create(const std::string& name, uint64_t size);
  void close();

  int descriptor() const { return fd_; }
  uint64_t size() const { return size_; }
  uint32_t granularity() const { return granularity_; }

 private:
  int fd_ = -1;
  uint64_t size_ = 0;
  std::string name_;  // empty once the file is unlinked
  uint32_t granularity_ = 4096;
};
