// An owned libtiff handle. libtiff's warnings are silenced and its errors kept (per
// thread) rather than printed: failures reach the user as this program's exceptions.
#pragma once

#include <tiffio.h>

#include <memory>
#include <string>

struct tiff_closer {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};

using tiff_handle = std::unique_ptr<TIFF, tiff_closer>;

// Null when the file cannot be opened in the given mode ("r" or "w").
tiff_handle open_tiff(const std::string& file_name, const char* mode);
// The same on a copy of an open descriptor (the caller keeps fd); name is for messages.
tiff_handle open_tiff_fd(int fd, const std::string& file_name, const char* mode);

// The cause of the last failure on this thread, or empty; clears what it read. Writes
// prefer the system's error text (a full disk says so), reads libtiff's own message (a
// damaged file is described better by the decoder than by a stray errno).
enum class tiff_cause { system_first, library_first };
std::string take_tiff_failure_cause(tiff_cause order);
