// Refuses picture sizes from a file header that the image model cannot hold, before
// anything is allocated for them.
#pragma once

#include <cstdint>
#include <string>

// Both sides must be at least 1 and at most INT32_MAX, and a row of 16-byte (float)
// pixels must fit the model's int32 stride. Throws runtime_error
// "Image Load Error: Unsupported image size W x H: " + file name otherwise.
void check_image_size(int64_t width, int64_t height, const std::string& file_name);

// Refuses, before anything is allocated, a header whose picture could not come from a
// file of file_bytes (decoded_bytes more than max_ratio times the file), or whose image of
// image_bytes would fit neither free memory nor the temporary folder.
void check_decoded_size(int64_t width, int64_t height, uint64_t decoded_bytes, uint64_t file_bytes,
                        uint64_t max_ratio, uint64_t image_bytes, const std::string& file_name);
