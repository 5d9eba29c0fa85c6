// The one table of command-line options: word, alias, value, default, values allowed
// and help line; the parser, --help, the man page and the README table all come from it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "blend/blend_options.h"
#include "merge/options.h"
#include "run/run_options.h"

// The records one command line fills, and the running offsets of the inputs it places.
struct option_target {
  std::string& output_name;
  blend_options& blend;
  wrap_options& wrap;
  run_options& run;
  int32_t x_offset = 0;
  int32_t y_offset = 0;
};

// How an option's value may be written besides "-o NAME" and "--output=NAME".
enum class value_form {
  separate,  // a required value in the next word (or after = for a -- word)
  optional,  // only as --word=VALUE; the word alone means the default
  attached,  // also glued to a one-letter word when it starts with a digit: -f3197x1458+86+112
};

struct option_info {
  const char* word;          // matched whole and case-sensitive
  const char* long_word;     // GNU-style alias, or nullptr
  const char* value_name;    // the value's name in the help ("N"); nullptr for a switch
  const char* default_text;  // nullptr where there is none to show
  const char* values;        // the values allowed, nullptr where any word goes
  const char* help;          // one line, ASCII, no final full stop
  // Stores the value (null for a switch); throws command_line_error for a bad one.
  // Null for the words the program answers before parsing (--help, --version).
  void (*apply)(option_target& target, const char* word, const char* value);
  value_form form = value_form::separate;

  // A required value: the next word when the word itself carries none.
  bool takes_value() const { return value_name != nullptr && form != value_form::optional; }
};

// In the order the help lists them.
std::span<const option_info> option_table();

// The entry whose word or alias is exactly this word, or null.
const option_info* find_option(const char* word);
