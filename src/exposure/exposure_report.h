// The estimated corrections as text for the console: one line per input with its gain per
// channel, and one for the falloff.
#pragma once

#include <string>
#include <vector>

#include "exposure/exposure_correction.h"

std::string exposure_report(const exposure_correction& correction, const std::vector<std::string>& names);
