#include <IL/il.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "image/dib.h"
#include "image/dib_cursor.h"
#include "io/atomic_output.h"
#include "io/devil_image.h"
#include "io/devil_save.h"
#include "io/failure_cause.h"
#include "io/pixel_rows.h"
#include "progress/progress_tracker.h"

namespace {
std::string save_error(ILenum code, const std::string& file_name) {
  return "DEVIL Error : " + devil_error_text(code) + " \n While saving image: " + file_name;
}

void devil_write_stream(ILenum type, const atomic_output& output, const std::string& file_name) {
  const int fd = dup(output.fd());
  std::FILE* stream = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (!stream) {
    const int code = errno;
    if (fd >= 0) close(fd);
    output.fail(std::strerror(code));
  }
  clear_devil_errors();
  errno = 0;
  const bool saved = ilSaveF(type, stream) != 0;
  const ILenum error = ilGetError();
  const int code = errno;
  const bool flushed = std::fflush(stream) == 0;
  const int flush_code = errno;
  // Some file systems report a failed write only when the file is closed.
  const bool closed = std::fclose(stream) == 0;
  const int close_code = errno;
  if (!saved || error != IL_NO_ERROR)
    throw std::runtime_error(with_cause(save_error(error, file_name), code ? std::strerror(code) : ""));
  if (!flushed) output.fail(std::strerror(flush_code));
  if (!closed) output.fail(std::strerror(close_code));
}

}  // namespace

void devil_save(const std::string& file_name, dib* image, progress_tracker* progress, bool quiet) {
  stage_scope stage(progress, "IL Saving to file");
  const dib_view view(image);
  devil_image target;
  ilEnable(IL_ORIGIN_SET);
  ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
  // DevIL sizes its buffer in 32-bit arithmetic; a larger picture would get a wrapped, short buffer.
  const uint64_t bytes = uint64_t{4} * static_cast<uint32_t>(view.width) * static_cast<uint32_t>(view.height);
  if (bytes > UINT32_MAX || !ilTexImage(view.width, view.height, 1, 4, IL_RGBA, IL_UNSIGNED_BYTE, nullptr))
    throw std::runtime_error("DEVIL Error : Can't create image");
  // ilTexImage marks the image lower-left whatever the origin mode; row 0 is our top row.
  ilRegisterOrigin(IL_ORIGIN_UPPER_LEFT);

  const ILint width = ilGetInteger(IL_IMAGE_WIDTH);
  const ILint height = ilGetInteger(IL_IMAGE_HEIGHT);
  const ILint bytes_per_pixel = ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL);
  ILubyte* data = ilGetData();
  if (!data || width != view.width || height != view.height || (bytes_per_pixel != 3 && bytes_per_pixel != 4))
    throw std::runtime_error("DEVIL Error : Can't create image");
  const size_t row_bytes = static_cast<size_t>(width) * bytes_per_pixel;
  for (int32_t i = 0; i < height; ++i) {
    locked_row row(*image, i);
    row_to_rgb_bytes(image->model(), row.bytes(), data + row_bytes * i, bytes_per_pixel, width);
    // Whole percents, as the progress line has always been given.
    stage.progress(static_cast<double>(int64_t{i} * 100 / height));  // NOLINT(bugprone-integer-division)
  }

  ilEnable(IL_FILE_OVERWRITE);
  try {
    // DevIL picks the encoder from the target's extension and writes through a stream on
    // the output's descriptor, so the file never needs a name of its own.
    const ILenum type = ilTypeFromExt(file_name.c_str());
    if (type == IL_TYPE_UNKNOWN) throw std::runtime_error(save_error(IL_INVALID_EXTENSION, file_name));
    atomic_output output(file_name, save_error(IL_COULD_NOT_OPEN_FILE, file_name));
    devil_write_stream(type, output, file_name);
    output.commit();
  } catch (const std::runtime_error&) {
    if (!quiet) throw;
  }
}
