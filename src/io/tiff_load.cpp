#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "image/dib.h"
#include "io/failure_cause.h"
#include "io/image_size_check.h"
#include "io/load_image.h"
#include "io/locked_rows.h"
#include "io/owned_dib.h"
#include "io/pixel_rows.h"
#include "io/tiff_handle.h"
#include "io/tiff_messages.h"
#include "io/tiff_orientation.h"
#include "io/tiff_page.h"
#include "io/tiff_rgba_load.h"
#include "platform/parallel.h"
#include "progress/progress_tracker.h"

namespace {
// Channel bits in the dib's memory order B, G, R, A.
constexpr uint8_t to_b = 1, to_g = 2, to_r = 4, to_a = 8;
// Tiles beyond this size are not worth trusting from a header.
constexpr uint64_t max_tile_bytes = uint64_t{256} << 20;

struct tiff_layout {
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bits = 0;
  uint16_t samples = 0;
  bool separate_planes = false;
  bool grey = false;      // one grey sample (+ alpha) spread to R = G = B
  bool inverted = false;  // MinIsWhite
  bool tiled = false;

  bool has_alpha() const { return samples >= (grey ? 2 : 4); }
  int32_t bytes_per_sample() const { return bits / 8; }
  int32_t samples_per_row_pixel() const { return separate_planes ? 1 : samples; }
};

// One sample of the source pixel and the dib channels it fills.
struct sample_route {
  uint16_t sample;
  uint8_t channels;
  bool inverted;
};

// One sweep over the rows: contiguous files need one, separate planes one per plane used.
struct sample_pass {
  uint16_t plane;
  std::vector<sample_route> routes;
  bool fill_opaque;
};

std::vector<sample_pass> plan_passes(const tiff_layout& layout) {
  std::vector<sample_route> routes;
  if (layout.grey) {
    routes.push_back({0, to_r | to_g | to_b, layout.inverted});
    if (layout.has_alpha()) routes.push_back({1, to_a, false});
  } else {
    routes = {{0, to_r, false}, {1, to_g, false}, {2, to_b, false}};
    if (layout.has_alpha()) routes.push_back({3, to_a, false});
  }
  if (!layout.separate_planes) return {{0, routes, !layout.has_alpha()}};
  std::vector<sample_pass> passes;
  for (const sample_route& route : routes)
    passes.push_back(
        {route.sample, {{0, route.channels, route.inverted}}, passes.empty() && !layout.has_alpha()});
  return passes;
}

void store_bytes(const uint8_t* src, int32_t step, const sample_pass& pass, uint8_t* row, int32_t width) {
  for (const sample_route& route : pass.routes)
    for (int c = 0; c < 4; ++c) {
      if (!(route.channels & (1 << c))) continue;
      const uint8_t* s = src + route.sample;
      uint8_t* d = row + c;
      for (int32_t x = 0; x < width; ++x, s += step, d += 4)
        *d = route.inverted ? static_cast<uint8_t>(255 - *s) : *s;
    }
  if (pass.fill_opaque)
    for (int32_t x = 0; x < width; ++x) row[4 * x + 3] = 255;
}

void store_floats(const uint16_t* src, int32_t step, const sample_pass& pass, float* row, int32_t width) {
  for (const sample_route& route : pass.routes)
    for (int c = 0; c < 4; ++c) {
      if (!(route.channels & (1 << c))) continue;
      const uint16_t* s = src + route.sample;
      float* d = row + c;
      for (int32_t x = 0; x < width; ++x, s += step, d += 4) {
        const int sample = route.inverted ? 65535 - *s : *s;
        *d = static_cast<float>(sample) / 65535.0f;
      }
    }
  if (pass.fill_opaque)
    for (int32_t x = 0; x < width; ++x) row[4 * x + 3] = 1.0f;
}

// Hands out the samples of one row of one plane, from scanlines or from a band of tiles.
class tiff_row_source {
 public:
  tiff_row_source(TIFF* tif, const tiff_layout& layout, const std::string& file_name)
      : tif_(tif), layout_(layout), file_name_(file_name) {
    row_bytes_ =
        static_cast<size_t>(layout.width) * layout.samples_per_row_pixel() * layout.bytes_per_sample();
    if (!layout.tiled) {
      const uint64_t scanline = TIFFScanlineSize64(tif);
      if (scanline < row_bytes_) throw std::runtime_error(tiff_format_error(file_name));
      buffer_.resize(scanline);
      return;
    }
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tile_width_);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tile_length_);
    tile_row_bytes_ = TIFFTileRowSize64(tif);
    const uint64_t tile_bytes = TIFFTileSize64(tif);
    if (tile_width_ == 0 || tile_length_ == 0 || tile_bytes == 0 || tile_bytes > max_tile_bytes ||
        tile_row_bytes_ < uint64_t{tile_width_} * layout.samples_per_row_pixel() * layout.bytes_per_sample())
      throw std::runtime_error(tiff_format_error(file_name));
    tile_.resize(tile_bytes);
    buffer_.resize(row_bytes_ * std::min<uint32_t>(tile_length_, layout.height));
  }

  const uint8_t* row(int32_t y, uint16_t plane) {
    if (!layout_.tiled) {
      errno = 0;
      if (TIFFReadScanline(tif_, buffer_.data(), static_cast<uint32_t>(y), plane) < 0)
        throw std::runtime_error(with_cause(tiff_read_error(file_name_), take_tiff_failure_cause(tiff_cause::library_first)));
      return buffer_.data();
    }
    const int64_t top = int64_t{y} / tile_length_ * tile_length_;
    if (top != band_top_ || plane != band_plane_) read_band(top, plane);
    return buffer_.data() + row_bytes_ * static_cast<size_t>(y - top);
  }

 private:
  void read_band(int64_t top, uint16_t plane) {
    band_top_ = -1;
    const int64_t rows = std::min<int64_t>(tile_length_, layout_.height - top);
    const size_t pixel_bytes =
        static_cast<size_t>(layout_.samples_per_row_pixel()) * layout_.bytes_per_sample();
    for (int64_t left = 0; left < layout_.width; left += tile_width_) {
      errno = 0;
      if (TIFFReadTile(tif_, tile_.data(), static_cast<uint32_t>(left), static_cast<uint32_t>(top), 0,
                       plane) < 0)
        throw std::runtime_error(with_cause(tiff_read_error(file_name_), take_tiff_failure_cause(tiff_cause::library_first)));
      const size_t bytes =
          static_cast<size_t>(std::min<int64_t>(tile_width_, layout_.width - left)) * pixel_bytes;
      for (int64_t r = 0; r < rows; ++r)
        std::memcpy(buffer_.data() + row_bytes_ * r + left * pixel_bytes, tile_.data() + tile_row_bytes_ * r,
                    bytes);
    }
    band_top_ = top;
    band_plane_ = plane;
  }

  TIFF* tif_;
  const tiff_layout& layout_;
  const std::string& file_name_;
  size_t row_bytes_ = 0;
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> tile_;
  uint32_t tile_width_ = 0;
  uint32_t tile_length_ = 0;
  uint64_t tile_row_bytes_ = 0;
  int64_t band_top_ = -1;
  uint16_t band_plane_ = 0;
};

