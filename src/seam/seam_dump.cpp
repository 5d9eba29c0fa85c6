#include "seam/seam_dump.h"

#include "io/save_image.h"
#include "dumps/dump_prefix.h"

void dump_seam_image(const std::string& name, const dib_ptr& image, const blend_options& options) {
  if (!options.SeamVerbose || !options.dump_prefix || !image) return;
  // A PNG dump that cannot be written is skipped: a debug picture never ends the merge.
  save_debug_image(dump_file_name(options, name, ".png"), image.get());
}
