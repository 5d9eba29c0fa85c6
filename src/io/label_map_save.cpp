#include "io/label_map_save.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "io/atomic_output.h"
#include "io/load_image.h"
#include "io/tiff_handle.h"
#include "platform/child_process.h"

namespace {
std::string label_map_error(const std::string& file_name) {
  return "Can't write the seam label map: " + file_name;
}

void put_be32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

class png_chunks {
 public:
  explicit png_chunks(const atomic_output& output) : output_(output) {}

  void write(const char type[4], const uint8_t* data, size_t n) {
    std::vector<uint8_t> head;
    put_be32(head, static_cast<uint32_t>(n));
    head.insert(head.end(), type, type + 4);
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type), 4);
    if (n > 0) crc = crc32(crc, data, static_cast<uInt>(n));
    std::vector<uint8_t> tail;
    put_be32(tail, static_cast<uint32_t>(crc));
    put(head.data(), head.size());
    put(data, n);
    put(tail.data(), tail.size());
  }

  void put(const uint8_t* data, size_t n) {
    errno = 0;
    if (n > 0 && !write_all(output_.fd(), data, n)) output_.fail(std::strerror(errno));
  }

 private:
  const atomic_output& output_;
};

void write_png(const atomic_output& output, const uint8_t* labels, int32_t width, int32_t height) {
  png_chunks png(output);
  static constexpr uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  png.put(signature, sizeof signature);
  std::vector<uint8_t> header;
  put_be32(header, static_cast<uint32_t>(width));
  put_be32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 0, 0, 0, 0});  // 8-bit grey, deflate, no filter choice, no interlace
  png.write("IHDR", header.data(), header.size());

  z_stream z{};
  if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) output.fail("zlib could not start");
  std::vector<uint8_t> chunk(1 << 16);
  std::vector<uint8_t> line(static_cast<size_t>(width) + 1, 0);  // filter type 0, then the row
  auto pump = [&](int flush) {
    int status;
    do {
      z.next_out = chunk.data();
      z.avail_out = static_cast<uInt>(chunk.size());
      status = deflate(&z, flush);
      if (status == Z_STREAM_ERROR) {
        deflateEnd(&z);
        output.fail("zlib failed");
      }
      const size_t made = chunk.size() - z.avail_out;
      if (made > 0) png.write("IDAT", chunk.data(), made);
    } while (z.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
  };
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(line.data() + 1, labels + static_cast<size_t>(y) * width, static_cast<size_t>(width));
    z.next_in = line.data();
    z.avail_in = static_cast<uInt>(line.size());
    pump(Z_NO_FLUSH);
  }
  pump(Z_FINISH);
  deflateEnd(&z);
  png.write("IEND", nullptr, 0);
}

void write_grey_tiff(const atomic_output& output, const std::string& file_name, const uint8_t* labels,
                     int32_t width, int32_t height) {
  // Labels are long runs: even uncompressed, only a map past the classic offsets needs BigTIFF.
  const bool bigtiff = uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) >
                       (uint64_t{1} << 32) - (uint64_t{1} << 24);
  tiff_handle tif = open_tiff_fd(output.fd(), file_name, bigtiff ? "w8" : "w");
  if (!tif) output.fail(take_tiff_failure_cause(tiff_cause::system_first));
  TIFF* t = tif.get();
  const uint32_t rows_per_strip = std::max<uint32_t>(1, (1u << 18) / static_cast<uint32_t>(width));
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rows_per_strip);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  for (int32_t y = 0, strip = 0; y < height; y += static_cast<int32_t>(rows_per_strip), ++strip) {
    const int64_t rows = std::min<int64_t>(rows_per_strip, height - y);
    errno = 0;
    if (TIFFWriteEncodedStrip(t, static_cast<uint32_t>(strip),
                              const_cast<uint8_t*>(labels) + static_cast<size_t>(y) * width,
                              static_cast<tmsize_t>(rows * width)) < 0)
      output.fail(take_tiff_failure_cause(tiff_cause::system_first));
  }
  errno = 0;
  if (!TIFFFlush(t)) output.fail(take_tiff_failure_cause(tiff_cause::system_first));
}
}  // namespace

std::unique_ptr<atomic_output> label_map_write(const std::string& file_name, const uint8_t* labels, int32_t width,
                                               int32_t height) {
  auto output = std::make_unique<atomic_output>(file_name, label_map_error(file_name));
  if (has_tiff_extension(file_name))
    write_grey_tiff(*output, file_name, labels, width, height);
  else
    write_png(*output, labels, width, height);
  output->flush();
  return output;
}

void label_map_save(const std::string& file_name, const uint8_t* labels, int32_t width, int32_t height) {
  label_map_write(file_name, labels, width, height)->commit();
}
