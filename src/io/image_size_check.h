// Refuses picture sizes from a file header that the image model cannot hold, before
// anything is allocated for them.
#pragma once

#include <cstdint>
#include <string>

// Both sides must be at least 1 and at most INT32_MAX, and a row of 16-byte (float)
// pixels must fit the model's int32 stride. Throws runtime_error
// "Image Load Error: Unsupported image size W x H: " + file name otherwise.
void check_image_size(int64_t width, int64_t height, const std::string& file_name);
