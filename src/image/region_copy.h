// Pasting one image into another at an offset, clipped to the destination:
// every pixel with conversion ("Copying DIB"), or only the opaque ones.
#pragma once

#include <cstdint>

class dib;
class progress_tracker;

void copy_dib(dib* src, dib* dst, int32_t x, int32_t y, progress_tracker* progress);
void copy_opaque(dib* src, dib* dst, int32_t x, int32_t y, progress_tracker* progress);

// Runs of n pixels: a pixel is copied whole when its alpha says it is opaque.
void copy_opaque_float_run(const float* src, float* dst, int32_t n);
void copy_opaque_bgra32_run(const uint8_t* src, uint8_t* dst, int32_t n);
