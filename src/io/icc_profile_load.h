// The ICC colour profile an input file carries: TIFF's ICCProfile tag, JPEG's ICC_PROFILE
// APP2 segments, PNG's iCCP chunk. Only the headers are read, never the pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The profile's bytes, or empty when the file has none, is of another format, is no regular
// file (left unread), or holds a damaged or incomplete one (a profile is never guessed at).
// Throws nothing.
std::vector<uint8_t> icc_profile_load(const std::string& file_name);

// Why bytes a file carries as its profile are no ICC profile, or empty when the header
// holds: at least its 128 bytes, the size field (bytes 0-3) equal to the length, and the
// signature "acsp" at byte 36. A broken profile carried into the output would mislead every
// program that reads it.
std::string icc_profile_fault(const std::vector<uint8_t>& profile);

// The same on a file's first bytes in memory, for JPEG and PNG (the fuzz target's way in).
std::vector<uint8_t> icc_profile_of_jpeg(const uint8_t* data, size_t size);
std::vector<uint8_t> icc_profile_of_png(const uint8_t* data, size_t size);
