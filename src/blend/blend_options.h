// The blend and seam settings of a run, filled from the command line and read-only
// below the driver: pyramid size, mask smoothing, seam error terms, cut budget, dumps.
#pragma once

#include <cstdint>

struct blend_options {
  int32_t MinSize = 4;
  int32_t TSmooth = 0;
  int32_t HiPassLevel = 4;
  float DEC = 24.0f / 255.0f;
  float DER = 0.25f;
  bool SeamVerbose = false;
  bool PyramidVerbose = false;
  int32_t MaxComp = 81920;
};
