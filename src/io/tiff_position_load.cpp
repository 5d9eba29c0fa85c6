#include "io/tiff_position_load.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "io/regular_input.h"
#include "io/tiff_handle.h"
#include "io/tiff_page.h"
#include "io/tiff_raw_tags.h"

namespace {
bool is_tiff(const std::string& file_name) {
  if (!is_regular_input(file_name)) return false;  // the loader refuses it, unread
  std::FILE* file = std::fopen(file_name.c_str(), "rb");
  if (!file) return false;
  unsigned char magic[4] = {};
  const bool read = std::fread(magic, 1, sizeof magic, file) == sizeof magic;
  std::fclose(file);
  return read && ((magic[0] == 'I' && magic[1] == 'I') || (magic[0] == 'M' && magic[1] == 'M'));
}

// Why an entry is not one usable number, or empty.
std::string number_fault(const raw_tiff_entry& e) {
  if (e.type == TIFF_ASCII || e.type == TIFF_UNDEFINED || e.type > TIFF_DOUBLE || e.type == 0)
    return "it is of type " + tiff_type_name(e.type) + " where a number (RATIONAL) belongs";
  if (e.count == 0) return "it holds no value";
  if (e.count != 1) return "it holds " + std::to_string(e.count) + " values where one number belongs";
  if (!e.numeric) return "its value lies beyond the end of the file";
  if (std::isnan(e.value)) return "its value " + e.shown + " is no number";
  return "";
}

[[noreturn]] void damaged(const char* tag, const std::string& file_name, const std::string& cause) {
  throw std::runtime_error("Damaged position tag " + std::string(tag) + " in " + file_name + "\n" + cause);
}

const raw_tiff_entry* entry(const std::vector<raw_tiff_entry>& entries, uint16_t tag) {
  for (const raw_tiff_entry& e : entries)
    if (e.tag == tag) return &e;
  return nullptr;
}

// One axis: the position tag's value times its resolution (1 when there is none), rounded.
// The raw entries judge the tags; libtiff's float values make the number, as they always
// have (for a tag it reads at all, they are the raw values as floats).
int64_t axis_in_pixels(TIFF* tif, const std::vector<raw_tiff_entry>& entries, uint32_t position_tag,
                       uint32_t resolution_tag, const char* position_name, const char* resolution_name,
                       const std::string& file_name) {
  const raw_tiff_entry* position = entry(entries, static_cast<uint16_t>(position_tag));
  if (!position) return 0;
  if (const std::string fault = number_fault(*position); !fault.empty()) damaged(position_name, file_name, fault);
  float value = static_cast<float>(position->value), resolution = 1;
  TIFFGetField(tif, position_tag, &value);
  double exact = position->value;
  if (const raw_tiff_entry* r = entry(entries, static_cast<uint16_t>(resolution_tag))) {
    std::string fault = number_fault(*r);
    if (fault.empty() && !(r->value > 0)) fault = "its value " + r->shown + " is no positive resolution";
    if (!fault.empty()) damaged(resolution_name, file_name, fault);
    resolution = static_cast<float>(r->value);
    TIFFGetField(tif, resolution_tag, &resolution);
    exact *= r->value;
  }
  const double pixels = std::round(double{value} * double{resolution});
  // Offsets are whole int32 numbers; anything beyond that is a damaged tag (1e300 reads as 0
  // through libtiff, which drops a value a float cannot hold).
  if (!(std::fabs(exact) <= 2147483647.0) || !(std::fabs(pixels) <= 2147483647.0))
    damaged(position_name, file_name, "its value " + position->shown + " places the layer beyond the canvas limits");
  return static_cast<int64_t>(pixels);
}
}  // namespace

std::optional<tiff_position> tiff_position_load(const std::string& file_name) {
  // Content, not the name: "scan.Tif" is decoded by DevIL but still holds TIFF tags.
  if (!is_tiff(file_name)) return std::nullopt;
  const tiff_handle tif = open_tiff(file_name, "r");
  if (!tif) return std::nullopt;
  select_full_resolution_page(tif.get());  // the page the loader reads
  // Presence from the file itself: libtiff drops a tag of the wrong type or count unsaid.
  const std::vector<raw_tiff_entry> entries =
      read_raw_tiff_entries(file_name, TIFFCurrentDirOffset(tif.get()),
                            {TIFFTAG_XRESOLUTION, TIFFTAG_YRESOLUTION, TIFFTAG_XPOSITION, TIFFTAG_YPOSITION});
  if (!entry(entries, TIFFTAG_XPOSITION) && !entry(entries, TIFFTAG_YPOSITION)) return std::nullopt;
  tiff_position position;
  position.x = axis_in_pixels(tif.get(), entries, TIFFTAG_XPOSITION, TIFFTAG_XRESOLUTION, "XPosition", "XResolution",
                              file_name);
  position.y = axis_in_pixels(tif.get(), entries, TIFFTAG_YPOSITION, TIFFTAG_YRESOLUTION, "YPosition", "YResolution",
                              file_name);
  // Both are positive where present: axis_in_pixels refused any other.
  float x_resolution = 0, y_resolution = 0;
  if (TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &x_resolution)) position.x_resolution = x_resolution;
  if (TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &y_resolution)) position.y_resolution = y_resolution;
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
