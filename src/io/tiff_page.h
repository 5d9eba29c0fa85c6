// The page of a TIFF whose picture is read: a scanner or camera may put a thumbnail (a
// reduced-resolution copy) or a transparency mask first.
#pragma once

#include <tiffio.h>

// Moves tif to its first page that is neither a reduced-resolution copy nor a mask, or back
// to the first page when there is none (or a later directory cannot be read).
void select_full_resolution_page(TIFF* tif);
