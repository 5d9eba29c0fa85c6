#include "run/option_values.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "run/command_line_error.h"

namespace {
std::string invalid_value(const char* option, const char* word) {
  return std::string("Invalid value for ") + option + ": \"" + word + "\"";
}
}  // namespace

// "1O0" must not quietly become 1.
int32_t whole_number(const char* option, const char* word) {
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(word, &end, 10);
  bool digits = end != word && std::strchr("+-0123456789", word[0]) != nullptr;
  if (!digits || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
    throw command_line_error(invalid_value(option, word), false);
  return static_cast<int32_t>(v);
}

float real_number(const char* option, const char* word) {
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(word, &end);
  bool starts_as_number = end != word && std::strchr("+-.0123456789", word[0]) != nullptr;
  if (!starts_as_number || *end != '\0' || !std::isfinite(v) || std::fabs(v) > 3.4e38)
    throw command_line_error(invalid_value(option, word), false);
  return static_cast<float>(v);
}

int32_t thread_count_value(const char* option, const char* word) {
  const int32_t n = whole_number(option, word);
  if (n < 0) throw command_line_error(invalid_value(option, word), false);
  return n > max_threads ? max_threads : n;
}

tiff_compression compression_value(const char* option, const char* word) {
  static constexpr struct {
    const char* word;
    tiff_compression value;
  } names[] = {{"packbits", tiff_compression::packbits},
               {"lzw", tiff_compression::lzw},
               {"deflate", tiff_compression::deflate},
               {"zstd", tiff_compression::zstd},
               {"none", tiff_compression::none}};
  for (const auto& n : names)
    if (std::strcmp(word, n.word) == 0) return n.value;
  throw command_line_error(invalid_value(option, word), false);
}

exposure_mode exposure_mode_value(const char* option, const char* word) {
  static constexpr struct {
    const char* word;
    exposure_mode value;
  } names[] = {{"off", exposure_mode::off}, {"gain", exposure_mode::gain}, {"gain-grid", exposure_mode::gain_grid}};
  for (const auto& n : names)
    if (std::strcmp(word, n.word) == 0) return n.value;
  throw command_line_error(invalid_value(option, word), false);
}
