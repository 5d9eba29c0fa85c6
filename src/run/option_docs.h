// The option table written out for people: the --help text, the man page's OPTIONS
// section (roff) and the README's option table (Markdown).
#pragma once

#include <string>

// Everything --help prints after the banner line.
std::string help_text();

// The body of the OPTIONS section: one tagged paragraph per option.
std::string man_options();

// A Markdown table with a header row and one row per option.
std::string markdown_options();
