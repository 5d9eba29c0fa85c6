#include "io/tiff_page.h"

namespace {
bool is_full_resolution(TIFF* tif) {
  uint32_t kind = 0;
  uint16_t old_kind = 0;
  if (TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &kind) && (kind & (FILETYPE_REDUCEDIMAGE | FILETYPE_MASK))) return false;
  return !TIFFGetField(tif, TIFFTAG_OSUBFILETYPE, &old_kind) || old_kind != OFILETYPE_REDUCEDIMAGE;
}
}  // namespace

void select_full_resolution_page(TIFF* tif) {
  if (is_full_resolution(tif)) return;
  while (TIFFReadDirectory(tif))
    if (is_full_resolution(tif)) return;
  TIFFSetDirectory(tif, 0);
}
