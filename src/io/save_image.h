// Writing an image: TIFF names through libtiff, every other name through DevIL.
// The target is replaced only once the new file is complete.
#pragma once

#include <string>

class dib;
class progress_tracker;

void save_image(const std::string& file_name, dib* image, progress_tracker* progress);
void write_tiff(const std::string& file_name, dib* image, progress_tracker* progress);
