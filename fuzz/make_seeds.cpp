// Writes the seed corpora of the fuzz targets: small valid files of every layout the
// loaders read (TIFF through libtiff, the rest through DevIL, GIF and XPM by hand) and
// command lines that merge two of them. Usage: make_seeds FOLDER (gets tiff/, devil/, merge/, icc/).
#include <IL/il.h>
#include <tiffio.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/dib.h"
#include "image/dib_cursor.h"
#include "io/save_image.h"

namespace {
std::string root;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void put(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// A picture with edges, a gradient and some transparency, w x h.
std::vector<uint8_t> picture(int w, int h, int channels) {
  std::vector<uint8_t> p(static_cast<size_t>(w) * h * channels);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < channels; ++c)
        p[(static_cast<size_t>(y) * w + x) * channels + c] =
            static_cast<uint8_t>(c == 3 ? (x < w / 4 ? 0 : 255) : (x * 37 + y * 11 + c * 80) ^ (x > w / 2 ? 0x55 : 0));
  return p;
}

void tiff_seed(const std::string& name, int w, int h, uint16_t samples, uint16_t bits, uint16_t photometric,
          uint16_t compression, bool tiled, bool separate) {
  const std::string path = root + "/tiff/" + name + ".tif";
  TIFF* t = TIFFOpen(path.c_str(), "w");
  if (!t) return;
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
  if (compression == COMPRESSION_JPEG) TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  TIFFSetField(t, TIFFTAG_PLANARCONFIG, separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
  if (photometric == PHOTOMETRIC_PALETTE) {
    std::vector<uint16_t> map(3 << bits);
    for (size_t i = 0; i < map.size(); ++i) map[i] = static_cast<uint16_t>(i * 4099);
    TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data() + (1 << bits), map.data() + (2 << bits));
  }
  if (photometric == PHOTOMETRIC_SEPARATED) TIFFSetField(t, TIFFTAG_INKSET, INKSET_CMYK);
  const uint16_t colour = photometric == PHOTOMETRIC_RGB ? 3 : photometric == PHOTOMETRIC_SEPARATED ? 4 : 1;
  if (samples > colour) {
    const uint16_t alpha = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &alpha);
  }
  const int per_pixel = separate ? 1 : samples;
  const int planes = separate ? samples : 1;
  const std::vector<uint8_t> pixels = picture(w * (bits / 8 ? bits / 8 : 1), h, samples);
  if (tiled) {
    TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
    TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
    std::vector<uint8_t> tile(TIFFTileSize(t));
    for (int p = 0; p < planes; ++p)
      for (int y = 0; y < h; y += 16)
        for (int x = 0; x < w; x += 16) {
          for (size_t i = 0; i < tile.size(); ++i) tile[i] = pixels[(i * 7 + x + y) % pixels.size()];
          TIFFWriteTile(t, tile.data(), x, y, 0, p);
        }
  } else {
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, compression == COMPRESSION_JPEG ? 16 : 4);
    std::vector<uint8_t> line(TIFFScanlineSize(t));
    for (int p = 0; p < planes; ++p)
      for (int y = 0; y < h; ++y) {
        for (size_t i = 0; i < line.size(); ++i) line[i] = pixels[(y * line.size() + i * per_pixel) % pixels.size()];
        TIFFWriteScanline(t, line.data(), y, p);
      }
  }
  TIFFClose(t);
}

// DevIL writes the format of the extension; returns the bytes, "" when it cannot.
std::string devil_file(const std::string& extension, int w, int h, int channels) {
  ILuint name = 0;
  ilGenImages(1, &name);
  ilBindImage(name);
  std::vector<uint8_t> pixels = picture(w, h, channels);
  ilTexImage(w, h, 1, static_cast<ILubyte>(channels), channels == 4 ? IL_RGBA : IL_RGB, IL_UNSIGNED_BYTE,
             pixels.data());
  ilEnable(IL_FILE_OVERWRITE);
  const std::string path = root + "/scratch." + extension;
  std::string bytes;
  if (ilSaveImage(path.c_str())) bytes = slurp(path);
  ilDeleteImages(1, &name);
  std::filesystem::remove(path);
  return bytes;
}

const std::vector<std::string> devil_extensions = {"png", "jpg", "bmp", "gif", "psd", "tga", "pcx", "ppm", "pgm",
                                                   "pbm", "pnm", "sgi", "dds", "hdr", "xpm", "ico", "cut", "dcx",
                                                   "lbm", "mng", "pic", "pix", "psp", "pxr", "raw", "wal", "dat"};

void devil_seed(const std::string& extension, const std::string& bytes) {
  if (bytes.empty()) return;
  size_t index = 0;
  while (index < devil_extensions.size() && devil_extensions[index] != extension) ++index;
  put(root + "/devil/" + extension + "_" + std::to_string(bytes.size()), std::string(1, static_cast<char>(index)) + bytes);
}

void merge_seed(const std::string& name, const std::string& words, const std::string& a, const std::string& b) {
  std::string data = words + '\0';
  data += static_cast<char>(a.size() & 0xff);
  data += static_cast<char>(a.size() >> 8);
  put(root + "/merge/" + name, data + a + b);
}

// A 4 x 4 two-colour GIF and a 4 x 2 XPM, which DevIL cannot write.
const unsigned char gif_bytes[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x04, 0x00, 0x04, 0x00, 0x80, 0x00, 0x00,
                                   0xff, 0x00, 0x00, 0x00, 0x00, 0xff, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00,
                                   0x04, 0x00, 0x00, 0x02, 0x05, 0x84, 0x1d, 0x81, 0x7a, 0x50, 0x00, 0x3b};
