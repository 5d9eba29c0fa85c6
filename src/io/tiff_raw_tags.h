// Entries of a TIFF directory as the file stores them, read without libtiff: its reader
// drops a tag of the wrong type or count in silence, which hides a damaged tag from checks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct raw_tiff_entry {
  uint16_t tag = 0;
  uint16_t type = 0;  // TIFF's field type code: 3 SHORT, 5 RATIONAL, 12 DOUBLE, ...
  uint64_t count = 0;
  bool numeric = false;  // of a number type and with at least one value
  double value = 0;      // the first value; a rational n/0 gives NaN
  std::string shown;     // the first value as stored: "10", "60/0", "1e+300"
};

// The entries with the given tags of the directory at directory_offset (TIFFCurrentDirOffset),
// classic or BigTIFF, in either byte order; tags not there are left out. Empty when the file
// cannot be read so far (libtiff has read it, so that means it changed meanwhile).
std::vector<raw_tiff_entry> read_raw_tiff_entries(const std::string& file_name, uint64_t directory_offset,
                                                  const std::vector<uint16_t>& tags);

// "RATIONAL", "ASCII", ... for a type code; "type N" for codes TIFF does not define.
std::string tiff_type_name(uint16_t type);
