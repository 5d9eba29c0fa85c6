#include "io/tiff_position_load.h"

#include <gtest/gtest.h>

#include <cstring>

#include "io_test_files.h"

using namespace io_test;

namespace {
struct entry {
  uint16_t tag, type;
  uint32_t count;
  std::string value;  // the value bytes, in the file's byte order
};

// A 2 x 1 grey TIFF, written byte by byte so that its tags can be malformed as libtiff would
// never write them; values longer than 4 bytes go after the directory.
std::string raw_tiff(std::vector<entry> extra, bool big_endian) {
  auto bytes = [&](uint64_t v, int n) {
    std::string out(n, '\0');
    for (int i = 0; i < n; ++i) out[big_endian ? n - 1 - i : i] = static_cast<char>(v >> (8 * i));
    return out;
  };
  std::vector<entry> entries = {{256, 3, 1, bytes(2, 2)}, {257, 3, 1, bytes(1, 2)}, {258, 3, 1, bytes(8, 2)},
                                {259, 3, 1, bytes(1, 2)}, {262, 3, 1, bytes(1, 2)}, {273, 4, 1, ""},
                                {277, 3, 1, bytes(1, 2)}, {278, 3, 1, bytes(1, 2)}, {279, 4, 1, bytes(2, 4)}};
  entries.insert(entries.end(), extra.begin(), extra.end());
  std::sort(entries.begin(), entries.end(), [](const entry& a, const entry& b) { return a.tag < b.tag; });
  const uint32_t data_at = 8 + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
  std::string directory = bytes(entries.size(), 2), data;
  for (const entry& e : entries) {
    std::string field = e.value;
    if (e.tag == 273) field = "PIXL";
    if (field.size() > 4) {
      data += field;
      field = bytes(data_at + data.size() - field.size(), 4);
    }
    field.resize(4, '\0');
    directory += bytes(e.tag, 2) + bytes(e.type, 2) + bytes(e.count, 4) + field;
  }
  std::string file = (big_endian ? "MM" : "II") + bytes(42, 2) + bytes(8, 4) + directory + bytes(0, 4) + data;
  const std::string pixels_at = bytes(file.size(), 4);
  file.replace(file.find("PIXL"), 4, pixels_at);
  return file + "\x40\x80";
}
}  // namespace

// Position tags libtiff drops in silence (a wrong type, no value or two, n/0) or keeps as
// numbers no canvas has, and resolutions that are not positive, fail naming the file and
// the tag; before, most of them put the layer at its plain offsets.
TEST(TiffPositionLoad, DamagedTagsFailNamingTheTag) {
  temp_folder dir;
  for (const bool big_endian : {false, true}) {
    auto u32 = [&](uint32_t v) {
      std::string out(4, '\0');
      for (int i = 0; i < 4; ++i) out[big_endian ? 3 - i : i] = static_cast<char>(v >> (8 * i));
      return out;
    };
    auto rational = [&](uint32_t n, uint32_t d) { return entry{0, 5, 1, u32(n) + u32(d)}; };
    auto with_tag = [](entry e, uint16_t tag) { return e.tag = tag, e; };
    double huge = 1e300;
    std::string huge_bytes(8, '\0');
    std::memcpy(huge_bytes.data(), &huge, 8);
    if (big_endian) std::reverse(huge_bytes.begin(), huge_bytes.end());
    const entry y = with_tag(rational(5, 1), 287);
    const std::pair<std::vector<entry>, std::string> cases[] = {
        {{{286, 2, 4, "12\0\0"}, y}, "XPosition in {}\nit is of type ASCII where a number (RATIONAL) belongs"},
        {{{286, 5, 0, ""}, y}, "XPosition in {}\nit holds no value"},
        {{{286, 5, 2, u32(10) + u32(1) + u32(3) + u32(1)}, y}, "XPosition in {}\nit holds 2 values where one number belongs"},
        {{with_tag(rational(60, 0), 286), y}, "XPosition in {}\nits value 60/0 is no number"},
        {{{286, 12, 1, huge_bytes}, y}, "XPosition in {}\nits value 1e+300 places the layer beyond the canvas limits"},
        {{with_tag(rational(0, 1), 283), with_tag(rational(1, 1), 286), y},
         "YResolution in {}\nits value 0/1 is no positive resolution"},
        {{with_tag(rational(72, 0), 282), with_tag(rational(1, 1), 286)}, "XResolution in {}\nits value 72/0 is no number"},
    };
    for (const auto& [entries, message] : cases) {
      const std::string name = dir.file("layer.tif");
      write_content(name, raw_tiff(entries, big_endian));
      std::string expected = "Damaged position tag " + message;
      expected.replace(expected.find("{}"), 2, name);
      EXPECT_EQ(error_of([&] { tiff_position_load(name); }), expected) << big_endian;
    }
    // Sound tags of any number type place the layer; a resolution without a position is no matter.
    const std::string name = dir.file("sound.tif");
    write_content(name, raw_tiff({{286, 3, 1, big_endian ? std::string("\0\x0c", 2) : std::string("\x0c\0", 2)},
                                  with_tag(rational(15, 2), 287), with_tag(rational(2, 1), 283)},
                                 big_endian));
    std::optional<tiff_position> p = tiff_position_load(name);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->x, 12);
    EXPECT_EQ(p->y, 15);
    write_content(name, raw_tiff({with_tag(rational(3, 1), 287), with_tag(rational(0, 1), 282)}, big_endian));
    p = tiff_position_load(name);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->x, 0);
    EXPECT_EQ(p->y, 3);
  }
}
