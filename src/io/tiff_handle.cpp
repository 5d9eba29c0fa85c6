#include "io/tiff_handle.h"

tiff_handle open_tiff(const std::string& file_name, const char* mode) {
  static const bool silenced = [] {
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    return true;
  }();
  (void)silenced;
  return tiff_handle(TIFFOpen(file_name.c_str(), mode));
}
