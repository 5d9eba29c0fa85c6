#include "run/option_values.h"

#include <cctype>
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

bool same_ignoring_case(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  return *a == *b;
}

// Digits from at, as a number of at most limit; at moves past them. False without digits.
bool read_digits(const char*& at, int64_t limit, int64_t& out) {
  if (!std::isdigit(static_cast<unsigned char>(*at))) return false;
  out = 0;
  for (; std::isdigit(static_cast<unsigned char>(*at)); ++at) {
    out = out * 10 + (*at - '0');
    if (out > limit) return false;
  }
  return true;
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
  // A number of more than nine digits is past max_threads whatever its size, also past the
  // int32 range that whole_number keeps to.
  const char* digits = word[0] == '+' ? word + 1 : word;
  const size_t length = std::strlen(digits);
  const size_t leading_zeros = std::strspn(digits, "0");
  if (length > 0 && std::strspn(digits, "0123456789") == length && length - leading_zeros > 9) return max_threads;
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
    if (same_ignoring_case(word, n.word)) return n.value;
  throw command_line_error(invalid_value(option, word), false);
}

irect canvas_value(const char* option, const char* word) {
  const char* at = word;
  int64_t width = 0, height = 0, x = 0, y = 0;
  bool valid = read_digits(at, INT32_MAX, width) && *at++ == 'x' && read_digits(at, INT32_MAX, height);
  if (valid && *at != '\0') {
    const bool x_negative = *at == '-';
    valid = (*at == '+' || *at == '-') && read_digits(++at, INT32_MAX, x);
    const bool y_negative = *at == '-';
    valid = valid && (*at == '+' || *at == '-') && read_digits(++at, INT32_MAX, y) && *at == '\0';
    if (x_negative) x = -x;
    if (y_negative) y = -y;
  }
  // The far corner must be a canvas coordinate too.
  if (!valid || width < 1 || height < 1 || x + width - 1 > INT32_MAX || y + height - 1 > INT32_MAX)
    throw command_line_error(
        invalid_value(option, word) + "; expected WIDTHxHEIGHT or WIDTHxHEIGHT+X+Y, as 3197x1458+86+112", false);
  return irect{static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<int32_t>(x + width - 1),
               static_cast<int32_t>(y + height - 1)};
}

int32_t wrap_mode_value(const char* option, const char* word) {
  if (same_ignoring_case(word, "horizontal")) return 1;
  if (same_ignoring_case(word, "none")) return 0;
  if (same_ignoring_case(word, "vertical") || same_ignoring_case(word, "both"))
    throw command_line_error(std::string(option) + "=" + word +
                                 ": only horizontal wrapping can be done here (a 360-degree panorama's left and "
                                 "right edges); vertical and both cannot",
                             false);
  throw command_line_error(invalid_value(option, word) + "; expected horizontal or none", false);
}

exposure_mode exposure_mode_value(const char* option, const char* word) {
  static constexpr struct {
    const char* word;
    exposure_mode value;
  } names[] = {{"off", exposure_mode::off}, {"gain", exposure_mode::gain}, {"gain-grid", exposure_mode::gain_grid}};
  for (const auto& n : names)
    if (same_ignoring_case(word, n.word)) return n.value;
  throw command_line_error(invalid_value(option, word) + "; expected off, gain or gain-grid", false);
}
