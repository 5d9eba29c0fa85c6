#include "io/devil_size_check.h"

#include <gtest/gtest.h>

#include "io/devil_decode.h"
#include "io/load_image.h"
#include "io/save_image.h"
#include "platform/child_process.h"
#include "io_test_files.h"

using namespace io_test;

namespace {
std::string le16(uint32_t v) { return {static_cast<char>(v & 0xff), static_cast<char>(v >> 8)}; }
std::string be16(uint32_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xff)}; }
std::string be32(uint32_t v) { return be16(v >> 16) + be16(v & 0xffff); }

// Sample c (0 R, 1 G, 2 B) of pixel (x, y), y counted from the top.
uint8_t sample(int x, int y, int c) { return static_cast<uint8_t>(x * 5 + y * 11 + c * 70 + (x * y) % 7); }

// A run-length coded 24-bit TGA: alternately a run of 5 and 3 literal pixels, no footer.
std::string rle_tga(uint16_t width, uint16_t height) {
  std::string out = std::string("\0\0\x0a", 3) + std::string(9, '\0') + le16(width) + le16(height) + "\x18\x20";
  for (int done = 0, k = 0; done < width * height; ++k) {
    const bool run = k % 2 == 0;
    const int count = run ? 5 : 3;
    out += static_cast<char>(run ? 0x80 | (count - 1) : count - 1);
    for (int p = 0; p < (run ? 1 : count); ++p) out += std::string{static_cast<char>(k), static_cast<char>(p * 9), 'x'};
    done += count;
  }
  return out;
}

// A run-length coded PCX of three 8-bit planes; every byte goes out as a run of one.
std::string rle_pcx(int width, int height) {
  std::string header(128, '\0');
  header[0] = 0x0A, header[1] = 5, header[2] = 1, header[3] = 8;
  header.replace(8, 4, le16(width - 1) + le16(height - 1));
  header[65] = 3;
  header.replace(66, 2, le16(width));
  for (int y = 0; y < height; ++y)
    for (int c = 0; c < 3; ++c)
      for (int x = 0; x < width; ++x) header += std::string{'\xC1', static_cast<char>(sample(x, y, c))};
  return header;
}

// An SGI of three 8-bit channels, rows bottom first, verbatim or each row one literal packet.
std::string sgi(int width, int height, bool run_length) {
  std::string out = be16(474) + static_cast<char>(run_length) + '\1' + be16(3) + be16(width) + be16(height) + be16(3);
  out += be32(0) + be32(255);
  out.resize(512, '\0');
  std::vector<std::string> rows;
  for (int c = 0; c < 3; ++c)
    for (int row = 0; row < height; ++row) {
      std::string bytes;
      for (int x = 0; x < width; ++x) bytes += static_cast<char>(sample(x, height - 1 - row, c));
      rows.push_back(run_length ? static_cast<char>(0x80 | width) + bytes + '\0' : bytes);
    }
  if (run_length) {
    uint32_t at = 512 + 8 * static_cast<uint32_t>(rows.size());
    std::string starts, lengths;
    for (const std::string& row : rows) {
      starts += be32(at);
      lengths += be32(static_cast<uint32_t>(row.size()));
      at += static_cast<uint32_t>(row.size());
    }
    out += starts + lengths;
  }
  for (const std::string& row : rows) out += row;
  return out;
}

// A 2 x 2 GIF as ImageMagick writes it: colour table, graphic control, one picture.
const std::string tiny_gif = std::string(
    "GIF89a\2\0\2\0\xf0\0\0\xff\0\0\0\0\0\x21\xf9\4\0\0\0\0\0\x2c\0\0\0\0\2\0\2\0\0\2\2\x84\x51\0\x3b", 43);
}  // namespace

