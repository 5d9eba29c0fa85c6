#include "run/command_line.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
std::string invalid_value(const char* option, const char* word) {
  return std::string("Invalid value for ") + option + ": \"" + word + "\"";
}

// A whole number in int32 range, nothing else: "1O0" must not quietly become 1.
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

enum class value_kind { none, text, integer, real };

struct option_word {
  const char* word;
  value_kind kind;
};

// Matched in this order, whole word, case-sensitive.
constexpr option_word option_words[] = {
    {"-o", value_kind::text},          {"-xoff", value_kind::integer},     {"-yoff", value_kind::integer},
    {"-DER", value_kind::real},        {"-DEC", value_kind::real},         {"-MinSize", value_kind::integer},
    {"-MaxComp", value_kind::integer}, {"-HiPassLevel", value_kind::integer}, {"-TSmooth", value_kind::integer},
    {"-SeamVerbose", value_kind::none}, {"-PyramidVerbose", value_kind::none}, {"-HorWrap", value_kind::integer},
    {"-WrapMode", value_kind::integer}, {"-w", value_kind::none},          {"-v", value_kind::none},
    {"-profile", value_kind::none},    {"-threads", value_kind::integer},
};

// More threads than this only cost memory and switching.
constexpr int32_t max_threads = 256;

int32_t thread_count_value(const char* option, const char* word) {
  const int32_t n = whole_number(option, word);
  if (n < 0) throw command_line_error(invalid_value(option, word), false);
  return n > max_threads ? max_threads : n;
}
}  // namespace

void parse_command_line(int argc, const char* const* argv, input_list& inputs, std::string& output_name,
                        blend_options& blend, wrap_options& wrap, run_options& run) {
  output_name = "blended.tif";
  int32_t x_offset = 0, y_offset = 0;
  for (int i = 1; i < argc; ++i) {
    const char* word = argv[i];
    const option_word* match = nullptr;
    for (const option_word& o : option_words)
      if (std::strcmp(word, o.word) == 0) {
        match = &o;
        break;
      }
    if (!match) {
      inputs.push_back({word, x_offset, y_offset});
      continue;
    }
    const char* value = nullptr;
    if (match->kind != value_kind::none) {
      if (i + 1 >= argc) throw command_line_error(std::string("Missing value for ") + word, true);
      value = argv[++i];
    }
    const std::string name = word;
    if (name == "-o") output_name = value;
    else if (name == "-xoff") x_offset = whole_number(word, value);
    else if (name == "-yoff") y_offset = whole_number(word, value);
    else if (name == "-DER") blend.DER = real_number(word, value);
    else if (name == "-DEC") blend.DEC = real_number(word, value);
    else if (name == "-MinSize") blend.MinSize = whole_number(word, value);
    else if (name == "-MaxComp") blend.MaxComp = whole_number(word, value);
    else if (name == "-HiPassLevel") blend.HiPassLevel = whole_number(word, value);
    else if (name == "-TSmooth") blend.TSmooth = whole_number(word, value);
    else if (name == "-SeamVerbose") blend.SeamVerbose = true;
    else if (name == "-PyramidVerbose") blend.PyramidVerbose = true;
    else if (name == "-HorWrap") wrap.HorWrap = whole_number(word, value);
    else if (name == "-WrapMode") wrap.WrapMode = whole_number(word, value);
    else if (name == "-w") wrap.WrapMode = 1;
    else if (name == "-profile") wrap.profile = true;
    else if (name == "-threads") run.threads = thread_count_value(word, value);
    // "-v" is accepted and changes nothing.
  }
}

int32_t resolve_thread_count(const run_options& run, const char* environment) {
  if (run.threads >= 0) return run.threads;
  if (environment && *environment) return thread_count_value("QUILTMERGE_THREADS", environment);
  return 0;
}

void check_wrap_mode(wrap_options& wrap) {
  if (wrap.WrapMode < 0 || wrap.WrapMode > 2) {
    std::printf("Invalid WrapMode (disabled ...)\n");
    wrap.WrapMode = 0;
  }
}

void clamp_blend_options(blend_options& options) {
  if (options.MinSize < 0) options.MinSize = 0;
  if (options.TSmooth < 0) options.TSmooth = 0;
  if (options.HiPassLevel < 0) options.HiPassLevel = 0;
  options.DEC = options.DEC < 0.0f ? 0.0f : (options.DEC > 1.0f ? 1.0f : options.DEC);
  options.DER = options.DER < 0.0f ? 0.0f : (options.DER > 1.0f ? 1.0f : options.DER);
  if (options.MaxComp < 1) options.MaxComp = 1;
}

void print_banner() { std::printf(" %s %s started, please wait...\n", program_name, program_version); }

void print_usage() {
  std::printf("%s %s\n", program_name, program_version);
  std::printf("usage: \n");
  std::printf("-o: output file name (list of input files)\n");
  std::printf("-xoff: offset of input picture by x\n");
  std::printf("-yoff: offset of input picture by y\n");
  std::printf("example:\n");
  std::printf("%s -o out.jpg in_file1.jpg -xoff 100 in_file2.jpg\n", program_name);
}