// How many decoded bytes one byte of the file can give at most: PackBits codes 128
// bytes in 2 (and an uncompressed file cut short is left to the decoder's own message);
// Deflate tops out near 1032:1 and LZW near 1400:1, while ZSTD and LZMA code long runs
// in a few bytes per block.
uint64_t max_compression_ratio(TIFF* tif) {
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  return compression == COMPRESSION_NONE || compression == COMPRESSION_PACKBITS ? 64 : 65536;
}

owned_dib read_samples(TIFF* tif, const tiff_layout& layout, const std::string& file_name,
                       const stage_scope& stage) {
  owned_dib result(layout.bits == 8 ? create_dib(layout.width, layout.height, 32)
                                    : create_float_dib(layout.width, layout.height));
  tiff_row_source source(tif, layout, file_name);
  const std::vector<sample_pass> passes = plan_passes(layout);
  const int32_t step = layout.samples_per_row_pixel();
  const int64_t total = static_cast<int64_t>(passes.size()) * layout.height;
  const size_t row_bytes =
      static_cast<size_t>(layout.width) * layout.samples_per_row_pixel() * layout.bytes_per_sample();
  // Decoding stays on this thread (one libtiff handle); spreading the samples into the
  // dib's layout runs in parallel over a batch of decoded rows.
  const int32_t batch = std::min(layout.height, 64);
  std::vector<uint8_t> rows(row_bytes * static_cast<size_t>(batch));
  int64_t done = 0;
  for (const sample_pass& pass : passes)
    for (int32_t first = 0; first < layout.height; first += batch) {
      const int32_t count = std::min(batch, layout.height - first);
      for (int32_t k = 0; k < count; ++k)
        std::memcpy(rows.data() + row_bytes * k, source.row(first + k, pass.plane), row_bytes);
      const locked_rows targets(*result, first, count);
      parallel_for(count, 8, [&](int64_t a, int64_t b) {
        for (int64_t k = a; k < b; ++k) {
          const uint8_t* samples = rows.data() + row_bytes * static_cast<size_t>(k);
          if (layout.bits == 8)
            store_bytes(samples, step, pass, targets[k], layout.width);
          else
            store_floats(reinterpret_cast<const uint16_t*>(samples), step, pass, reinterpret_cast<float*>(targets[k]),
                         layout.width);
        }
      });
      for (int32_t k = 0; k < count; ++k, ++done) stage.progress(static_cast<double>(done * 100 / total));
    }
  return result;
}

