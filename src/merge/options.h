// The records filled from the command line: the inputs with their canvas offsets,
// the blend and seam options, and the wrap and profiling options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct input_image_spec {
  std::string file_name;
  int32_t x_offset = 0;
  int32_t y_offset = 0;
};

struct blend_options {
  int32_t MinSize = 4;
  int32_t TSmooth = 0;
  int32_t HiPassLevel = 4;
  float DEC = 24.0f / 255.0f;
  float DER = 0.25f;
  bool SeamVerbose = false;
  bool PyramidVerbose = false;
  int32_t MaxComp = 81920;
  const char* dump_prefix = nullptr;  // not owned; set per merge step
};

struct wrap_options {
  int32_t WrapMode = 0;
  int32_t HorWrap = 0;
  bool profile = false;
};

using input_list = std::vector<input_image_spec>;
