#include <libdeflate.h>
#include <tiffio.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
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
#include "platform/internal_error.h"
#include "platform/parallel.h"
#include "progress/progress_tracker.h"

namespace {
// How a compression choice is written: PackBits keeps the one-row strips every earlier
// version wrote; the others take strips of about this many bytes.
constexpr size_t strip_target_bytes = size_t{256} << 10;

uint16_t tiff_code(tiff_compression c) {
  switch (c) {
    case tiff_compression::lzw:
      return COMPRESSION_LZW;
    case tiff_compression::deflate:
      return COMPRESSION_ADOBE_DEFLATE;
    case tiff_compression::zstd:
      return COMPRESSION_ZSTD;
    case tiff_compression::none:
      return COMPRESSION_NONE;
    default:
      return COMPRESSION_PACKBITS;
  }
}

// Photographs compress far better as differences from the pixel to the left.
bool uses_predictor(tiff_compression c) {
  return c == tiff_compression::lzw || c == tiff_compression::deflate || c == tiff_compression::zstd;
}

// LZW has no encoder outside libtiff, so its strips go through libtiff on the writing
// thread; every other choice is encoded here in parallel and written raw.
bool encoded_here(tiff_compression c) { return c != tiff_compression::lzw; }

// The most the file can take: every strip at its codec's worst expansion, the strip
// tables at BigTIFF's 16 bytes a strip, the profile and room for the other tags.
uint64_t worst_case_file_bytes(uint64_t row_bytes, uint64_t rows, uint64_t rows_per_strip, tiff_compression c,
                               uint64_t profile_bytes) {
  const uint64_t strips = (rows + rows_per_strip - 1) / rows_per_strip;
  const uint64_t data = row_bytes * rows;
  uint64_t worst = data;
  switch (c) {
    case tiff_compression::packbits:
      worst = data + data / 128 + rows;
      break;
    case tiff_compression::lzw:  // 12-bit codes for single bytes at the worst
      worst = data + data / 2 + strips * 8;
      break;
    case tiff_compression::deflate:
    case tiff_compression::zstd:
      worst = data + data / 128 + strips * 64;
      break;
    case tiff_compression::none:
      break;
  }
  return worst + strips * 16 + profile_bytes + (uint64_t{1} << 16);
}

// Horizontal differencing of one row, which readers undo for predictor 2.
template <class T>
void difference_row(T* row, size_t samples, int per_pixel) {
  for (size_t i = samples; i-- > static_cast<size_t>(per_pixel);) row[i] = static_cast<T>(row[i] - row[i - per_pixel]);
}

// One strip of converted rows in `raw` to the bytes the file stores for it.
void encode_strip(tiff_compression c, std::vector<uint8_t>& raw, size_t row_bytes, int sample_bits, int channels,
                  std::vector<uint8_t>& out) {
  out.clear();
  if (uses_predictor(c) && encoded_here(c)) {
    for (size_t at = 0; at < raw.size(); at += row_bytes) {
      if (sample_bits == 16)
        difference_row(reinterpret_cast<uint16_t*>(raw.data() + at), row_bytes / 2, channels);
      else
        difference_row(raw.data() + at, row_bytes, channels);
    }
  }
  switch (c) {
    case tiff_compression::packbits:
      for (size_t at = 0; at < raw.size(); at += row_bytes) packbits_encode(raw.data() + at, row_bytes, out);
      return;
    case tiff_compression::none:
      out.swap(raw);
      return;
    case tiff_compression::deflate: {
      // libdeflate at zlib's default level: what libtiff writes when it is built with it, in
      // less than half of zlib's time.
      thread_local const std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> deflater(
          libdeflate_alloc_compressor(6), libdeflate_free_compressor);
      if (!deflater) throw std::bad_alloc();
      out.resize(libdeflate_zlib_compress_bound(deflater.get(), raw.size()));
      const size_t size = libdeflate_zlib_compress(deflater.get(), raw.data(), raw.size(), out.data(), out.size());
      QM_ASSERT(size != 0);  // the buffer holds the bound
      out.resize(size);
      return;
    }
    case tiff_compression::zstd: {
      // One context per thread, reused for every strip it encodes.
      thread_local const std::unique_ptr<ZSTD_CCtx, size_t (*)(ZSTD_CCtx*)> context(ZSTD_createCCtx(), ZSTD_freeCCtx);
      if (!context) throw std::bad_alloc();
      out.resize(ZSTD_compressBound(raw.size()));
      // The level libtiff itself uses by default.
      const size_t size = ZSTD_compressCCtx(context.get(), out.data(), out.size(), raw.data(), raw.size(), 9);
      if (ZSTD_isError(size)) throw std::runtime_error(std::string("ZSTD failed: ") + ZSTD_getErrorName(size));
      out.resize(size);
      return;
    }
    case tiff_compression::lzw:
      out.swap(raw);  // libtiff encodes it
      return;
  }
}

// TIFF positions are unsigned rationals: a corner left of or above the origin is not written.
void set_position_tags(TIFF* t, const output_position& p) {
  TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, p.resolution_unit);
  TIFFSetField(t, TIFFTAG_XRESOLUTION, p.x_resolution);
  TIFFSetField(t, TIFFTAG_YRESOLUTION, p.y_resolution);
  if (p.x >= 0 && p.y >= 0) {
    TIFFSetField(t, TIFFTAG_XPOSITION, static_cast<float>(static_cast<double>(p.x) / p.x_resolution));
    TIFFSetField(t, TIFFTAG_YPOSITION, static_cast<float>(static_cast<double>(p.y) / p.y_resolution));
  }
  if (p.full_width > 0 && p.full_height > 0) {
    TIFFSetField(t, TIFFTAG_PIXAR_IMAGEFULLWIDTH, p.full_width);
    TIFFSetField(t, TIFFTAG_PIXAR_IMAGEFULLLENGTH, p.full_height);
  }
}
}  // namespace