// True when the first extra sample, the one read as alpha, is associated (premultiplied).
bool has_associated_alpha(TIFF* tif) {
  uint16_t count = 0;
  uint16_t* types = nullptr;
  return TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &count, &types) && count > 0 && types[0] == EXTRASAMPLE_ASSOCALPHA;
}

// What of the file's samples this loader does not read, and what it reads instead.
std::string unsupported_samples(uint16_t bits, uint16_t sample_format, uint16_t photometric) {
  const char* const reads =
      "; quiltmerge reads 8 and 16-bit unsigned samples, and 1, 2 and 4-bit grey or palette pictures";
  const bool unsigned_samples = sample_format == SAMPLEFORMAT_UINT || sample_format == SAMPLEFORMAT_VOID;
  const std::string kind = sample_format == SAMPLEFORMAT_INT       ? "signed integer"
                           : sample_format == SAMPLEFORMAT_IEEEFP  ? "floating-point"
                           : unsigned_samples                      ? "unsigned integer"
                                                                   : "complex";
  if (!unsigned_samples || (bits != 8 && bits != 16)) return "its samples are " + std::to_string(bits) + "-bit " + kind + reads;
  const std::string colours = photometric == PHOTOMETRIC_PALETTE     ? "palette indices"
                              : photometric == PHOTOMETRIC_SEPARATED ? "CMYK inks"
                              : photometric == PHOTOMETRIC_YCBCR     ? "YCbCr colours"
                              : photometric == PHOTOMETRIC_CIELAB    ? "CIE L*a*b* colours"
                                                                     : "colours of photometric interpretation " +
                                                                           std::to_string(photometric);
  return "its " + std::to_string(bits) + "-bit samples are " + colours +
         ", which quiltmerge reads at 8 bits only (grey and RGB also at 16)";
}

