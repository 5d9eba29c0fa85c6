#include "io/image_size_check.h"

#include <stdexcept>

#include "platform/memory_status.h"
#include "platform/temp_files.h"

namespace {
// The widest bgra_float row whose stride ((width * 16) + 15) / 16 * 16 fits int32.
constexpr int64_t max_width = (INT32_MAX - 15) / 16;
}  // namespace

void check_decoded_size(int64_t width, int64_t height, uint64_t decoded_bytes, uint64_t file_bytes,
                        uint64_t max_ratio, uint64_t image_bytes, const std::string& file_name) {
  const std::string size = std::to_string(width) + " x " + std::to_string(height);
  if ((decoded_bytes + max_ratio - 1) / max_ratio > file_bytes)
    throw std::runtime_error("Image Load Error: Image size " + size + " is more than the file can hold: " +
                             file_name);
  const uint64_t room = read_memory_status().avail_phys + temp_space_available();
  if (image_bytes > room)
    throw std::runtime_error("Image Load Error: Not enough memory or temporary space for an image of " + size +
                             ": " + file_name);
}

void check_image_size(int64_t width, int64_t height, const std::string& file_name) {
  if (width < 1 || height < 1 || width > max_width || height > INT32_MAX)
    throw std::runtime_error("Image Load Error: Unsupported image size " + std::to_string(width) + " x " +
                             std::to_string(height) + ": " + file_name);
}
