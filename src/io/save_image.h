// Writing an image: TIFF names through libtiff, every other name through DevIL.
// The target is replaced only once the new file is complete; a failed save leaves an
// earlier file of that name intact and no partial file behind.
#pragma once

#include <string>

class dib;
class progress_tracker;

void save_image(const std::string& file_name, dib* image, progress_tracker* progress);
void write_tiff(const std::string& file_name, dib* image, progress_tracker* progress);

// For the verbose debug dumps: like save_image without progress, except that a non-TIFF
// dump DevIL cannot write (unwritable folder, unknown extension, encoder failure) is
// skipped silently. TIFF dumps and "Can't create image" still throw.
void save_debug_image(const std::string& file_name, dib* image);
