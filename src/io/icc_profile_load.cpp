#include "io/icc_profile_load.h"

#include <sys/types.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "io/regular_input.h"
#include "io/tiff_handle.h"
#include "io/tiff_page.h"

namespace {
// No real profile comes near this; a header claiming more is damaged or hostile.
constexpr size_t max_profile_bytes = size_t{32} << 20;

uint32_t big_endian(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | p[i];
  return v;
}

std::vector<uint8_t> tiff_profile(const std::string& file_name) {
  const tiff_handle tif = open_tiff(file_name, "r");
  if (!tif) return {};
  select_full_resolution_page(tif.get());  // the page the loader reads
  uint32_t count = 0;
  void* data = nullptr;
  if (!TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &count, &data) || !data || count == 0 ||
      count > max_profile_bytes)
    return {};
  const auto* bytes = static_cast<const uint8_t*>(data);
  return {bytes, bytes + count};
}

// Sequential reads over a file or a buffer; the parsers skip what they do not need, so a
// large JPEG costs a few seeks, not a read of its pixels.
class byte_source {
 public:
  byte_source(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit byte_source(std::FILE* file) : file_(file) {}

  bool read(uint8_t* out, size_t n) {
    if (n == 0) return true;  // an empty chunk has no buffer to copy into
    if (file_) return std::fread(out, 1, n, file_) == n;
    if (n > size_ - at_) return false;
    std::memcpy(out, data_ + at_, n);
    at_ += n;
    return true;
  }
  bool read(std::vector<uint8_t>& out, size_t n) {
    if (n > max_profile_bytes) return false;
    out.resize(n);
    return read(out.data(), n);
  }
  bool skip(size_t n) {
    if (file_) return n <= static_cast<size_t>(INT64_MAX) && fseeko(file_, static_cast<off_t>(n), SEEK_CUR) == 0;
    if (n > size_ - at_) return false;
    at_ += n;
    return true;
  }

 private:
  std::FILE* file_ = nullptr;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t at_ = 0;
};

std::vector<uint8_t> inflated(const uint8_t* data, size_t size) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return {};
  std::vector<uint8_t> out;
  uint8_t block[1 << 16];
  z.next_in = const_cast<uint8_t*>(data);
  z.avail_in = static_cast<uInt>(size);
  int status = Z_OK;
  while (status == Z_OK && out.size() <= max_profile_bytes) {
    z.next_out = block;
    z.avail_out = sizeof block;
    status = inflate(&z, Z_NO_FLUSH);
    if (status == Z_OK || status == Z_STREAM_END) out.insert(out.end(), block, block + (sizeof block - z.avail_out));
    if (status == Z_OK && z.avail_in == 0 && z.avail_out != 0) status = Z_DATA_ERROR;  // cut short
  }
  inflateEnd(&z);
  if (status != Z_STREAM_END || out.size() > max_profile_bytes) return {};
  return out;
}
std::vector<uint8_t> jpeg_profile(byte_source& in) {
  static constexpr uint8_t tag[] = "ICC_PROFILE";  // with its final NUL, 12 bytes
  uint8_t start[2];
  if (!in.read(start, 2) || start[0] != 0xFF || start[1] != 0xD8) return {};
  std::map<int, std::vector<uint8_t>> chunks;
  int declared = 0;
  uint8_t marker[2];
  if (!in.read(marker, 2)) return {};
  for (;;) {
    if (marker[0] != 0xFF) return {};
    if (marker[1] == 0xFF) {  // fill byte
      marker[0] = 0xFF;
      if (!in.read(&marker[1], 1)) return {};
      continue;
    }
    if (marker[1] == 0xDA || marker[1] == 0xD9) break;  // the pixels (or the end) begin
    if (!((marker[1] >= 0xD0 && marker[1] <= 0xD7) || marker[1] == 0x01)) {
      uint8_t length_bytes[2];
      if (!in.read(length_bytes, 2)) return {};
      const size_t length = big_endian(length_bytes, 2);
      if (length < 2) return {};
      size_t rest = length - 2;
      uint8_t head[sizeof tag + 2];
      if (marker[1] == 0xE2 && rest > sizeof head) {
        if (!in.read(head, sizeof head)) return {};
        rest -= sizeof head;
        if (std::memcmp(head, tag, sizeof tag) == 0) {
          const int sequence = head[sizeof tag], count = head[sizeof tag + 1];
          if (sequence < 1 || count < 1 || sequence > count || (declared && count != declared) ||
              chunks.count(sequence))
            return {};
          declared = count;
          if (!in.read(chunks[sequence], rest)) return {};
          rest = 0;
        }
      }
      if (!in.skip(rest)) return {};
    }
    if (!in.read(marker, 2)) return {};
  }
  if (!declared || static_cast<int>(chunks.size()) != declared) return {};
  std::vector<uint8_t> profile;
  for (const auto& [sequence, bytes] : chunks) profile.insert(profile.end(), bytes.begin(), bytes.end());
  return profile.size() <= max_profile_bytes ? profile : std::vector<uint8_t>();
}

