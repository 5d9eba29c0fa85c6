#include "io/image_size_check.h"

#include <stdexcept>

namespace {
// The widest bgra_float row whose stride ((width * 16) + 15) / 16 * 16 fits int32.
constexpr int64_t max_width = (INT32_MAX - 15) / 16;
}  // namespace

void check_image_size(int64_t width, int64_t height, const std::string& file_name) {
  if (width < 1 || height < 1 || width > max_width || height > INT32_MAX)
    throw std::runtime_error("Image Load Error: Unsupported image size " + std::to_string(width) + " x " +
                             std::to_string(height) + ": " + file_name);
}
