// Reading an input file into a bgra32 (8-bit data) or bgra_float (16-bit TIFF) image.
#pragma once

#include <string>

class dib;
class progress_tracker;

dib* load_input_image(const std::string& file_name, progress_tracker* progress);
dib* load_image(const std::string& file_name, progress_tracker* progress);
dib* tiff_load(const std::string& file_name, progress_tracker* progress);

// True for the extensions "tif", "TIF", "tiff" and "TIFF" after the last dot.
bool has_tiff_extension(const std::string& file_name);
