#include "io/save_image.h"

#include "io/devil_save.h"
#include "io/load_image.h"

void save_image(const std::string& file_name, dib* image, progress_tracker* progress,
                const save_settings& settings) {
  if (has_tiff_extension(file_name)) {
    tiff_save(file_name, image, progress, settings);
    return;
  }
  devil_save(file_name, image, progress, false);
}

void save_debug_image(const std::string& file_name, dib* image) {
  if (has_tiff_extension(file_name)) {
    tiff_save(file_name, image, nullptr);
    return;
  }
  devil_save(file_name, image, nullptr, true);
}
