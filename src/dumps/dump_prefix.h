// Naming of the debug image dumps: one process-wide counter, one prefix per
// blend-core run ("0000_Verb_", "0001_Verb_", ...).
#pragma once

#include <string>

#include "merge/options.h"

// Formats the counter, advances it and points options->dump_prefix at the new prefix.
void next_dump_prefix(blend_options* options);

// dump_prefix + "_" + name + extension, e.g. "0000_Verb__DBG_06_SeamError.png".
std::string dump_file_name(const blend_options& options, const std::string& name, const char* extension);

// For tests: restart the counter at 0.
void reset_dump_counter();