const char xpm_text[] =
    "/* XPM */\nstatic char *x[] = {\n\"4 2 2 1\",\n\"a c #FF0000\",\n\"b c None\",\n\"abab\",\n\"baba\"};\n";
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds FOLDER\n");
    return 2;
  }
  root = argv[1];
  for (const char* sub : {"tiff", "devil", "merge", "icc"}) std::filesystem::create_directories(root + "/" + sub);

  tiff_seed("rgb8", 20, 12, 3, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE, false, false);
  tiff_seed("rgba8_lzw", 20, 12, 4, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, false, false);
  tiff_seed("rgb16_deflate", 20, 12, 3, 16, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE, false, false);
  tiff_seed("rgba16", 9, 7, 4, 16, PHOTOMETRIC_RGB, COMPRESSION_NONE, false, false);
  tiff_seed("grey8_packbits", 20, 12, 1, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS, false, false);
  tiff_seed("greya16", 20, 12, 2, 16, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE, false, false);
  tiff_seed("palette8", 20, 12, 1, 8, PHOTOMETRIC_PALETTE, COMPRESSION_LZW, false, false);
  tiff_seed("palette4", 20, 12, 1, 4, PHOTOMETRIC_PALETTE, COMPRESSION_NONE, false, false);
  tiff_seed("bilevel", 20, 12, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, false, false);
  tiff_seed("cmyk8", 20, 12, 4, 8, PHOTOMETRIC_SEPARATED, COMPRESSION_NONE, false, false);
  tiff_seed("tiled_rgb8", 40, 20, 3, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW, true, false);
  tiff_seed("tiled_separate16", 20, 20, 4, 16, PHOTOMETRIC_RGB, COMPRESSION_NONE, true, true);
  tiff_seed("separate8", 20, 12, 3, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE, false, true);
  tiff_seed("jpeg_ycbcr", 32, 16, 3, 8, PHOTOMETRIC_YCBCR, COMPRESSION_JPEG, false, false);

  ilInit();
  for (const char* extension : {"png", "jpg", "bmp", "tga", "pcx", "ppm", "pgm", "sgi", "dds", "hdr", "psd", "raw"})
    for (int channels : {3, 4}) devil_seed(extension, devil_file(extension, 13, 9, channels));
  devil_seed("gif", std::string(reinterpret_cast<const char*>(gif_bytes), sizeof gif_bytes));
  devil_seed("xpm", xpm_text);
  devil_seed("ppm", "P6\n2 2\n65535\n" + std::string(24, '\x7f'));
  devil_seed("pgm", "P5\n3 1\n255\nabc");

  const std::string a_png = devil_file("png", 24, 16, 4), b_png = devil_file("png", 20, 18, 3);
  const std::string a_jpg = devil_file("jpg", 24, 16, 3), b_bmp = devil_file("bmp", 20, 18, 3);
  const std::string a_tif = slurp(root + "/tiff/rgba8_lzw.tif"), b_tif = slurp(root + "/tiff/rgb8.tif");
  const std::string a16 = slurp(root + "/tiff/rgb16_deflate.tif");
  merge_seed("png", "-o out.png A.png -xoff 10 -yoff 3 B.png", a_png, b_png);
  merge_seed("tif", "A.tif -xoff 8 -yoff -2 B.tif", a_tif, b_tif);
  merge_seed("mixed", "-MinSize 0 -TSmooth 2 A.jpg -xoff 12 B.bmp", a_jpg, b_bmp);
  merge_seed("wrap", "-HorWrap 30 -threads 1 A.png -xoff 14 B.png", a_png, b_png);
  merge_seed("w16", "-w -o out.tif A.tif -xoff 6 -yoff 1 B.tif", a16, b_tif);
  merge_seed("verbose", "-SeamVerbose -PyramidVerbose -MaxComp 50 -HiPassLevel 1 A.png -xoff 9 B.png", a_png, b_png);
  merge_seed("same", "-DEC 0.5 -DER 0.1 A.png -yoff 4 A.png -xoff 3 B.png", a_png, b_png);
  merge_seed("options", "--tiff-positions --compression lzw --save-seams s.png A.tif -xoff 8 B.tif", a_tif, b_tif);

  // A profile in two APP2 chunks after the JPEG's start, and a zlib-packed one before a PNG's pixels.
  const std::string profile(300, 'p');
  auto app2 = [](int sequence, const std::string& part) {
    const std::string body = std::string("ICC_PROFILE", 12) + char(sequence) + char(2) + part;
    return std::string("\xFF\xE2") + char((body.size() + 2) >> 8) + char((body.size() + 2) & 255) + body;
  };
  put(root + "/icc/jpg", a_jpg.substr(0, 2) + app2(1, profile.substr(0, 100)) + app2(2, profile.substr(100)) +
                             a_jpg.substr(2));
  uLongf packed_size = compressBound(profile.size());
  std::string packed(packed_size, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size, reinterpret_cast<const Bytef*>(profile.data()),
            profile.size(), 9);
  packed.resize(packed_size);
  const std::string iccp = std::string("icc\0\0", 5) + packed;
  const uint32_t n = static_cast<uint32_t>(iccp.size());
  const std::string length{char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
  put(root + "/icc/png", a_png.substr(0, 33) + length + "iCCP" + iccp + "crc!" + a_png.substr(33));
  return 0;
}
