// The pixel storage interface shared by the in-memory and the file-backed backends,
// the factory that chooses between them, and the memory policy behind that choice.
#pragma once

#include <cstdint>

#include "platform/memory_status.h"

class idib_storage {
 public:
  virtual uint8_t* allocate(int32_t width, int32_t height, int32_t bits_per_pixel) = 0;
  virtual int stride() = 0;
  virtual int bits_per_pixel() = 0;
  virtual uint8_t* lock_row(int32_t y) = 0;
  virtual void unlock_row(int32_t y) = 0;
  virtual uint8_t* data() = 0;
  virtual ~idib_storage() = default;
};

// Bytes per row: the packed row rounded up to 16 bytes. Throws runtime_error for
// sizes the image model cannot hold (negative, or a stride beyond int32).
int32_t row_stride(int32_t width, int32_t bits_per_pixel);
void check_image_geometry(int32_t width, int32_t height, int32_t bits_per_pixel);

// Memory when the policy allows and the block can be had, else a temporary file.
idib_storage* create_storage(int32_t width, int32_t height, int32_t bits_per_pixel);

// Memory when the 32-bit era's address-space budget allows it or, on 64-bit hosts, when
// the available physical memory holds the image one and a half times over plus 1 GiB.
bool use_memory_storage(uint64_t bytes);
bool use_memory_storage(uint64_t bytes, const memory_status_source& source);

// Replaces the system's memory status for the policy (tests); an empty source restores it.
void set_memory_status_source(memory_status_source source);
