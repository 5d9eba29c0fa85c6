#include "io/pnm_load.h"

#include <cctype>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

#include "image/dib.h"
#include "io/image_size_check.h"
#include "io/owned_dib.h"
#include "progress/progress_tracker.h"

namespace {
struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

std::runtime_error pnm_error(const std::string& what, const std::string& file_name) {
  return std::runtime_error("Image Load Error: " + what + ": " + file_name);
}

// One header number after whitespace and comments; -1 when there is none.
int64_t header_number(std::FILE* f) {
  int c = std::fgetc(f);
  for (;;) {
    while (c != EOF && std::isspace(c)) c = std::fgetc(f);
    if (c != '#') break;
    while (c != EOF && c != '\n' && c != '\r') c = std::fgetc(f);
  }
  if (c == EOF || !std::isdigit(c)) return -1;
  int64_t value = 0;
  while (c != EOF && std::isdigit(c)) {
    if (value > (int64_t{1} << 40)) return -1;  // absurd; refused by the caller's bounds
    value = value * 10 + (c - '0');
    c = std::fgetc(f);
  }
  // Exactly one whitespace byte ends the number; after maxval the samples begin.
  if (c == EOF || !std::isspace(c)) return -1;
  return value;
}
}  // namespace

bool pnm_load_header(const std::string& file_name, pnm_header& header) {
  file_handle f(std::fopen(file_name.c_str(), "rb"));
  if (!f) return false;
  char magic[2] = {0, 0};
  if (std::fread(magic, 1, 2, f.get()) != 2 || magic[0] != 'P' || (magic[1] != '5' && magic[1] != '6'))
    return false;
  header.channels = magic[1] == '5' ? 1 : 3;
  header.width = header_number(f.get());
  header.height = header_number(f.get());
  const int64_t maxval = header_number(f.get());
  if (header.width < 0 || header.height < 0 || maxval < 1 || maxval > 65535)
    throw pnm_error("Malformed PNM header", file_name);
  header.maxval = static_cast<int32_t>(maxval);
  check_image_size(header.width, header.height, file_name);
  header.data_offset = static_cast<uint64_t>(std::ftell(f.get()));

  // A short file must fail here: DevIL frees the image on a short read and fails afterwards.
  const uint64_t sample_bytes = header.maxval > 255 ? 2 : 1;
  const uint64_t needed = static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height) *
                          static_cast<uint64_t>(header.channels) * sample_bytes;
  if (std::fseek(f.get(), 0, SEEK_END) != 0) throw pnm_error("Can't read image", file_name);
  const long end = std::ftell(f.get());
  if (end < 0 || static_cast<uint64_t>(end) - header.data_offset < needed)
    throw pnm_error("Image data cut short", file_name);
  return true;
}

dib* pnm_load16(const std::string& file_name, const pnm_header& header, progress_tracker* progress) {
  stage_scope stage(progress, "PNM Loading from file");
  file_handle f(std::fopen(file_name.c_str(), "rb"));
  if (!f || std::fseek(f.get(), static_cast<long>(header.data_offset), SEEK_SET) != 0)
    throw pnm_error("Can't read image", file_name);
  const int32_t width = static_cast<int32_t>(header.width), height = static_cast<int32_t>(header.height);
  owned_dib result(create_float_dib(width, height));
  const size_t samples = static_cast<size_t>(width) * header.channels;
  std::vector<uint8_t> line(samples * 2);
  const float scale = static_cast<float>(header.maxval);
  for (int32_t y = 0; y < height; ++y) {
    if (std::fread(line.data(), 1, line.size(), f.get()) != line.size())
      throw pnm_error("Image data cut short", file_name);
    locked_row row(*result, y);
    float* out = row.as<float>();
    for (int32_t x = 0; x < width; ++x, out += 4) {
      float rgb[3];
      for (int c = 0; c < 3; ++c) {
        const size_t s = static_cast<size_t>(x) * header.channels + (header.channels == 1 ? 0 : c);
        const int value = line[2 * s] << 8 | line[2 * s + 1];  // big-endian
        rgb[c] = static_cast<float>(value > header.maxval ? header.maxval : value) / scale;
      }
      out[0] = rgb[2];  // B, G, R, A in memory
      out[1] = rgb[1];
      out[2] = rgb[0];
      out[3] = 1.0f;
    }
    stage.progress(static_cast<double>(int64_t{y} * 100 / height));
  }
  return result.release();
}
