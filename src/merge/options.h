// The records filled from the command line for the merge engine: the inputs with
// their canvas offsets, and the wrap and profiling options.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct input_image_spec {
  std::string file_name;
  int32_t x_offset = 0;
  int32_t y_offset = 0;
};

struct wrap_options {
  int32_t WrapMode = 0;
  int32_t HorWrap = 0;
  bool profile = false;
};

using input_list = std::vector<input_image_spec>;
