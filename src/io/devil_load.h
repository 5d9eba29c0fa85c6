// Decoding a non-TIFF file with DevIL into a bgra32 image whose row 0 is the top row.
#pragma once

#include <string>

class dib;
class progress_tracker;

dib* devil_load(const std::string& file_name, progress_tracker* progress);