void tiff_save(const std::string& file_name, dib* image, progress_tracker* progress, const save_settings& settings) {
  stage_scope stage(progress, "TIFF saving to file");
  const dib_view view(image);
  const std::string write_error = tiff_read_error(file_name);
  const int channels = image->channels();
  const int bits = image->bits_per_pixel() / channels;
  const int sample_bits = bits > 8 ? 16 : 8;
  const size_t row_bytes = static_cast<size_t>(channels) * view.width * sample_bits / 8;
  const tiff_compression compression = settings.compression;
  const int32_t rows_per_strip =
      compression == tiff_compression::packbits
          ? 1
          : static_cast<int32_t>(std::clamp<size_t>(strip_target_bytes / std::max<size_t>(row_bytes, 1), 1,
                                                    static_cast<size_t>(std::max(view.height, 1))));
  // A classic file's offsets are 32-bit: a file that might outgrow them is BigTIFF from the start.
  const bool bigtiff = settings.bigtiff || worst_case_file_bytes(row_bytes, static_cast<uint64_t>(view.height),
                                                                 static_cast<uint64_t>(rows_per_strip), compression,
                                                                 settings.icc_profile.size()) > settings.classic_limit;

  atomic_output output(file_name, write_error);
  tiff_handle tif = open_tiff_fd(output.fd(), file_name, bigtiff ? "w8" : "w");
  if (!tif) output.fail(take_tiff_failure_cause(tiff_cause::system_first));

  // Every image model has whole bytes a sample, and wide samples only as floats (the
  // 16-bit conversion reads them unscaled).
  QM_ASSERT(bits >= 8 && (sample_bits == 8 || image->model() == bgra_float));

  TIFF* t = tif.get();
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(view.width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(view.height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, sample_bits);
  TIFFSetField(t, TIFFTAG_COMPRESSION, tiff_code(compression));
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, channels);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);
  TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  if (uses_predictor(compression)) TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  if (channels == 4) {
    // Without it readers take the fourth sample for an unknown extra and drop the alpha.
    const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  if (!settings.icc_profile.empty())
    TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(settings.icc_profile.size()),
                 settings.icc_profile.data());
  if (settings.position) set_position_tags(t, *settings.position);

  // Strips are converted and encoded in parallel a wave at a time, then handed to libtiff
  // in order: the same file as writing them one by one would give.
  const int32_t strip_count = view.height == 0 ? 0 : (view.height + rows_per_strip - 1) / rows_per_strip;
  const int32_t wave = compression == tiff_compression::packbits ? std::max(64, thread_count() * 16)
                                                                 : std::max(8, thread_count() * 4);
  std::vector<std::vector<uint8_t>> strips(static_cast<size_t>(std::min(wave, strip_count)));
  for (int32_t first = 0; first < strip_count; first += wave) {
    const int32_t count = std::min(wave, strip_count - first);
    const int32_t first_row = first * rows_per_strip;
    const int32_t rows = std::min(count * rows_per_strip, view.height - first_row);
    const locked_rows sources(*image, first_row, rows);
    parallel_for(count, compression == tiff_compression::packbits ? 4 : 1, [&](int64_t a, int64_t b) {
      std::vector<uint8_t> buffer;
      for (int64_t k = a; k < b; ++k) {
        const int64_t top = k * rows_per_strip;
        const int64_t strip_rows = std::min<int64_t>(rows_per_strip, rows - top);
        buffer.resize(row_bytes * static_cast<size_t>(strip_rows));
        for (int64_t r = 0; r < strip_rows; ++r) {
          uint8_t* to = buffer.data() + row_bytes * static_cast<size_t>(r);
          if (sample_bits == 16)
            float_row_to_rgba16(reinterpret_cast<const float*>(sources[top + r]), reinterpret_cast<uint16_t*>(to),
                                view.width);
          else
            row_to_rgb_bytes(image->model(), sources[top + r], to, channels, view.width);
        }
        encode_strip(compression, buffer, row_bytes, sample_bits, channels, strips[static_cast<size_t>(k)]);
      }
    });
    for (int32_t k = 0; k < count; ++k) {
      const uint32_t s = static_cast<uint32_t>(first + k);
      std::vector<uint8_t>& strip = strips[static_cast<size_t>(k)];
      errno = 0;
      const tmsize_t written =
          encoded_here(compression)
              ? TIFFWriteRawStrip(t, s, strip.data(), static_cast<tmsize_t>(strip.size()))
              : TIFFWriteEncodedStrip(t, s, strip.data(), static_cast<tmsize_t>(strip.size()));
      if (written < 0) output.fail(take_tiff_failure_cause(tiff_cause::system_first));
      const int32_t end = std::min(view.height, static_cast<int32_t>(s + 1) * rows_per_strip);
      for (int32_t i = static_cast<int32_t>(s) * rows_per_strip; i < end; ++i)
        stage.progress(static_cast<double>(int64_t{i} * 100 / view.height));
    }
  }
  errno = 0;
  if (!TIFFFlush(t)) output.fail(take_tiff_failure_cause(tiff_cause::system_first));
  tif.reset();
  output.commit();
}
