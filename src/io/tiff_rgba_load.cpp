#include "io/tiff_rgba_load.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "image/dib.h"
#include "io/failure_cause.h"
#include "io/pixel_rows.h"
#include "io/tiff_handle.h"
#include "io/tiff_messages.h"
#include "progress/progress_tracker.h"

namespace {
// Bound on the raster of one chunk of rows; one strip or tile row is read per chunk when it fits.
constexpr int64_t max_chunk_bytes = int64_t{64} << 20;

class rgba_image_reader {
 public:
  rgba_image_reader(TIFF* tif, const std::string& file_name) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&image_, tif, 1, message))
      throw std::runtime_error(tiff_format_error(file_name));
    // Keep the stored row order, as the plain sample path does: the loader turns the whole
    // picture by its Orientation afterwards, and a flip inside each chunk would scramble it.
    image_.req_orientation = image_.orientation;
  }
  ~rgba_image_reader() { TIFFRGBAImageEnd(&image_); }
  rgba_image_reader(const rgba_image_reader&) = delete;
  rgba_image_reader& operator=(const rgba_image_reader&) = delete;

  bool read(uint32_t* raster, int32_t top, int32_t rows) {
    image_.row_offset = top;
    image_.col_offset = 0;
    return TIFFRGBAImageGet(&image_, raster, image_.width, static_cast<uint32_t>(rows)) != 0;
  }

 private:
  TIFFRGBAImage image_{};
};

int32_t chunk_rows(TIFF* tif, int32_t width, int32_t height) {
  uint32_t natural = 1;
  if (TIFFIsTiled(tif))
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &natural);
  else
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &natural);
  int64_t rows = std::max<uint32_t>(natural, 1);
  const int64_t cap = max_chunk_bytes / (int64_t{width} * 4);
  // A multiple of 4 keeps YCbCr subsampling blocks (1, 2 or 4 rows) whole within a chunk.
  if (rows > cap) rows = std::max<int64_t>(4, cap / 4 * 4);
  return static_cast<int32_t>(std::min<int64_t>(rows, height));
}
}  // namespace

owned_dib tiff_rgba_load(TIFF* tif, int32_t width, int32_t height, const std::string& file_name,
                         const stage_scope& stage) {
  rgba_image_reader reader(tif, file_name);
  const int32_t chunk = chunk_rows(tif, width, height);
  std::vector<uint32_t> raster(static_cast<size_t>(width) * chunk);
  owned_dib result(create_dib(width, height, 32));
  for (int32_t top = 0; top < height; top += chunk) {
    const int32_t rows = std::min(chunk, height - top);
    if (!reader.read(raster.data(), top, rows))
      throw std::runtime_error(with_cause(tiff_read_error(file_name), take_tiff_failure_cause(tiff_cause::library_first)));
    for (int32_t r = 0; r < rows; ++r) {
      const int32_t y = top + r;
      locked_row row(*result, y);
      packed_abgr_to_bgra32(raster.data() + static_cast<size_t>(width) * r, row.bytes(), width);
      stage.progress(static_cast<double>(int64_t{y} * 100 / height));
    }
  }
  return result;
}
