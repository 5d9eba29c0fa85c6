// Fuzz target: the first byte picks an extension, the rest is the file; the PNM check and
// DevIL's decode run in this process (not in the loader's child), so that coverage guides
// the search and every fault of the library shows. The decoded buffer is read whole, so
// that a buffer smaller than reported shows too.
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "fuzz_files.h"
#include "image/dib.h"
#include "io/devil_decode.h"
#include "io/pnm_load.h"

namespace {
const char* const extensions[] = {"png", "jpg", "bmp", "gif", "psd", "tga", "pcx", "ppm", "pgm", "pbm",
                                  "pnm", "sgi", "dds", "hdr", "xpm", "ico", "cut", "dcx", "lbm", "mng",
                                  "pic", "pix", "psp", "pxr", "raw", "wal", "dat"};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t count = sizeof extensions / sizeof extensions[0];
  const std::string name = write_fuzz_file(std::string("input.") + extensions[data[0] % count], data + 1, size - 1);
  try {
    pnm_header pnm;
    if (pnm_load_header(name, pnm) && pnm.maxval > 255) {
      dib_ptr image(pnm_load16(name, pnm, nullptr));
      return 0;
    }
  } catch (const std::runtime_error&) {
    return 0;
  }
  devil_decode(name, devil_memory_budget(size - 1), [](const devil_pixels& pixels) {
    if (!pixels.loaded || !pixels.supported) return;
    const size_t bytes = static_cast<size_t>(pixels.width) * pixels.height * pixels.bytes_per_pixel;
    if (bytes > (size_t{256} << 20)) return;
    std::vector<uint8_t> copy(pixels.data, pixels.data + bytes);
  });
  return 0;
}
