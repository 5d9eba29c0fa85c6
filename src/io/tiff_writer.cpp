#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <vector>

#include "image/dib.h"
#include "image/dib_cursor.h"
#include "io/atomic_output.h"
#include "io/locked_rows.h"
#include "io/packbits.h"
#include "io/pixel_rows.h"
#include "io/save_image.h"
#include "io/tiff_handle.h"
#include "io/tiff_messages.h"
#include "platform/parallel.h"
#include "progress/progress_tracker.h"

void write_tiff(const std::string& file_name, dib* image, progress_tracker* progress,
                const save_settings& /*settings*/) {
  stage_scope stage(progress, "TIFF saving to file");
  const dib_view view(image);
  const std::string write_error = tiff_read_error(file_name);
  atomic_output output(file_name, write_error);
  tiff_handle tif = open_tiff_fd(output.fd(), file_name, "w");
  if (!tif) output.fail(take_tiff_failure_cause(tiff_cause::system_first));

  const int channels = image->channels();
  const int bits = image->bits_per_pixel() / channels;
  if (bits < 8) throw std::runtime_error(tiff_format_error(file_name));
  const int sample_bits = bits > 8 ? 16 : 8;
  // Wide samples exist only as floats; the 16-bit conversion reads them unscaled.
  if (sample_bits == 16 && image->model() != bgra_float)
    throw std::runtime_error(tiff_format_error(file_name));

  TIFF* t = tif.get();
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(view.width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(view.height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, sample_bits);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, channels);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 1);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
  TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  if (channels == 4) {
    // Without it readers take the fourth sample for an unknown extra and drop the alpha.
    const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }

  // Rows are converted and PackBits-encoded in parallel a wave at a time, then handed to
  // libtiff in order as raw one-row strips: the same file as scanline writes would give.
  const size_t row_bytes = static_cast<size_t>(channels) * view.width * sample_bits / 8;
  const int32_t wave = std::max(64, thread_count() * 16);
  std::vector<std::vector<uint8_t>> strips(static_cast<size_t>(std::min(wave, view.height)));
  for (int32_t first = 0; first < view.height; first += wave) {
    const int32_t count = std::min(wave, view.height - first);
    const locked_rows sources(*image, first, count);
    parallel_for(count, 4, [&](int64_t a, int64_t b) {
      std::vector<uint8_t> buffer(row_bytes);
      for (int64_t k = a; k < b; ++k) {
        if (sample_bits == 16)
          float_row_to_rgba16(reinterpret_cast<const float*>(sources[k]), reinterpret_cast<uint16_t*>(buffer.data()),
                              view.width);
        else
          row_to_rgb_bytes(image->model(), sources[k], buffer.data(), channels, view.width);
        std::vector<uint8_t>& strip = strips[static_cast<size_t>(k)];
        strip.clear();
        packbits_encode(buffer.data(), row_bytes, strip);
      }
    });
    for (int32_t k = 0; k < count; ++k) {
      const int32_t i = first + k;
      std::vector<uint8_t>& strip = strips[static_cast<size_t>(k)];
      errno = 0;
      if (TIFFWriteRawStrip(t, static_cast<uint32_t>(i), strip.data(), static_cast<tmsize_t>(strip.size())) < 0)
        output.fail(take_tiff_failure_cause(tiff_cause::system_first));
      stage.progress(static_cast<double>(int64_t{i} * 100 / view.height));
    }
  }
  errno = 0;
  if (!TIFFFlush(t)) output.fail(take_tiff_failure_cause(tiff_cause::system_first));
  tif.reset();
  output.commit();
}
