#include "io/packbits.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <random>
#include <vector>

#include "io_test_files.h"

using namespace io_test;

namespace {
// Rows that exercise every encoder state: long and short runs, runs of two between
// literals, literals reaching the 128-byte limit, runs longer than 128.
std::vector<uint8_t> run_heavy_row(std::mt19937& rng, size_t size) {
  std::vector<uint8_t> row;
  std::uniform_int_distribution<int> kind(0, 5), value(0, 3), length(1, 300);
  while (row.size() < size) {
    const int k = kind(rng);
    const size_t n = k == 0 ? length(rng) : k == 1 ? 2 : k == 2 ? 130 : 1;
    row.insert(row.end(), n, static_cast<uint8_t>(value(rng) * (k == 3 ? 64 : 1) + row.size() % 2 * (k > 3)));
  }
  row.resize(size);
  return row;
}
}  // namespace

TEST(PackBits, StripsMatchLibtiffsEncoderByteForByte) {
  temp_folder dir;
  std::mt19937 rng(7);
  std::vector<std::vector<uint8_t>> rows;
  for (size_t size : {1, 2, 3, 127, 128, 129, 255, 256, 257, 1000, 4000, 9000, 20000}) {
    rows.push_back(run_heavy_row(rng, size));
    std::vector<uint8_t> noise(size);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(rng() % 3 == 0 ? 9 : rng());
    rows.push_back(noise);
  }
  // The largest codings: pairs and lone bytes taking turns, where no literal can grow.
  std::vector<uint8_t> pairs;
  for (int i = 0; i < 3000; ++i) pairs.insert(pairs.end(), {uint8_t(i % 7), uint8_t(i % 7), uint8_t(100 + i % 5)});
  rows.push_back(pairs);
  for (size_t r = 0; r < rows.size(); ++r) {
    const std::vector<uint8_t>& row = rows[r];
    const std::string path = dir.file("row" + std::to_string(r) + ".tif");
    TIFF* t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(row.size()));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, 1u);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 1);
    std::vector<uint8_t> scanline = row;
    ASSERT_GE(TIFFWriteScanline(t, scanline.data(), 0, 0), 0);
    TIFFClose(t);

    t = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(t, nullptr);
    const tmsize_t raw_size = TIFFRawStripSize(t, 0);
    std::vector<uint8_t> theirs(static_cast<size_t>(raw_size));
    ASSERT_EQ(TIFFReadRawStrip(t, 0, theirs.data(), raw_size), raw_size);
    TIFFClose(t);

    std::vector<uint8_t> ours;
    packbits_encode(row.data(), row.size(), ours);
    EXPECT_EQ(ours, theirs) << "row " << r << " of " << row.size() << " bytes";
  }
}
