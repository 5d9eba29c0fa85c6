// Helpers for the file tests: a fresh folder per test, TIFF files written and read
// back with libtiff directly, and pictures built in code.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/dib.h"
#include "image/dib_cursor.h"
#include "support/test_images.h"

namespace io_test {

class temp_folder {
 public:
  temp_folder() {
    char pattern[] = "/tmp/qm_io_test_XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~temp_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  temp_folder(const temp_folder&) = delete;
  temp_folder& operator=(const temp_folder&) = delete;

  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_))
      names.push_back(e.path().filename().string());
    return names;
  }

 private:
  std::string path_;
};

inline std::string file_content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_content(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Describes a TIFF for write_test_tiff; samples are interleaved, row-major, top row first.
struct tiff_layout {
  uint32_t width = 1;
  uint32_t height = 1;
  uint16_t samples = 3;
  uint16_t bits = 8;
  uint16_t photometric = PHOTOMETRIC_RGB;
  uint16_t planar = PLANARCONFIG_CONTIG;
  uint32_t tile = 0;               // tile side, 0 for strips
  uint16_t alpha = EXTRASAMPLE_UNASSALPHA;  // what the extra samples are
  uint16_t orientation = 0;                 // 0: no Orientation tag
  std::vector<uint16_t> colormap;  // 3 * 2^bits entries for palette images
};

// Writes exactly the given samples (8 or 16 bits) in the given layout.
inline void write_test_tiff(const std::string& path, const tiff_layout& layout,
                            const std::vector<uint16_t>& samples) {
  TIFF* t = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, layout.width);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, layout.height);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, layout.samples);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, layout.bits);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, layout.photometric);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, layout.planar);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  if (layout.photometric == PHOTOMETRIC_SEPARATED) TIFFSetField(t, TIFFTAG_INKSET, INKSET_CMYK);
  if (layout.orientation) TIFFSetField(t, TIFFTAG_ORIENTATION, layout.orientation);
  if (!layout.colormap.empty()) {
    const size_t n = layout.colormap.size() / 3;
    TIFFSetField(t, TIFFTAG_COLORMAP, layout.colormap.data(), layout.colormap.data() + n,
                 layout.colormap.data() + 2 * n);
  }
  const uint16_t colour = layout.photometric == PHOTOMETRIC_RGB ? 3 : 1;
  if (layout.samples > colour) {
    std::vector<uint16_t> extra(layout.samples - colour, layout.alpha);
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(extra.size()), extra.data());
  }
  const bool separate = layout.planar == PLANARCONFIG_SEPARATE;
  const uint32_t per_pixel = separate ? 1 : layout.samples;
  const uint32_t bytes = layout.bits / 8;
  // Sample s of pixel (x, y) of plane p, packed into `out` in the file's byte layout.
  auto put = [&](std::vector<uint8_t>& out, size_t at, uint32_t x, uint32_t y, uint16_t s) {
    const uint16_t v = samples[(static_cast<size_t>(y) * layout.width + x) * layout.samples + s];
    if (bytes == 1)
      out[at] = static_cast<uint8_t>(v);
    else
      std::memcpy(&out[at * 2], &v, 2);
  };
  const uint16_t planes = separate ? layout.samples : 1;
  if (layout.tile == 0) {
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 2u);
    std::vector<uint8_t> line(static_cast<size_t>(layout.width) * per_pixel * bytes);
    for (uint16_t p = 0; p < planes; ++p)
      for (uint32_t y = 0; y < layout.height; ++y) {
        for (uint32_t x = 0; x < layout.width; ++x)
          for (uint32_t s = 0; s < per_pixel; ++s) put(line, x * per_pixel + s, x, y, separate ? p : s);
        ASSERT_GE(TIFFWriteScanline(t, line.data(), y, p), 0);
      }
  } else {
    TIFFSetField(t, TIFFTAG_TILEWIDTH, layout.tile);
    TIFFSetField(t, TIFFTAG_TILELENGTH, layout.tile);
    std::vector<uint8_t> tile(static_cast<size_t>(layout.tile) * layout.tile * per_pixel * bytes);
    for (uint16_t p = 0; p < planes; ++p)
      for (uint32_t ty = 0; ty < layout.height; ty += layout.tile)
        for (uint32_t tx = 0; tx < layout.width; tx += layout.tile) {
          std::fill(tile.begin(), tile.end(), 0);
          for (uint32_t y = ty; y < std::min(ty + layout.tile, layout.height); ++y)
            for (uint32_t x = tx; x < std::min(tx + layout.tile, layout.width); ++x)
              for (uint32_t s = 0; s < per_pixel; ++s)
                put(tile, ((y - ty) * layout.tile + (x - tx)) * per_pixel + s, x, y, separate ? p : s);
          ASSERT_GE(TIFFWriteTile(t, tile.data(), tx, ty, 0, p), 0);
        }
  }
  TIFFClose(t);
}

