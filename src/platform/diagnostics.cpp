#include "platform/diagnostics.h"

#include <cctype>
#include <memory>
#include <string>

namespace {
struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

// Lower-cased line without surrounding blanks; false at end of input.
bool read_answer(std::FILE* in, std::string* answer) {
  answer->clear();
  int c;
  bool got_any = false;
  while ((c = std::fgetc(in)) != EOF) {
    got_any = true;
    if (c == '\n') break;
    answer->push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  if (!got_any) return false;
  const char* blanks = " \t\r";
  size_t first = answer->find_first_not_of(blanks);
  if (first == std::string::npos) {
    answer->clear();
  } else {
    answer->erase(answer->find_last_not_of(blanks) + 1);
    answer->erase(0, first);
  }
  return true;
}
}  // namespace

void debug_output(const char* text) {
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

bool ask_yes_no_on(std::FILE* in, std::FILE* out, const char* caption, const char* question) {
  std::string answer;
  for (;;) {
    std::fprintf(out, "[%s]\n%s [y/n] ", caption, question);
    std::fflush(out);
    if (!read_answer(in, &answer)) return true;
    if (answer == "y" || answer == "yes") return true;
    if (answer == "n" || answer == "no") return false;
  }
}

bool ask_yes_no(const char* caption, const char* question) {
  // Separate read and write streams: a single update stream would need a seek
  // between reading and writing, which a terminal does not support.
  file_handle in(std::fopen("/dev/tty", "r"));
  if (!in) return true;
  file_handle out(std::fopen("/dev/tty", "w"));
  if (!out) return true;
  return ask_yes_no_on(in.get(), out.get(), caption, question);
}
