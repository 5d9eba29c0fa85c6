// Reading an 8-bit TIFF whose colours are not plain grey or RGB samples (palette,
// YCbCr, CMYK, CIE Lab, ...), or a 1, 2 or 4-bit grey or palette one, through libtiff's
// RGBA image interface.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <string>

#include "io/owned_dib.h"

class stage_scope;

// A bgra32 image with stored scanline i in row i, as for every TIFF this program reads.
owned_dib tiff_rgba_load(TIFF* tif, int32_t width, int32_t height, const std::string& file_name,
                         const stage_scope& stage);
