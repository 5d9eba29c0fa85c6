// Turning the value word of an option into a number: whole numbers, real numbers and
// thread counts, each refused with the same "Invalid value for ..." message.
#pragma once

#include <cstdint>

#include "image/irect.h"
#include "exposure/exposure_options.h"
#include "io/save_image.h"

// A whole number in int32 range, nothing else. Throws command_line_error.
int32_t whole_number(const char* option, const char* word);
// A finite number that fits a float. Throws command_line_error.
float real_number(const char* option, const char* word);
// A whole number of at least 0; counts above max_threads, however large, become max_threads.
int32_t thread_count_value(const char* option, const char* word);

// One of the words packbits, lzw, deflate, zstd, none, in any case (Hugin writes LZW).
// Throws command_line_error.
tiff_compression compression_value(const char* option, const char* word);

// WxH or WxH+X+Y (either sign before X and Y, as 3197x1458+86+112 or 640x480-5+0): the
// canvas rectangle, in canvas coordinates. Throws command_line_error naming the form.
irect canvas_value(const char* option, const char* word);

// enblend's wrap modes: horizontal gives WrapMode 1, none 0, in any case. Vertical and
// both are refused (command_line_error), as is any other word.
int32_t wrap_mode_value(const char* option, const char* word);
// One of the words off, gain, gain-grid. Throws command_line_error.
exposure_mode exposure_mode_value(const char* option, const char* word);

// More threads than this only cost memory and switching.
constexpr int32_t max_threads = 256;
