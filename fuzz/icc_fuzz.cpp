// Fuzz target: any bytes as the head of a JPEG or PNG whose colour profile is read.
#include <cstdint>

#include "io/icc_profile_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  icc_profile_of_jpeg(data, size);
  icc_profile_of_png(data, size);
  return 0;
}
