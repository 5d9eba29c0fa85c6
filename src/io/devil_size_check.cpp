#include "io/devil_size_check.h"

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
// Sequential reads and skips over a file whose size is known, through a buffer of its own:
// the run-length walks skip millions of small packets.
class byte_walk {
 public:
  explicit byte_walk(const std::string& file_name) : file_(std::fopen(file_name.c_str(), "rb"), std::fclose) {
    if (file_ && fseeko(file_.get(), 0, SEEK_END) == 0) size_ = static_cast<uint64_t>(ftello(file_.get()));
  }
  bool open() const { return file_ != nullptr; }
  uint64_t size() const { return size_; }
  uint64_t offset() const { return base_ + pos_; }

  // The next byte, or -1 at the end of the file.
  int next() {
    if (pos_ == end_ && !refill()) return -1;
    return buffer_[pos_++];
  }
  bool read(uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const int c = next();
      if (c < 0) return false;
      out[i] = static_cast<uint8_t>(c);
    }
    return true;
  }
  // False, and nothing moved, when fewer than n bytes are left.
  bool skip(uint64_t n) {
    if (n > size_ - offset()) return false;
    if (n <= end_ - pos_) {
      pos_ += static_cast<size_t>(n);
    } else {
      base_ = offset() + n;
      pos_ = end_ = 0;
    }
    return true;
  }

 private:
  bool refill() {
    base_ += end_;
    pos_ = end_ = 0;
    if (base_ >= size_ || fseeko(file_.get(), static_cast<off_t>(base_), SEEK_SET) != 0) return false;
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_.get());
    return end_ > 0;
  }

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
  uint64_t size_ = 0;
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(size_t{1} << 16);
  uint64_t base_ = 0;  // file offset of buffer_[0]
  size_t pos_ = 0;
  size_t end_ = 0;
};

