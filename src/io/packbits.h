// PackBits run-length encoding of one strip, byte for byte as libtiff encodes it, so
// strips can be encoded on several threads and handed to libtiff raw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Appends the encoding of data[0..size) to out.
void packbits_encode(const uint8_t* data, size_t size, std::vector<uint8_t>& out);
