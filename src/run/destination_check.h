// The files a run will write, checked before the first merge: a name that stands for an
// input or for the other output is a command-line fault; a folder that is missing or
// refuses files, or a name that is a folder, a pipe or a device, fails the run at once
// rather than after minutes of merging.
#pragma once

#include <string>

#include "merge/options.h"

struct destinations {
  std::string output;
  std::string seams;         // empty: no label map
  bool profile = false;      // profile.txt in the current folder
  bool tiff_dumps = false;   // pyramid dumps (TIFF, which fail loudly) in the current folder
};

// Throws command_line_error when two names lead to one file (links followed, device and
// inode compared), runtime_error with the cause when a destination cannot be written.
// Leaves nothing behind.
void check_destinations(const input_list& inputs, const destinations& targets);