// A file cut anywhere before the end of its pixels is refused before the decoder sees it,
// saying where it ends; the whole file loads. Without the check these merged with rows the
// decoder never wrote (PCX, TGA, SGI, PSD) or failed with "no error" (GIF).
TEST(DevilSizeCheck, FilesCutShortAreRefusedAndWholeOnesLoad) {
  temp_folder dir;
  dib_ptr picture(create_dib(40, 30, 32));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) test_images::set_pixel(picture.get(), x, y, {sample(x, y, 0), sample(x, y, 1), sample(x, y, 2), 255});
  save_image(dir.file("whole.psd"), picture.get(), nullptr);
  const std::pair<std::string, std::string> files[] = {
      {"psd", file_content(dir.file("whole.psd"))}, {"pcx", rle_pcx(40, 30)}, {"sgi", sgi(40, 30, false)},
      {"rgb", sgi(40, 30, true)},  // SGI's other name
      {"tga", rle_tga(40, 30)},    {"gif", tiny_gif}};
  for (const auto& [extension, bytes] : files) {
    SCOPED_TRACE(extension);
    const std::string name = dir.file("picture." + extension);
    for (const size_t length : {bytes.size() / 10, bytes.size() / 2, bytes.size() * 9 / 10, bytes.size() - 2}) {
      write_content(name, bytes.substr(0, length));
      const std::string error = error_of([&] { dib_ptr image(load_image(name, nullptr)); });
      const std::string start = "Image Load Error: Image data cut short: " + name + "\nthe file ends after " +
                                std::to_string(length) + " bytes";
      EXPECT_EQ(error.substr(0, start.size()), start) << length;
    }
    write_content(name, bytes);
    dib_ptr whole(load_image(name, nullptr));
    if (extension == "gif") {
      // A colour table of 4 entries where the file holds 2: the graphic control block starts
      // inside it, and the next block at a zero. The decoder failed on it with "no error".
      std::string damaged = bytes;
      damaged[10] = '\xf1';
      write_content(name, damaged);
      EXPECT_EQ(error_of([&] { dib_ptr image(load_image(name, nullptr)); }),
                "Image Load Error: Damaged file: " + name +
                    "\nbyte 25 (0x00) starts no GIF block; a colour table of the wrong size, most likely");
    }
    if (extension == "gif" || extension == "tga") continue;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        const rgba8 p = test_images::get_pixel(whole.get(), x, y);
        ASSERT_EQ((std::array<int, 3>{p.r, p.g, p.b}), (std::array<int, 3>{sample(x, y, 0), sample(x, y, 1), sample(x, y, 2)}))
            << x << "," << y;
      }
  }
}

// Each block the decoder gets is followed by a guard: a write one byte past the pixels is
// noticed when the block is freed, as a heap overflow in a damaged PSD or GIF would be. In a
// child, as the loader runs it: the library keeps blocks of its own until the process ends.
TEST(DevilSizeCheck, WritesPastADecoderBufferAreNoticed) {
  temp_folder dir;
  const std::string name = dir.file("p.tga");
  write_content(name, rle_tga(8, 4));
  child_process child(
      [&](int) {
        bool intact_during = false;
        devil_decode(name, uint64_t{64} << 20, [&](const devil_pixels& pixels) {
          intact_during = pixels.supported && devil_blocks_intact();
          const size_t bytes = static_cast<size_t>(pixels.width) * pixels.height * pixels.bytes_per_pixel;
          if (pixels.supported) const_cast<uint8_t*>(pixels.data)[bytes] ^= 1;
        });
        if (!intact_during) return 1;
        if (devil_blocks_intact()) return 2;
        // The next decode starts afresh.
        bool overran = true;
        devil_decode(name, uint64_t{64} << 20, [&](const devil_pixels& pixels) { overran = pixels.overran; });
        return overran || !devil_blocks_intact() ? 3 : 0;
      },
      20000);
  const child_process::outcome end = child.finish();
  EXPECT_EQ(end.how, child_process::ending::exited);
  EXPECT_EQ(end.code, 0);
}
