#include "image/dib_storage.h"

#include <memory>
#include <stdexcept>
#include <string>

#include "image/mapped_file_storage.h"
#include "image/memory_storage.h"
#include "platform/internal_error.h"

namespace {
memory_status_source& status_source() {
  static memory_status_source source;
  return source;
}

// Windows-era thresholds assume 32-bit quantities; larger values saturate instead of wrapping.
uint32_t saturate(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }
}  // namespace

int32_t row_stride(int32_t width, int32_t bits_per_pixel) {
  QM_ASSERT(width >= 0 && bits_per_pixel > 0);
  int64_t stride = (static_cast<int64_t>(width) * bits_per_pixel / 8 + 15) / 16 * 16;
  if (stride > INT32_MAX)
    throw std::runtime_error("Image too wide: " + std::to_string(width) + " pixels of " +
                             std::to_string(bits_per_pixel) + " bits do not fit one row");
  return static_cast<int32_t>(stride);
}

void check_image_geometry(int32_t width, int32_t height, int32_t bits_per_pixel) {
  row_stride(width, bits_per_pixel);
  QM_ASSERT(height >= 0);
}

namespace {
// The Windows-era rule, made for a 32-bit address space: a 2 GiB budget less what is
// committed, half of it for one image, and floors of physical memory and commit.
bool fits_address_space_budget(uint64_t bytes, const memory_status& status) {
  uint32_t total_pf = saturate(status.total_commit);
  uint32_t avail_pf = saturate(status.avail_commit);
  uint32_t budget = 0x80000000u - (total_pf - avail_pf);  // modulo 2^32
  if (budget < 0x20000000u) return false;
  if (bytes > budget / 2) return false;
  uint32_t phys = saturate(status.avail_phys);
  if (phys < 0x02000000u) return false;
  if ((bytes >> 3) > phys) return false;
  return avail_pf >= 0x10000000u;
}

// With 64-bit addresses the budget above only sends large images to a much slower
// file. What bounds them is physical memory: the image, half as much again for the
// work around it, and 1 GiB for everything else. Commit needs no check of its own: a
// mapping the system refuses falls back to a file anyway.
bool fits_physical_memory(uint64_t bytes, const memory_status& status) {
  constexpr uint64_t reserve = uint64_t{1} << 30;
  if (sizeof(void*) < 8 || bytes > status.avail_phys) return false;
  return status.avail_phys - bytes >= bytes / 2 + reserve;
}
}  // namespace

bool use_memory_storage(uint64_t bytes, const memory_status_source& source) {
  const memory_status status = source();
  return fits_address_space_budget(bytes, status) || fits_physical_memory(bytes, status);
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
