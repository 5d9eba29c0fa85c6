#include "io/tiff_position_load.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "io/tiff_handle.h"

namespace {
bool is_tiff(const std::string& file_name) {
  std::FILE* file = std::fopen(file_name.c_str(), "rb");
  if (!file) return false;
  unsigned char magic[4] = {};
  const bool read = std::fread(magic, 1, sizeof magic, file) == sizeof magic;
  std::fclose(file);
  return read && ((magic[0] == 'I' && magic[1] == 'I') || (magic[0] == 'M' && magic[1] == 'M'));
}

int64_t in_pixels(float position, float resolution, const std::string& file_name) {
  const double pixels = std::round(double{position} * (resolution > 0 ? double{resolution} : 1.0));
  // Offsets are whole int32 numbers; anything beyond that is a damaged tag.
  if (!std::isfinite(pixels) || std::fabs(pixels) > 2147483647.0)
    throw std::runtime_error("Position tags out of range in " + file_name);
  return static_cast<int64_t>(pixels);
}
}  // namespace

std::optional<tiff_position> tiff_position_load(const std::string& file_name) {
  // Content, not the name: "scan.Tif" is decoded by DevIL but still holds TIFF tags.
  if (!is_tiff(file_name)) return std::nullopt;
  const tiff_handle tif = open_tiff(file_name, "r");
  if (!tif) return std::nullopt;
  float x = 0, y = 0, x_resolution = 0, y_resolution = 0;
  if (!TIFFGetField(tif.get(), TIFFTAG_XPOSITION, &x) && !TIFFGetField(tif.get(), TIFFTAG_YPOSITION, &y))
    return std::nullopt;
  TIFFGetField(tif.get(), TIFFTAG_YPOSITION, &y);
  TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &x_resolution);
  TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &y_resolution);
  tiff_position position;
  position.x = in_pixels(x, x_resolution, file_name);
  position.y = in_pixels(y, y_resolution, file_name);
  if (x_resolution > 0) position.x_resolution = x_resolution;
  if (y_resolution > 0) position.y_resolution = y_resolution;
  TIFFGetField(tif.get(), TIFFTAG_RESOLUTIONUNIT, &position.resolution_unit);
  uint32_t width = 0, height = 0, full_width = 0, full_height = 0;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  position.width = width;
  position.height = height;
  if (TIFFGetField(tif.get(), TIFFTAG_PIXAR_IMAGEFULLWIDTH, &full_width)) position.full_width = full_width;
  if (TIFFGetField(tif.get(), TIFFTAG_PIXAR_IMAGEFULLLENGTH, &full_height)) position.full_height = full_height;
  return position;
}
