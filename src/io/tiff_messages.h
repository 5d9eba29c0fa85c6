// The failure texts of the TIFF paths; reading and writing share them.
#pragma once

#include <string>

inline std::string tiff_read_error(const std::string& file_name) {
  return "LibTiff Error : Can't read image: " + file_name;
}

inline std::string tiff_format_error(const std::string& file_name) {
  return "Image Load Error: Can't read image format: " + file_name;
}
