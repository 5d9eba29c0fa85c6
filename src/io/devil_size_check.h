// Checks a file against the size rules of its own format before DevIL decodes it: the
// library's PCX, SGI, TGA and PSD loaders do not notice a file cut short and fill the
// missing rows with whatever their buffers held, and its GIF loader fails without a reason
// on a file cut inside its header or whose blocks do not follow one another.
#pragma once

#include <IL/il.h>

#include <string>

struct devil_file_fault {
  enum class kind { none, cut_short, damaged };
  kind what = kind::none;
  std::string cause;  // "the file ends after 6820 bytes, inside the run-length coded pixels"
};

// Whether the file is shorter than its header and its run-length codes require, or (GIF)
// has a byte where a block should start, which the decoder fails on without a reason. Reads
// the headers and walks the run-length codes and GIF blocks; decodes no pixel.
devil_file_fault devil_size_check(const std::string& file_name, ILenum type);
