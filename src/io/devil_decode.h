// DevIL's decode of one file in the calling process, its allocations held to a budget:
// what the loader's child process runs, and what the fuzz target drives directly.
#pragma once

#include <IL/il.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "io/devil_size_check.h"

struct devil_pixels {
  bool refused = false;  // a format outside devil_format_allowed: nothing was decoded
  devil_file_fault fault;  // the file is cut short or damaged (devil_size_check): nothing was decoded
  bool overran = false;   // the decoder wrote past the end of a buffer it was given
  bool loaded = false;
  ILenum error = IL_NO_ERROR;  // the library's code after the load
  // 8-bit R, G, B(, A) samples, 3 or 4 bytes per pixel, and a buffer as large as reported.
  bool supported = false;
  int32_t width = 0;
  int32_t height = 0;
  int32_t bytes_per_pixel = 0;
  const uint8_t* data = nullptr;  // width * height * bytes_per_pixel bytes, top row first
};

// The memory a decode of a file of file_bytes may take: a few thousand times the file (no
// photograph compresses better; headers promising more are lies), at most what is free.
uint64_t devil_memory_budget(uint64_t file_bytes);

// The formats photographs and scans come in: BMP, GIF, JPEG, PCX, PNG, PNM, PSD, SGI, TGA
// and TIFF (under names that do not go to libtiff).
// DevIL's loaders for the rest (texture, icon and game formats, XPM, HDR) crash or loop on
// small damaged files, and none of them holds an 8-bit photograph worth merging.
bool devil_format_allowed(ILenum type);

// Where the decodes that follow note the largest allocation the budget refused them (null:
// nowhere). A child's note outlives its crash, when the library used the null it was given.
void set_devil_refusal_note(std::atomic<uint64_t>* note);

// True when no decoder wrote past the end of a block the budget gave it: each block is
// followed by a guard pattern, checked when the block is freed and here.
bool devil_blocks_intact();

// Finds the format as the library would (extension, else content), refuses it unless
// allowed or cut short (devil_size_check), else loads the file, normalises the layout to RGB(A) and hands the result to
// use() while the library still owns the pixels. Any single allocation of the library that would take its
// live bytes past memory_budget fails, which the library reports as out of memory. Blocks
// start zeroed, so that what a decoder leaves unwritten never depends on earlier memory.
void devil_decode(const std::string& file_name, uint64_t memory_budget,
                       const std::function<void(const devil_pixels&)>& use);
