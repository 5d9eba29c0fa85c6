// Build-time generator of the option documentation: the man page (the hand-written roff
// template with the version and the OPTIONS section filled in) and the README's table.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "run/command_line.h"
#include "run/option_docs.h"

namespace {
int write_man_page(const char* template_name, const char* output_name) {
  std::ifstream in(template_name);
  if (!in) {
    std::cerr << "make_option_docs: cannot read " << template_name << "\n";
    return 1;
  }
  std::ostringstream page;
  std::string line;
  while (std::getline(in, line)) {
    if (line == "@OPTIONS@") {
      page << man_options();
      continue;
    }
    for (size_t at; (at = line.find("@VERSION@")) != std::string::npos;) line.replace(at, 9, program_version);
    page << line << "\n";
  }
  std::ofstream out(output_name);
  out << page.str();
  out.close();
  if (!out) {
    std::cerr << "make_option_docs: cannot write " << output_name << "\n";
    return 1;
  }
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "man" && argc == 4) return write_man_page(argv[2], argv[3]);
  if (mode == "markdown" && argc == 2) {
    std::cout << markdown_options();
    return 0;
  }
  std::cerr << "usage: make_option_docs man TEMPLATE OUTPUT\n       make_option_docs markdown\n";
  return 2;
}
