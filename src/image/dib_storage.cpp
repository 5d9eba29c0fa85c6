#include "image/dib_storage.h"

#include <memory>
#include <stdexcept>
#include <string>

#include "image/mapped_file_storage.h"
#include "image/memory_storage.h"

namespace {
memory_status_source& status_source() {
  static memory_status_source source;
  return source;
}

// Windows-era thresholds assume 32-bit quantities; larger values saturate instead of wrapping.
uint32_t saturate(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }
}  // namespace

int32_t row_stride(int32_t width, int32_t bits_per_pixel) {
  if (width < 0) throw std::runtime_error("Invalid image width: " + std::to_string(width));
  if (bits_per_pixel <= 0) throw std::runtime_error("Invalid bits per pixel: " + std::to_string(bits_per_pixel));
  int64_t stride = (static_cast<int64_t>(width) * bits_per_pixel / 8 + 15) / 16 * 16;
  if (stride > INT32_MAX)
    throw std::runtime_error("Image too wide: " + std::to_string(width) + " pixels of " +
                             std::to_string(bits_per_pixel) + " bits do not fit one row");
  return static_cast<int32_t>(stride);
}

void check_image_geometry(int32_t width, int32_t height, int32_t bits_per_pixel) {
  row_stride(width, bits_per_pixel);
  if (height < 0) throw std::runtime_error("Invalid image height: " + std::to_string(height));
}

bool use_memory_storage(uint64_t bytes, const memory_status_source& source) {
  memory_status first = source();
  uint32_t total_pf = saturate(first.total_commit);
  uint32_t avail_pf = saturate(first.avail_commit);
  uint32_t budget = 0x80000000u - (total_pf - avail_pf);  // modulo 2^32
  if (budget < 0x20000000u) return false;
  if (bytes > budget / 2) return false;
  uint32_t phys = saturate(source().avail_phys);
  if (phys < 0x02000000u) return false;
  if ((bytes >> 3) > phys) return false;
  return saturate(source().avail_commit) >= 0x10000000u;
}

bool use_memory_storage(uint64_t bytes) {
  const memory_status_source& injected = status_source();
  return use_memory_storage(bytes, injected ? injected : memory_status_source(read_memory_status));
}

void set_memory_status_source(memory_status_source source) { status_source() = std::move(source); }

idib_storage* create_storage(int32_t width, int32_t height, int32_t bits_per_pixel) {
  check_image_geometry(width, height, bits_per_pixel);
  uint64_t bytes = static_cast<uint64_t>(static_cast<int64_t>(width) * height * bits_per_pixel) >> 3;
  try {
    if (use_memory_storage(bytes)) {
      auto storage = std::make_unique<memory_storage>();
      storage->allocate(width, height, bits_per_pixel);
      return storage.release();
    }
  } catch (...) {
    // Memory refused: fall through to a temporary file.
  }
  auto storage = std::make_unique<mapped_file_storage>();
  storage->allocate(width, height, bits_per_pixel);
  return storage.release();
}
