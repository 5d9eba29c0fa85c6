#include "image/file_view.h"

#include <stdexcept>

#include "image/temp_file.h"
#include "platform/system_error.h"
#include "platform/temp_files.h"

void file_view::map(const temp_file& file, uint64_t offset, uint64_t wanted) {
  use_count = 0;
  address = nullptr;
  uint64_t g = file.granularity();
  file_offset = offset / g * g;
  uint64_t len = wanted + (offset - file_offset);
  len = (len + g - 1) / g * g;
  if (file_offset + len > file.size()) len = file.size() - file_offset;
  clear_system_error();
  void* p = map_file_view(file.descriptor(), file_offset, static_cast<size_t>(len));
  if (!p) throw std::runtime_error("Failed: MapViewOfFile : " + system_error_text());
  address = static_cast<uint8_t*>(p);
  length = static_cast<size_t>(len);
}

void file_view::unmap() {
  bool ok = true;
  if (address) {
    clear_system_error();
    ok = unmap_file_view(address, length);
  }
  address = nullptr;
  length = 0;
  file_offset = 0;
  if (!ok) throw std::runtime_error("Failed: UnmapViewOfFile: " + system_error_text());
}
