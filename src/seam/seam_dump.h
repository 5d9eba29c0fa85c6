// Debug images of the seam search, written only with -SeamVerbose.
#pragma once

#include <string>

#include "image/dib.h"
#include "merge/options.h"

// Writes image as <dump_prefix>_<name>.png. Nothing is written without SeamVerbose or
// before the first merge step has set a prefix; a file that cannot be written is skipped.
void dump_seam_image(const std::string& name, const dib_ptr& image, const blend_options& options);