uint32_t le16(const uint8_t* p) { return p[0] | p[1] << 8; }
uint32_t be16(const uint8_t* p) { return p[0] << 8 | p[1]; }
uint32_t be32(const uint8_t* p) { return uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

using fault_kind = devil_file_fault::kind;

devil_file_fault ends_after(const byte_walk& in, const std::string& where) {
  return {fault_kind::cut_short, "the file ends after " + std::to_string(in.size()) + " bytes, " + where};
}

// Plain data of `bytes` from the current offset on.
devil_file_fault plain_data(const byte_walk& in, uint64_t bytes) {
  if (bytes <= in.size() - in.offset()) return {};
  const uint64_t end = bytes > UINT64_MAX - in.offset() ? UINT64_MAX : in.offset() + bytes;
  return ends_after(in, "but its pixels need " + std::to_string(end));
}

devil_file_fault tga_check(byte_walk& in) {
  uint8_t h[18];
  if (!in.read(h, sizeof h)) return ends_after(in, "inside the 18-byte TGA header");
  const uint32_t type = h[2], colour_map_entries = h[1] == 1 ? le16(h + 5) : 0;
  const uint64_t pixel_bytes = (h[16] + 7) / 8;
  const uint64_t pixels = uint64_t{le16(h + 12)} * le16(h + 14);
  if (!in.skip(h[0] + uint64_t{colour_map_entries} * ((h[7] + 7) / 8)))
    return ends_after(in, "inside the TGA colour map");
  if (type >= 1 && type <= 3) return plain_data(in, pixels * pixel_bytes);
  if (type < 9 || type > 11) return {};
  // Packets: a count byte, then one pixel repeated or `count` literal pixels.
  for (uint64_t done = 0; done < pixels;) {
    const int packet = in.next();
    const uint64_t count = (packet & 0x7F) + 1;
    if (packet < 0 || !in.skip(packet & 0x80 ? pixel_bytes : count * pixel_bytes))
      return ends_after(in, "inside the run-length coded pixels (" + std::to_string(done) + " of " +
                                std::to_string(pixels) + " decoded)");
    done += count;
  }
  return {};
}

devil_file_fault pcx_check(byte_walk& in) {
  uint8_t h[128];
  if (!in.read(h, sizeof h)) return ends_after(in, "inside the 128-byte PCX header");
  if (h[0] != 0x0A || le16(h + 10) < le16(h + 6)) return {};  // not PCX, or a size the loader refuses
  const uint64_t bytes = uint64_t{le16(h + 10) - le16(h + 6) + 1} * h[65] * le16(h + 66);
  // Version 5 files of one 8-bit plane end with a 256-colour palette: a 12 byte and 768 bytes.
  const uint64_t palette = h[1] == 5 && h[3] == 8 && h[65] == 1 ? 769 : 0;
  if (h[2] == 0) return plain_data(in, bytes + palette);
  // Runs: a byte with the two top bits set counts the byte after it; any other byte is itself.
  for (uint64_t done = 0; done < bytes;) {
    const int code = in.next();
    const bool run = code >= 0xC0;
    if (code < 0 || (run && in.next() < 0))
      return ends_after(in, "inside the run-length coded pixels (" + std::to_string(done) + " of " +
                                std::to_string(bytes) + " bytes decoded)");
    done += run ? code & 0x3F : 1;
  }
  return in.skip(palette) ? devil_file_fault{} : ends_after(in, "inside the palette that follows the pixels");
}

devil_file_fault sgi_check(byte_walk& in) {
  uint8_t h[512];
  if (!in.read(h, sizeof h)) return ends_after(in, "inside the 512-byte SGI header");
  if (be16(h) != 474) return {};
  // Dimension 1 is one row of one channel, dimension 2 one channel.
  const uint32_t dimension = be16(h + 4);
  const uint64_t width = be16(h + 6), height = dimension < 2 ? 1 : be16(h + 8),
                 channels = dimension < 3 ? 1 : be16(h + 10), sample_bytes = h[3];
  if (h[2] == 0) return plain_data(in, width * height * channels * sample_bytes);
  // Run-length rows: a table of where each row starts, then one of how long it is.
  const uint64_t rows = height * channels;
  if (rows * 8 > in.size() - in.offset()) return ends_after(in, "inside the table of run-length rows");
  std::vector<uint8_t> tables(rows * 8);
  in.read(tables.data(), tables.size());
  for (uint64_t row = 0; row < rows; ++row) {
    const uint64_t start = be32(&tables[row * 4]), length = be32(&tables[(rows + row) * 4]);
    if (start + length > in.size())
      return ends_after(in, "but run-length row " + std::to_string(row) + " of " + std::to_string(rows) +
                                " reaches to byte " + std::to_string(start + length));
  }
  return {};
}

// Sub-blocks: a length byte and its bytes, until a length of 0.
bool skip_sub_blocks(byte_walk& in) {
  for (int length = in.next(); length != 0; length = in.next())
    if (length < 0 || !in.skip(static_cast<uint64_t>(length))) return false;
  return true;
}

// Up to the end of the first picture, the one this program reads.
devil_file_fault gif_check(byte_walk& in) {
  uint8_t h[13];
  if (!in.read(h, sizeof h)) return ends_after(in, "inside the 13-byte GIF header");
  if (h[10] & 0x80 && !in.skip(3u << ((h[10] & 7) + 1))) return ends_after(in, "inside the global colour table");
  for (;;) {
    const int block = in.next();
    if (block == 0x21) {  // extension: its label, then sub-blocks
      if (in.next() < 0 || !skip_sub_blocks(in)) return ends_after(in, "inside an extension block");
    } else if (block == 0x2C) {
      uint8_t d[9];
      if (!in.read(d, sizeof d) || (d[8] & 0x80 && !in.skip(3u << ((d[8] & 7) + 1))))
        return ends_after(in, "inside the first picture's descriptor");
      if (in.next() < 0 || !skip_sub_blocks(in)) return ends_after(in, "inside the first picture's coded pixels");
      return {};
    } else if (block < 0) {
      return ends_after(in, "before its first picture");
    } else if (block == 0x3B) {  // the trailer: a file without a picture, which the decoder says
      return {};
    } else {
      char code[8];
      std::snprintf(code, sizeof code, "0x%02X", block);
      return {fault_kind::damaged, "byte " + std::to_string(in.offset() - 1) + " (" + code +
                                       ") starts no GIF block; a colour table of the wrong size, most likely"};
    }
  }
}

devil_file_fault psd_check(byte_walk& in) {
  uint8_t h[26];
  if (!in.read(h, sizeof h)) return ends_after(in, "inside the 26-byte PSD header");
  if (be32(h) != 0x38425053 || be16(h + 4) != 1) return {};  // "8BPS" version 1; PSB is another layout
  const uint64_t channels = be16(h + 12), height = be32(h + 14), width = be32(h + 18), depth = be16(h + 22);
  // Colour mode data, image resources, layers and masks: each a 32-bit length and its bytes.
  for (const char* section : {"colour mode data", "image resources", "layer and mask information"}) {
    uint8_t length[4];
    if (!in.read(length, 4) || !in.skip(be32(length))) return ends_after(in, std::string("inside the ") + section);
  }
  uint8_t compression[2];
  if (!in.read(compression, 2)) return ends_after(in, "before the image data");
  const uint64_t rows = channels * height, row_bytes = (width * depth + 7) / 8;
  if (be16(compression) == 0) {
    uint64_t bytes = 0;  // a product past 64 bits is more than any file holds
    return plain_data(in, __builtin_mul_overflow(rows, row_bytes, &bytes) ? UINT64_MAX : bytes);
  }
  if (be16(compression) != 1) return {};
  // Run-length rows: a table of each row's coded length, then the rows.
  if (rows * 2 > in.size() - in.offset()) return ends_after(in, "inside the table of run-length rows");
  uint64_t coded = 0;
  for (uint64_t row = 0; row < rows; ++row) {
    uint8_t length[2] = {};
    in.read(length, 2);  // the table is known to fit
    coded += be16(length);
  }
  return plain_data(in, coded).what == fault_kind::none ? devil_file_fault{}
                                                        : ends_after(in, "inside the run-length coded pixels");
}
}  // namespace

devil_file_fault devil_size_check(const std::string& file_name, ILenum type) {
  if (type != IL_TGA && type != IL_PCX && type != IL_SGI && type != IL_PSD && type != IL_GIF) return {};
  byte_walk in(file_name);
  if (!in.open()) return {};  // the loader says why
  switch (type) {
    case IL_TGA:
      return tga_check(in);
    case IL_PCX:
      return pcx_check(in);
    case IL_SGI:
      return sgi_check(in);
    case IL_GIF:
      return gif_check(in);
    default:
      return psd_check(in);
  }
}
