// Checks a file against the size rules of its own format before DevIL decodes it: the
// library's PCX, SGI, TGA and PSD loaders do not notice a file cut short and fill the
// missing rows with whatever their buffers held, and its GIF loader fails without a reason
// on a file cut inside its header.
#pragma once

#include <IL/il.h>

#include <string>

// Why the file is shorter than its header and its run-length codes require ("the file ends
// after 6820 bytes, inside the run-length coded pixels"), or empty when it is long enough or
// of another type. Reads the headers and walks the run-length codes; decodes no pixel.
std::string devil_size_check(const std::string& file_name, ILenum type);