std::vector<uint8_t> png_profile(byte_source& in) {
  static constexpr uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  uint8_t start[sizeof signature];
  if (!in.read(start, sizeof start) || std::memcmp(start, signature, sizeof signature) != 0) return {};
  uint8_t head[8];
  while (in.read(head, sizeof head)) {
    const size_t length = big_endian(head, 4);
    const uint8_t* type = head + 4;
    if (length > 0x7FFFFFFF) return {};
    if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) return {};
    if (std::memcmp(type, "iCCP", 4) == 0) {
      if (length < 3) return {};  // not even a one-letter name, its terminator and the method
      std::vector<uint8_t> body;
      if (!in.read(body, length)) return {};
      const auto* name_end = static_cast<const uint8_t*>(std::memchr(body.data(), 0, std::min<size_t>(length, 80)));
      // A name, its terminator and the method byte (0, the only one defined: zlib).
      if (!name_end || name_end == body.data() || name_end + 2 > body.data() + length || name_end[1] != 0) return {};
      return inflated(name_end + 2, static_cast<size_t>(body.data() + length - (name_end + 2)));
    }
    if (!in.skip(length + 4)) return {};  // the data and the CRC
  }
  return {};
}
}  // namespace

std::string icc_profile_fault(const std::vector<uint8_t>& profile) {
  const std::string length = std::to_string(profile.size());
  if (profile.size() < 128)
    return length + (profile.size() == 1 ? " byte" : " bytes") + ", fewer than the 128 of a profile header";
  if (const uint32_t declared = big_endian(profile.data(), 4); declared != profile.size())
    return "its header says " + std::to_string(declared) + " bytes, the file holds " + length;
  if (std::memcmp(profile.data() + 36, "acsp", 4) != 0) return "its header lacks the signature 'acsp'";
  return "";
}

std::vector<uint8_t> icc_profile_of_jpeg(const uint8_t* data, size_t size) {
  byte_source in(data, size);
  return jpeg_profile(in);
}

std::vector<uint8_t> icc_profile_of_png(const uint8_t* data, size_t size) {
  byte_source in(data, size);
  return png_profile(in);
}

std::vector<uint8_t> icc_profile_load(const std::string& file_name) {
  // A named pipe read here would give the loader nothing; the loader refuses it.
  if (!is_regular_input(file_name)) return {};
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(file_name.c_str(), "rb"), std::fclose);
  if (!file) return {};
  uint8_t magic[4] = {};
  if (std::fread(magic, 1, sizeof magic, file.get()) != sizeof magic) return {};
  const bool tiff = (magic[0] == 'I' && magic[1] == 'I' && (magic[2] == 42 || magic[2] == 43) && magic[3] == 0) ||
                    (magic[0] == 'M' && magic[1] == 'M' && magic[2] == 0 && (magic[3] == 42 || magic[3] == 43));
  if (tiff) return tiff_profile(file_name);
  std::rewind(file.get());
  byte_source in(file.get());
  return magic[0] == 0xFF ? jpeg_profile(in) : png_profile(in);
}
