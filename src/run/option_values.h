// Turning the value word of an option into a number: whole numbers, real numbers and
// thread counts, each refused with the same "Invalid value for ..." message.
#pragma once

#include <cstdint>

#include "exposure/exposure_options.h"
#include "io/save_image.h"

// A whole number in int32 range, nothing else. Throws command_line_error.
int32_t whole_number(const char* option, const char* word);
// A finite number that fits a float. Throws command_line_error.
float real_number(const char* option, const char* word);
// A whole number of at least 0; counts above max_threads become max_threads.
int32_t thread_count_value(const char* option, const char* word);

// One of the words packbits, lzw, deflate, zstd, none. Throws command_line_error.
tiff_compression compression_value(const char* option, const char* word);

// One of the words off, gain, gain-grid. Throws command_line_error.
exposure_mode exposure_mode_value(const char* option, const char* word);

// More threads than this only cost memory and switching.
constexpr int32_t max_threads = 256;
