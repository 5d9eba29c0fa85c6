#include "io/devil_loader.h"

#include <IL/il.h>

#include <cstddef>
#include <stdexcept>

#include "image/dib.h"
#include "io/devil_image.h"
#include "io/image_size_check.h"
#include "io/owned_dib.h"
#include "io/pixel_rows.h"
#include "progress/progress_tracker.h"

dib* load_with_devil(const std::string& file_name, progress_tracker* progress) {
  stage_scope stage(progress, "IL Loading from file");
  devil_image image;
  ilEnable(IL_ORIGIN_SET);
  ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
  clear_devil_errors();
  const ILboolean loaded = ilLoadImage(file_name.c_str());
  const ILenum error = ilGetError();
  if (!loaded || error != IL_NO_ERROR)
    throw std::runtime_error("DEVIL Error : " + devil_error_text(error) +
                             " \n While loading image: " + file_name);
  stage.progress(75);

  const ILint format = ilGetInteger(IL_IMAGE_FORMAT);
  // Only the layout is normalised: RGB(A) with wider samples stays as it is and is refused below.
  if (format != IL_RGBA && format != IL_RGB) ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE);
  stage.progress(80);

  const ILint width = ilGetInteger(IL_IMAGE_WIDTH);
  const ILint height = ilGetInteger(IL_IMAGE_HEIGHT);
  const ILint bytes_per_pixel = ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL);
  // DevIL's buffer must hold what it reports; wider samples it sometimes reports as bytes.
  const uint64_t expected = uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) *
                            static_cast<uint32_t>(bytes_per_pixel);
  if ((bytes_per_pixel != 3 && bytes_per_pixel != 4) || ilGetInteger(IL_IMAGE_TYPE) != IL_UNSIGNED_BYTE ||
      static_cast<uint64_t>(static_cast<uint32_t>(ilGetInteger(IL_IMAGE_SIZE_OF_DATA))) < expected)
    throw std::runtime_error("not supported image pixel format, must be 24 or 32 bit per pixel " +
                             std::string(" \n While loading image: ") + file_name);
  check_image_size(width, height, file_name);
  // Deliberately matches anywhere in the name (scan.tif.png), not only the extension.
  const bool invert_alpha =
      file_name.find(".tif") != std::string::npos || file_name.find(".TIF") != std::string::npos;

  const ILubyte* data = ilGetData();
  owned_dib result(create_dib(width, height, 32));
  const size_t row_bytes = static_cast<size_t>(width) * bytes_per_pixel;
  for (int32_t i = 0; i < height; ++i) {
    locked_row row(*result, i);
    rgb_bytes_to_bgra32(data + row_bytes * i, bytes_per_pixel, invert_alpha, row.bytes(), width);
    stage.progress(static_cast<double>(80 + int64_t{15} * i / height));
  }
  stage.progress(100);
  return result.release();
}
