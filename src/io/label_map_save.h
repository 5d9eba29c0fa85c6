// Writing a seam label map: one byte per canvas pixel as an 8-bit grey PNG (our own
// encoder over zlib, so no size limit of DevIL's) or, for TIFF names, an 8-bit grey TIFF.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "io/atomic_output.h"

// The map written completely and flushed, but not yet in place: commit() puts it there.
// Lets a run replace the map and its output only once both are complete.
std::unique_ptr<atomic_output> label_map_write(const std::string& file_name, const uint8_t* labels, int32_t width,
                                               int32_t height);

// labels holds height rows of width bytes. Replaces the file atomically; throws
// runtime_error naming the file and the cause on failure.
void label_map_save(const std::string& file_name, const uint8_t* labels, int32_t width, int32_t height);
