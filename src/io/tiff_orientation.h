// Turns a picture read in the order a TIFF stores it upright, by the file's Orientation tag:
// row 0 of the result is the top of the picture as it is meant to be seen.
#pragma once

#include <cstdint>

#include "io/owned_dib.h"

// Orientation 1 (or a value TIFF does not define) hands the image back as it is; 2 to 4
// mirror it, 5 to 8 also swap its sides (a camera held upright). A new image of the same
// model otherwise.
owned_dib apply_tiff_orientation(owned_dib image, uint16_t orientation);
