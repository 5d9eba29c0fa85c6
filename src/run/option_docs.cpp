#include "run/option_docs.h"

#include <cstddef>

#include "run/command_line.h"
#include "run/option_table.h"

namespace {
constexpr size_t help_width = 79;
constexpr size_t help_indent = 22;

// What follows a word in its label: " NAME" for a required value; "[=N]" for an optional
// one, which only a -- word can carry.
std::string value_text(const option_info& o, const char* word) {
  if (o.takes_value()) return std::string(" ") + o.value_name;
  if (o.value_name && word[1] == '-') return std::string("[=") + o.value_name + "]";
  return "";
}

// "-o NAME, --output NAME" in plain text.
std::string label(const option_info& o) {
  std::string text = o.word + value_text(o, o.word);
  if (o.long_word) text += std::string(", ") + o.long_word + value_text(o, o.long_word);
  return text;
}

// The help line, then "Default: ..." and "Values: ..." as sentences.
std::string description(const option_info& o) {
  std::string text = std::string(o.help) + ".";
  if (o.default_text) text += std::string(" Default: ") + o.default_text + ".";
  if (o.values) text += std::string(" Values: ") + o.values + ".";
  return text;
}

// Greedy word wrap of text that starts at column indent, as every further line does.
std::string wrapped(const std::string& text, size_t indent) {
  std::string out;
  size_t column = indent;
  bool line_empty = true;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const size_t length = end - at;
    if (!line_empty && column + 1 + length > help_width) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
      line_empty = true;
    }
    if (!line_empty) {
      out += ' ';
      ++column;
    }
    out.append(text, at, length);
    column += length;
    line_empty = false;
    at = end + 1;
  }
  return out + "\n";
}

// Roff text: backslashes and minus signs escaped, no line taken for a request.
std::string roff(const std::string& text) {
  std::string out = text.empty() || (text[0] != '.' && text[0] != '\'') ? "" : "\\&";
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  return out;
}

std::string roff_value(const option_info& o, const char* word) {
  if (o.takes_value()) return std::string(" \\fI") + o.value_name + "\\fR";
  if (o.value_name && word[1] == '-') return std::string("[=\\fI") + o.value_name + "\\fR]";
  return "";
}

std::string roff_label(const option_info& o) {
  std::string text = "\\fB" + roff(o.word) + "\\fR" + roff_value(o, o.word);
  if (o.long_word) text += ", \\fB" + roff(o.long_word) + "\\fR" + roff_value(o, o.long_word);
  return text;
}

std::string markdown_label(const option_info& o) {
  std::string text = std::string("`") + o.word + value_text(o, o.word) + "`";
  if (o.long_word) text += std::string(", `") + o.long_word + value_text(o, o.long_word) + "`";
  return text;
}
}  // namespace

std::string help_text() {
  std::string text;
  text += std::string(program_name) + " merges overlapping photographs placed at integer offsets into one\n";
  text += "image: each seam is cut along the least visible path and blended away.\n\n";
  text += std::string("Usage: ") + program_name + " [options] first.jpg [-xoff X] [-yoff Y] second.jpg ...\n\n";
  text += "Words are read in order. Every word that is not an option is an input file,\n";
  text += "placed at the current offsets; the first input is the base, each further one\n";
  text += "is merged into the result so far. A long option takes its value after = as\n";
  text += "well (--output=pano.tif); -- ends the options, and every word after it is an\n";
  text += "input; a word that starts with - and is neither an option nor a file is an\n";
  text += "error.\n\nOptions:\n";
  for (const option_info& o : option_table()) {
    const std::string head = "  " + label(o);
    text += head;
    // A label too long for its column gets a line of its own.
    text += head.size() + 2 > help_indent ? "\n" + std::string(help_indent, ' ')
                                          : std::string(help_indent - head.size(), ' ');
    text += wrapped(description(o), help_indent);
  }
  text += "\nExit status: 0 after a successful run (and for the usage when no argument is\n";
  text += "given), 1 when the run failed, 2 for a command line that cannot be run.\n\n";
  text += "Environment: QUILTMERGE_THREADS gives the thread count when -threads is absent;\n";
  text += "TMPDIR is where images too large for memory are kept (else /tmp).\n\n";
  text += std::string("The full manual: man ") + program_name + "\n";
  return text;
}

std::string man_options() {
  std::string text;
  for (const option_info& o : option_table()) {
    text += ".TP\n" + roff_label(o) + "\n" + roff(o.help) + ".\n";
    if (o.default_text) text += "Default: " + roff(o.default_text) + ".\n";
    if (o.values) text += "Values: " + roff(o.values) + ".\n";
  }
  return text;
}

std::string markdown_options() {
  std::string text = "| option | meaning | default | values |\n|---|---|---|---|\n";
  for (const option_info& o : option_table()) {
    text += "| " + markdown_label(o) + " | " + o.help + " | " + (o.default_text ? o.default_text : "") + " | " +
            (o.values ? o.values : "") + " |\n";
  }
  return text;
}
