// Settings of the process rather than of the merge, filled from the command line:
// today the worker thread count.
#pragma once

#include <cstdint>

struct run_options {
  int32_t threads = -1;  // -threads N; -1 when not given
};
