// Writing an image: TIFF names through libtiff, every other name through DevIL.
// The target is replaced only once the new file is complete; a failed save leaves an
// earlier file of that name intact and no partial file behind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class dib;
class progress_tracker;

enum class tiff_compression { packbits, lzw, deflate, zstd, none };

// Where a TIFF output lies on the canvas of its inputs, for the next tool to put it back:
// XPOSITION/YPOSITION in the inputs' resolution, and their full-size tags when they had them.
struct output_position {
  int64_t x = 0, y = 0;  // canvas pixel of the top-left corner; TIFF records only 0 or more
  float x_resolution = 1, y_resolution = 1;  // pixels per unit
  uint16_t resolution_unit = 1;  // none
  uint32_t full_width = 0, full_height = 0;  // 0: not written
};

// What a run may ask of its output file beyond the pixels. The defaults write the file
// every earlier version wrote.
struct save_settings {
  tiff_compression compression = tiff_compression::packbits;
  bool bigtiff = false;  // BigTIFF always, not only when a classic file could overflow
  // Largest file a classic TIFF is trusted to hold; tests lower it to reach the switch.
  uint64_t classic_limit = (uint64_t{1} << 32) - (uint64_t{1} << 20);
  std::vector<uint8_t> icc_profile;  // empty: none
  std::optional<output_position> position;  // none: no position tags
};

void save_image(const std::string& file_name, dib* image, progress_tracker* progress,
                const save_settings& settings = {});
void tiff_save(const std::string& file_name, dib* image, progress_tracker* progress,
                const save_settings& settings = {});

// For the verbose debug dumps: like save_image without progress, except that a non-TIFF
// dump DevIL cannot write (unwritable folder, unknown extension, encoder failure) is
// skipped silently. TIFF dumps and "Can't create image" still throw.
void save_debug_image(const std::string& file_name, dib* image);
