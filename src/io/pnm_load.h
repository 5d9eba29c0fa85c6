// Binary PNM files (P5 grey, P6 colour) read by us before DevIL sees them: headers and
// data lengths are checked, and 16-bit samples, which DevIL garbles, become a float image.
#pragma once

#include <cstdint>
#include <string>

class dib;
class progress_tracker;

struct pnm_header {
  int32_t channels = 0;  // 1 for P5, 3 for P6
  int64_t width = 0;
  int64_t height = 0;
  int32_t maxval = 0;
  uint64_t data_offset = 0;  // where the samples start
};

// True when the file starts with a binary PNM header; throws runtime_error when that
// header is malformed, declares an unsupported size or promises more data than the file has.
bool pnm_load_header(const std::string& file_name, pnm_header& header);

// The samples of a binary PNM with maxval above 255 as a bgra_float image (value / maxval).
dib* pnm_load16(const std::string& file_name, const pnm_header& header, progress_tracker* progress);