// The tags and 8- or 16-bit samples of a written contiguous strip TIFF.
struct tiff_contents {
  uint32_t width = 0, height = 0, rows_per_strip = 0;
  uint16_t bits = 0, samples = 0, compression = 0, photometric = 0, planar = 0, resolution_unit = 0,
           orientation = 0;
  std::vector<uint16_t> extra_samples;
  std::vector<uint16_t> values;  // interleaved, top row first
};

inline tiff_contents read_test_tiff(const std::string& path) {
  tiff_contents c;
  TIFF* t = TIFFOpen(path.c_str(), "r");
  if (!t) return c;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &c.width);
  TIFFGetField(t, TIFFTAG_IMAGELENGTH, &c.height);
  TIFFGetField(t, TIFFTAG_ROWSPERSTRIP, &c.rows_per_strip);
  TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &c.bits);
  TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &c.samples);
  TIFFGetField(t, TIFFTAG_COMPRESSION, &c.compression);
  TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &c.photometric);
  TIFFGetField(t, TIFFTAG_PLANARCONFIG, &c.planar);
  TIFFGetField(t, TIFFTAG_RESOLUTIONUNIT, &c.resolution_unit);
  TIFFGetField(t, TIFFTAG_ORIENTATION, &c.orientation);
  uint16_t count = 0;
  uint16_t* extra = nullptr;
  if (TIFFGetField(t, TIFFTAG_EXTRASAMPLES, &count, &extra)) c.extra_samples.assign(extra, extra + count);
  std::vector<uint8_t> line(TIFFScanlineSize64(t));
  for (uint32_t y = 0; y < c.height; ++y) {
    if (TIFFReadScanline(t, line.data(), y, 0) < 0) break;
    for (size_t i = 0; i < static_cast<size_t>(c.width) * c.samples; ++i) {
      uint16_t v = line[i];
      if (c.bits == 16) std::memcpy(&v, &line[2 * i], 2);
      c.values.push_back(v);
    }
  }
  TIFFClose(t);
  return c;
}

// The runtime_error text `call` throws, or "" when it throws nothing.
inline std::string error_of(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

// Four flat quadrants in different colours (red, green, blue, white) plus a black marker
// in the top-left corner, so that every flip and rotation shows.
inline dib* asymmetric_picture(int width, int height) {
  dib* image = create_dib(width, height, 32);
  cursor_handle c = make_cursor(image);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool right = x >= width / 2, bottom = y >= height / 2;
      rgba8 p{0, 0, 0, 255};
      if (!right && !bottom) p.r = 255;
      if (right && !bottom) p.g = 255;
      if (!right && bottom) p.b = 255;
      if (right && bottom) p = {255, 255, 255, 255};
      if (x < width / 8 && y < height / 8) p = {0, 0, 0, 255};
      c->move_to(x, y);
      c->set_bytes(p);
    }
  return image;
}

// Largest per-channel difference between two pictures of the same size, in bytes.
inline int max_difference(dib* a, dib* b) {
  int worst = 0;
  for (int y = 0; y < a->height(); ++y)
    for (int x = 0; x < a->width(); ++x) {
      const rgba8 p = test_images::get_pixel(a, x, y), q = test_images::get_pixel(b, x, y);
      worst = std::max(
          {worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b), std::abs(p.a - q.a)});
    }
  return worst;
}

}  // namespace io_test
