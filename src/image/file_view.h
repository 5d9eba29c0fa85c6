// One mapped window of a temporary file, aligned to the allocation granularity.
#pragma once

#include <cstddef>
#include <cstdint>

class temp_file;

struct file_view {
  int32_t use_count = 0;  // row locks currently served through this view
  uint8_t* address = nullptr;
  size_t length = 0;
  uint64_t file_offset = 0;

  void map(const temp_file& file, uint64_t offset, uint64_t length);
  void unmap();
};
