// An owned libtiff handle, opened with libtiff's own warnings and errors silenced:
// failures reach the user as this program's exceptions, not as library chatter.
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
