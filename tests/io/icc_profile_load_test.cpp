#include "io/icc_profile_load.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "io_test_files.h"

using namespace io_test;

namespace {
std::vector<uint8_t> profile_bytes(size_t n) {
  std::vector<uint8_t> p(n);
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(i * 7 + 3);
  return p;
}

std::string u16(size_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 255)}; }
std::string u32(size_t v) { return u16(v >> 16) + u16(v & 0xFFFF); }

// One ICC_PROFILE APP2 segment holding chunk `sequence` of `count`.
std::string app2(int sequence, int count, const std::vector<uint8_t>& part) {
  std::string body = std::string("ICC_PROFILE", 12) + static_cast<char>(sequence) + static_cast<char>(count);
  body.append(part.begin(), part.end());
  return "\xFF\xE2" + u16(body.size() + 2) + body;
}

const std::string jpeg_start = "\xFF\xD8\xFF\xE0" + u16(6) + "JFIF";
const std::string jpeg_scan = "\xFF\xDA" + u16(4) + "xx";

std::string png_chunk(const std::string& type, const std::string& data) {
  return u32(data.size()) + type + data + "CRC!";
}

std::string png_with(const std::string& iccp_data) {
  const std::string signature = "\x89PNG\r\n\x1A\n";
  return signature + png_chunk("IHDR", std::string(13, '\0')) + png_chunk("iCCP", iccp_data) +
         png_chunk("IDAT", "pixels") + png_chunk("IEND", "");
}

std::string deflated(const std::vector<uint8_t>& bytes) {
  uLongf size = compressBound(bytes.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, bytes.data(), bytes.size(), 9);
  out.resize(size);
  return out;
}

std::vector<uint8_t> of_jpeg(const std::string& s) {
  return icc_profile_of_jpeg(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}
std::vector<uint8_t> of_png(const std::string& s) {
  return icc_profile_of_png(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}
}  // namespace

TEST(IccProfile, JpegChunksAreJoinedInSequenceOrder) {
  const std::vector<uint8_t> whole = profile_bytes(300);
  const std::vector<uint8_t> first(whole.begin(), whole.begin() + 100), second(whole.begin() + 100, whole.end());
  EXPECT_EQ(of_jpeg(jpeg_start + app2(2, 2, second) + app2(1, 2, first) + jpeg_scan), whole);
  EXPECT_TRUE(of_jpeg(jpeg_start + jpeg_scan).empty());
  // A missing chunk, a repeated one, counts that disagree or a segment cut short give no profile.
  EXPECT_TRUE(of_jpeg(jpeg_start + app2(1, 2, first) + jpeg_scan).empty());
  EXPECT_TRUE(of_jpeg(jpeg_start + app2(1, 2, first) + app2(1, 2, first) + jpeg_scan).empty());
  EXPECT_TRUE(of_jpeg(jpeg_start + app2(1, 2, first) + app2(2, 3, second) + jpeg_scan).empty());
  const std::string cut = jpeg_start + app2(1, 1, whole);
  EXPECT_TRUE(of_jpeg(cut.substr(0, cut.size() - 10)).empty());
  // Segments after the scan begins are pixel data, not headers.
  EXPECT_TRUE(of_jpeg(jpeg_start + jpeg_scan + app2(1, 1, whole)).empty());
}

TEST(IccProfile, PngProfileIsInflatedAndDamageGivesNone) {
  const std::vector<uint8_t> profile = profile_bytes(5000);
  const std::string z = deflated(profile);
  EXPECT_EQ(of_png(png_with(std::string("sRGB-ish\0\0", 10) + z)), profile);
  EXPECT_TRUE(of_png(png_with(std::string("name\0\0", 6) + z.substr(0, z.size() / 2))).empty());
  EXPECT_TRUE(of_png(png_with(std::string("name\0\1", 6) + z)).empty());  // unknown method
  EXPECT_TRUE(of_png(png_with(std::string("\0\0", 2) + z)).empty());      // no name
}

TEST(IccProfile, FilesOfEachKindAreRecognisedByContent) {
  temp_folder folder;
  const std::vector<uint8_t> profile = profile_bytes(1000);
  const std::string tiff = folder.file("tagged.tif");
  write_test_tiff(tiff, tiff_layout{}, {1, 2, 3});
  EXPECT_TRUE(icc_profile_load(tiff).empty());
  {
    TIFF* t = TIFFOpen(tiff.c_str(), "r+");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(profile.size()), profile.data());
    TIFFRewriteDirectory(t);
    TIFFClose(t);
  }
  EXPECT_EQ(icc_profile_load(tiff), profile);
  // Names do not matter: a JPEG called .png, a PNG without extension.
  write_content(folder.file("photo.png"), jpeg_start + app2(1, 1, profile) + jpeg_scan);
  EXPECT_EQ(icc_profile_load(folder.file("photo.png")), profile);
  write_content(folder.file("picture"), png_with(std::string("p\0\0", 3) + deflated(profile)));
  EXPECT_EQ(icc_profile_load(folder.file("picture")), profile);
  EXPECT_TRUE(icc_profile_load(folder.file("absent.jpg")).empty());
}

// What the fuzz target found, replayed; the sanitizer build is where these would fail.
TEST(IccProfile, FuzzFindingsParseWithoutFaults) {
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(QM_FUZZ_REGRESSIONS) + "/icc_fuzz")) {
    const std::string bytes = file_content(entry.path().string());
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_LE(icc_profile_of_jpeg(data, bytes.size()).size(), bytes.size());
    EXPECT_LE(icc_profile_of_png(data, bytes.size()).size(), size_t{32} << 20);
    ++replayed;
  }
  EXPECT_GE(replayed, 1);
}

TEST(IccProfile, HeadersThatDoNotHoldAreFaulted) {
  std::vector<uint8_t> profile(300, 7);
  profile[0] = 0, profile[1] = 0, profile[2] = 1, profile[3] = 44;  // 300, big-endian
  std::memcpy(&profile[36], "acsp", 4);
  EXPECT_EQ(icc_profile_fault(profile), "");
  std::vector<uint8_t> longer = profile;
  longer.push_back(0);
  EXPECT_EQ(icc_profile_fault(longer), "its header says 300 bytes, the file holds 301");
  profile[37] = 'C';
  EXPECT_EQ(icc_profile_fault(profile), "its header lacks the signature 'acsp'");
  EXPECT_EQ(icc_profile_fault(std::vector<uint8_t>(127, 0)), "127 bytes, fewer than the 128 of a profile header");
}
