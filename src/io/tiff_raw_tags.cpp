#include "io/tiff_raw_tags.h"

#include <sys/types.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

namespace {
class raw_file {
 public:
  explicit raw_file(const std::string& file_name) : file_(std::fopen(file_name.c_str(), "rb"), std::fclose) {}
  bool read(uint64_t at, uint8_t* out, size_t n) const {
    return file_ && fseeko(file_.get(), static_cast<off_t>(at), SEEK_SET) == 0 &&
           std::fread(out, 1, n, file_.get()) == n;
  }

 private:
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
};

// Bytes of one value of each TIFF type (1 BYTE ... 12 DOUBLE, 16 LONG8 ...), 0 if unknown.
size_t type_size(uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: case 16: case 17: case 18: return 8;
    default: return 0;
  }
}

std::string shown(double v) {
  std::ostringstream text;
  text << v;
  return text.str();
}

struct byte_order {
  bool big;
  uint64_t get(const uint8_t* p, int bytes) const {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t{p[big ? bytes - 1 - i : i]} << (8 * i);
    return v;
  }
};

// The first value of an entry whose value bytes are at `p`.
void decode_value(raw_tiff_entry& e, const uint8_t* p, const byte_order& order) {
  const uint64_t a = order.get(p, static_cast<int>(std::min<size_t>(type_size(e.type), 4)));
  switch (e.type) {
    case 1: case 3: case 4: e.value = static_cast<double>(a); break;
    case 6: e.value = static_cast<int8_t>(a); break;
    case 8: e.value = static_cast<int16_t>(a); break;
    case 9: e.value = static_cast<int32_t>(a); break;
    case 11: {
      const uint32_t bits = static_cast<uint32_t>(a);
      float f;
      std::memcpy(&f, &bits, 4);
      e.value = f;
      break;
    }
    case 12: {
      const uint64_t bits = order.get(p, 8);
      std::memcpy(&e.value, &bits, 8);
      break;
    }
    case 5: case 10: {
      const uint64_t b = order.get(p + 4, 4);
      const double n = e.type == 5 ? static_cast<double>(a) : static_cast<int32_t>(a);
      const double d = e.type == 5 ? static_cast<double>(b) : static_cast<int32_t>(b);
      e.value = d == 0 ? NAN : n / d;
      e.shown = shown(n) + "/" + shown(d);
      e.numeric = true;
      return;
    }
    default: return;
  }
  e.numeric = true;
  e.shown = shown(e.value);
}
}  // namespace

std::vector<raw_tiff_entry> read_raw_tiff_entries(const std::string& file_name, uint64_t directory_offset,
                                                  const std::vector<uint16_t>& tags) {
  const raw_file file(file_name);
  uint8_t header[4];
  if (!file.read(0, header, 4)) return {};
  const byte_order order{header[0] == 'M'};
  const bool big_tiff = order.get(header + 2, 2) == 43;
  const size_t entry_bytes = big_tiff ? 20 : 12, inline_bytes = big_tiff ? 8 : 4;
  uint8_t count_bytes[8];
  if (!file.read(directory_offset, count_bytes, big_tiff ? 8 : 2)) return {};
  const uint64_t entries = order.get(count_bytes, big_tiff ? 8 : 2);
  const uint64_t first = directory_offset + (big_tiff ? 8 : 2);
  std::vector<raw_tiff_entry> found;
  for (uint64_t i = 0; i < entries && i < 65536; ++i) {
    uint8_t raw[20];
    if (!file.read(first + i * entry_bytes, raw, entry_bytes)) return found;
    raw_tiff_entry e;
    e.tag = static_cast<uint16_t>(order.get(raw, 2));
    if (std::find(tags.begin(), tags.end(), e.tag) == tags.end()) continue;
    e.type = static_cast<uint16_t>(order.get(raw + 2, 2));
    e.count = order.get(raw + 4, big_tiff ? 8 : 4);
    const uint8_t* field = raw + (big_tiff ? 12 : 8);
    const size_t size = type_size(e.type);
    if (e.count > 0 && size > 0) {
      // The values are in the entry when they all fit there, else at the offset it holds.
      uint8_t value[8] = {};
      const bool in_entry = e.count <= inline_bytes / size;
      if (in_entry) std::memcpy(value, field, size);
      if (in_entry || file.read(order.get(field, static_cast<int>(inline_bytes)), value, size))
        decode_value(e, value, order);
    }
    found.push_back(e);
  }
  return found;
}

std::string tiff_type_name(uint16_t type) {
  static const char* const names[] = {"", "BYTE", "ASCII", "SHORT", "LONG", "RATIONAL", "SBYTE", "UNDEFINED",
                                      "SSHORT", "SLONG", "SRATIONAL", "FLOAT", "DOUBLE", "IFD", "", "",
                                      "LONG8", "SLONG8", "IFD8"};
  if (type < sizeof names / sizeof names[0] && names[type][0]) return names[type];
  return "type " + std::to_string(type);
}
