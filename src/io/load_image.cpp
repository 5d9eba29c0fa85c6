#include <utility>

#include "image/dib.h"
#include "image/region_copy.h"
#include "io/devil_load.h"
#include "io/load_image.h"
#include "io/owned_dib.h"
#include "io/pnm_load.h"
#include "io/regular_input.h"
#include "progress/progress_tracker.h"

bool has_tiff_extension(const std::string& file_name) {
  const size_t dot = file_name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string extension = file_name.substr(dot + 1);
  return extension == "tif" || extension == "TIF" || extension == "tiff" || extension == "TIFF";
}

dib* load_image(const std::string& file_name, progress_tracker* progress) {
  check_regular_input(file_name);
  if (has_tiff_extension(file_name)) return tiff_load(file_name, nullptr);
  pnm_header pnm;
  if (pnm_load_header(file_name, pnm) && pnm.maxval > 255) return pnm_load16(file_name, pnm, progress);
  return devil_load(file_name, progress);
}

dib* load_input_image(const std::string& file_name, progress_tracker* progress) {
  stage_scope stage(progress, "");
  stage.step_end(85);
  owned_dib image(load_image(file_name, progress));
  // Both loaders give 32 or 128 bits; this widens any narrower image a future path might give.
  if (image->bits_per_pixel() < 32) {
    owned_dib wide(create_dib(image->width(), image->height(), 32));
    stage.step_end(100);
    copy_dib(image.get(), wide.get(), 0, 0, progress);
    image = std::move(wide);
  }
  return image.release();
}