void unpremultiply(dib& image) {
  for (int32_t first = 0; first < image.height(); first += 64) {
    const int32_t count = std::min(64, image.height() - first);
    const locked_rows rows(image, first, count);
    parallel_for(count, 8, [&](int64_t a, int64_t b) {
      for (int64_t k = a; k < b; ++k)
        if (image.model() == bgra32)
          unpremultiply_bgra32(rows[k], image.width());
        else
          unpremultiply_bgra_float(reinterpret_cast<float*>(rows[k]), image.width());
    });
  }
}
}  // namespace

dib* tiff_load(const std::string& file_name, progress_tracker* progress) {
  stage_scope stage(progress, "TIFF Loading from file");
  tiff_handle tif = open_tiff(file_name, "r");
  if (!tif) throw std::runtime_error(with_cause(tiff_read_error(file_name), take_tiff_failure_cause(tiff_cause::library_first)));
  select_full_resolution_page(tif.get());

  uint32_t width = 0, height = 0;
  uint16_t bits = 1, samples = 1, planar = PLANARCONFIG_CONTIG, sample_format = SAMPLEFORMAT_UINT,
           photometric = 0;
  const bool has_size = TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width) &&
                        TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &sample_format);
  if (!TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric))
    photometric = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;

  // Signed and floating-point samples would be misread as unsigned, and have no range that
  // maps to the picture's without a guess. Bilevel scans and 2 or 4-bit grey or palette
  // pictures go through libtiff's RGBA interface, which spreads them to bytes.
  const bool unsigned_samples = sample_format == SAMPLEFORMAT_UINT || sample_format == SAMPLEFORMAT_VOID;
  const bool few_bits = (bits == 1 || bits == 2 || bits == 4) && unsigned_samples && samples == 1 &&
                        (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE ||
                         photometric == PHOTOMETRIC_PALETTE);
  if (!few_bits && ((bits != 8 && bits != 16) || !unsigned_samples))
    throw std::runtime_error(with_cause(tiff_format_error(file_name), unsupported_samples(bits, sample_format, photometric)));
  if ((planar != PLANARCONFIG_CONTIG && planar != PLANARCONFIG_SEPARATE) || samples < 1)
    throw std::runtime_error(tiff_format_error(file_name));
  check_image_size(has_size ? int64_t{width} : -1, has_size ? int64_t{height} : -1, file_name);
  {
    struct stat info {};
    const uint64_t file_bytes = stat(file_name.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
    const uint64_t pixels = uint64_t{width} * height;
    check_decoded_size(width, height, (pixels * samples * bits + 7) / 8, file_bytes,
                       max_compression_ratio(tif.get()), pixels * (bits == 8 ? 4 : 16), file_name);
  }

  tiff_layout layout;
  layout.width = static_cast<int32_t>(width);
  layout.height = static_cast<int32_t>(height);
  layout.bits = bits;
  layout.samples = samples;
  layout.separate_planes = planar == PLANARCONFIG_SEPARATE;
  layout.grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
  layout.inverted = photometric == PHOTOMETRIC_MINISWHITE;
  layout.tiled = TIFFIsTiled(tif.get()) != 0;

  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
  owned_dib image;
  if (!few_bits && (layout.grey || (photometric == PHOTOMETRIC_RGB && samples >= 3))) {
    image = read_samples(tif.get(), layout, file_name, stage);
    if (layout.has_alpha() && has_associated_alpha(tif.get())) unpremultiply(*image);
  } else if (photometric == PHOTOMETRIC_RGB) {
    throw std::runtime_error(tiff_format_error(file_name));
  } else if (bits != 8 && !few_bits) {
    throw std::runtime_error(with_cause(tiff_format_error(file_name), unsupported_samples(bits, sample_format, photometric)));
  } else {
    image = tiff_rgba_load(tif.get(), layout.width, layout.height, file_name, stage);
  }
  return apply_tiff_orientation(std::move(image), orientation).release();
}
