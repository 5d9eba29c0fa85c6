// The output-bytes contract: fixed runs on pictures made here, each output's digest
// stored below. A change that moves one byte of any of them fails this test; a change
// meant to alter an output must say so and update the digest in the same commit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "io/io_test_files.h"
#include "run/program.h"
#include "support/run_binary.h"
#include "support/storage_override.h"

namespace {
// FNV-1a, 64 bits: enough to notice any change, not meant to resist one.
uint64_t digest_of(const std::string& bytes, uint64_t h = 0xcbf29ce484222325ull) {
  for (const unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

std::string hex(uint64_t v) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
  return text;
}

// Every file of the folder but the inputs, by name: name and bytes go into one digest.
std::string folder_digest(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("in_", 0) != 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  uint64_t h = digest_of("");
  for (const std::string& name : names) h = digest_of(io_test::file_content(folder + "/" + name), digest_of(name, h));
  return hex(h);
}

// A scene with edges at several scales and fine texture, so that seams have something to
// avoid; each tile gets its own gain, as real shots do.
double scene(int x, int y, int channel) {
  const double s = 0.5 + 0.22 * std::sin(x * 0.031 + channel) * std::cos(y * 0.023 - channel) +
                   0.12 * std::sin((x + 2 * y) * 0.11) + (((x / 37 + y / 29) % 3) == 0 ? 0.1 : 0.0);
  const uint32_t n = (static_cast<uint32_t>(x) * 73856093u) ^ (static_cast<uint32_t>(y) * 19349663u) ^
                     (static_cast<uint32_t>(channel) * 83492791u);
  return s + ((n >> 7) % 1000) / 1000.0 * 0.06 - 0.03;
}

struct tile {
  int x, y, width, height;
  double gain;
};

void write_tile(const std::string& path, const tile& t, int bits) {
  io_test::tiff_layout layout;
  layout.width = t.width;
  layout.height = t.height;
  layout.bits = static_cast<uint16_t>(bits);
  const double full = bits == 16 ? 65535.0 : 255.0;
  std::vector<uint16_t> samples;
  for (int y = 0; y < t.height; ++y)
    for (int x = 0; x < t.width; ++x)
      for (int c = 0; c < 3; ++c)
        samples.push_back(static_cast<uint16_t>(
            std::lround(std::clamp(scene(t.x + x, t.y + y, c) * t.gain, 0.0, 1.0) * full)));
  io_test::write_test_tiff(path, layout, samples);
}

// Tiles of w x h in a grid of columns x rows, stepping by step_x / step_y, with small
// fixed jitter; writes them and returns the command-line words that place them.
std::string grid(const std::string& folder, int columns, int rows, int w, int h, int step_x, int step_y, int bits) {
  std::string words;
  int i = 0;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c, ++i) {
      const tile t{c * step_x + (i * 5) % 7, r * step_y + (i * 3) % 5, w, h, 0.94 + 0.03 * (i % 4)};
      const std::string name = "in_" + std::to_string(i) + ".tif";
      write_tile(folder + "/" + name, t, bits);
      words += " -xoff " + std::to_string(t.x) + " -yoff " + std::to_string(t.y) + " " + name;
    }
  return words;
}

class OutputDigest : public ::testing::Test {
 protected:
  io_test::temp_folder scratch;
  const std::string folder = scratch.file(".");
  std::string grid3x3() { return grid(folder, 3, 3, 150, 110, 110, 80, 8); }

  // The digest of what one run of the binary leaves in the folder.
  std::string run(const std::string& words) {
    const binary_run r = run_quiltmerge(folder, words);
    EXPECT_EQ(r.status, 0) << r.output;
    const std::string d = folder_digest(folder);
    clear_outputs();
    return d;
  }
  void clear_outputs() {
    for (const auto& e : std::filesystem::directory_iterator(folder))
      if (e.path().filename().string().rfind("in_", 0) != 0) std::filesystem::remove(e.path());
  }
};
}  // namespace

TEST_F(OutputDigest, GridAtAnyThreadCountAndStorage) {
  const std::string words = grid3x3();
  const std::string expected = "0395358f144f8630";
  EXPECT_EQ(run("-threads 1" + words), expected);
  EXPECT_EQ(run("-threads 2" + words), expected);
  EXPECT_EQ(run("-threads 5" + words), expected);
  // The same run in this process with every image in a temporary file.
  {
    force_file_storage files;
    scoped_temp_dir temp;
    std::vector<std::string> argv_words{"quiltmerge", "-o", folder + "/blended.tif", "-threads", "2"};
    std::istringstream in(words);
    for (std::string w; in >> w;) argv_words.push_back(w.rfind("in_", 0) == 0 ? folder + "/" + w : w);
    std::vector<const char*> argv;
    for (const std::string& w : argv_words) argv.push_back(w.c_str());
    ASSERT_EQ(run_program(static_cast<int>(argv.size()), argv.data()), 0);
    EXPECT_TRUE(temp.entries().empty());
  }
  EXPECT_EQ(folder_digest(folder), expected);
}

TEST_F(OutputDigest, BlendAndSeamOptions) {
  const std::string words = grid3x3();
  EXPECT_EQ(run("-MinSize 0" + words), "b46b0eb7fe8dbd8d");
  EXPECT_EQ(run("-TSmooth 2 -HiPassLevel 0 -DEC 0.2 -DER 0.5" + words), "8dba4c75086e63b9");
  // A cut budget far below the overlaps: every seam is searched coarse to fine.
  EXPECT_EQ(run("-MaxComp 600" + words), "b5042fd76b2c392e");
}

TEST_F(OutputDigest, OutputFormatsAndLabelMap) {
  const std::string words = grid3x3();
  EXPECT_EQ(run("--compression lzw --save-seams seams.png" + words), "f3ffc06143ea9a3c");
  EXPECT_EQ(run("--compression deflate --save-seams seams.tif" + words), "91a023d1afd2da64");
  EXPECT_EQ(run("--compression zstd" + words), "e7016630093b4697");
  EXPECT_EQ(run("--compression none --bigtiff" + words), "ca21b01440f51c46");
  EXPECT_EQ(run("-o out.png" + words), "0e09bd6221e0e564");
}

TEST_F(OutputDigest, SixteenBitRowAndWrap) {
  const std::string row16 = grid(folder, 4, 1, 140, 100, 100, 0, 16);
  EXPECT_EQ(run(row16), "e3cac09383ed293e");
  EXPECT_EQ(run("-threads 1" + row16), "e3cac09383ed293e");
  EXPECT_EQ(run("-HorWrap 400" + row16), "6585b767745f7fb2");
  EXPECT_EQ(run("-w -MinSize 0" + row16), "32e0b3a46fe5f0d8");
}

TEST_F(OutputDigest, DebugDumps) {
  const std::string pair = grid(folder, 2, 1, 150, 110, 100, 0, 8);
  EXPECT_EQ(run("-SeamVerbose -PyramidVerbose -MaxComp 1500" + pair), "c24e01c3cdb4a8cc");
  EXPECT_EQ(run("-SeamVerbose -PyramidVerbose -HorWrap 230" + pair), "2cb0f7062121a3fe");
}
