// Encoding an image with DevIL, which picks the format from the file name's extension.
#pragma once

#include <string>

class dib;
class progress_tracker;

// With `quiet`, a file that cannot be written is skipped without an exception.
void devil_save(const std::string& file_name, dib* image, progress_tracker* progress, bool quiet);
