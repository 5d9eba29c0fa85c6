// Fuzz target: any bytes as a .tif input through the loader the program uses.
#include <cstdint>
#include <stdexcept>

#include "fuzz_files.h"
#include "image/dib.h"
#include "io/load_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = write_fuzz_file("input.tif", data, size);
  try {
    dib_ptr image(load_input_image(name, nullptr));
  } catch (const std::runtime_error&) {
  }
  return 0;
}
