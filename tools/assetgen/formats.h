// File formats written by the asset generator: BMP files, the image lists' "TDIB" picture data
// (24-bit, RLE8, RLE4 and 1-bit device-independent bitmaps), RIFF WAVE sounds, JPEG pictures,
// Windows-1251 text, and atomic file output.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "canvas.h"

namespace gen {

using Bytes = std::vector<uint8_t>;

// A complete 24-bit BMP file (file header, 40-byte info header, bottom-up BGR rows).
Bytes BmpFile(const Image& img);

// Picture data as the image list stores it: the class-name byte, "TDIB", then the DIB without
// file header. The 24-bit form stores the pixels uncompressed.
Bytes Dib24(const Image& img);

// An indexed picture: palette of up to 2^bits colours (red, green, blue) and one index per
// pixel, top row first.
struct Indexed {
  int w = 0, h = 0;
  std::vector<std::array<uint8_t, 3>> palette;
  std::vector<uint8_t> index;
};
// Reduces `img` to the given palette (nearest colour by squared distance).
Indexed Quantise(const Image& img, const std::vector<std::array<uint8_t, 3>>& palette);

// Run-length encodings by the published BMP rules, rows bottom-up, each row closed by an
// end-of-line escape except the last, which is closed by end-of-bitmap.
Bytes EncodeRle8(const Indexed& p);
Bytes EncodeRle4(const Indexed& p);
// DIB picture data (with the "TDIB" prefix) for 8-bit RLE8, 4-bit RLE4 and 1-bit pictures.
Bytes DibRle8(const Indexed& p);
Bytes DibRle4(const Indexed& p);
Bytes Dib1(const Indexed& p);

// A complete RIFF WAVE file of PCM mono samples. `extraFormat` bytes are appended to the 16
// standard format bytes (the format chunk then is 16 + extra bytes long).
Bytes WaveFile(int rate, int bits, int channels, const Bytes& data, const Bytes& extraFormat = {});

// A baseline JPEG of `img` at the given quality (libjpeg).
Bytes Jpeg(const Image& img, int quality);

// UTF-8 text converted to Windows-1251 (Latin-1 range below 128 and the Cyrillic alphabet).
std::string ToCp1251(std::string_view utf8);

// Writes `data` to `path` through a temporary file and a rename, so a reader never sees half a
// file. Throws std::runtime_error on failure.
void WriteFileAtomic(const std::string& path, const Bytes& data);
// Like WriteFileAtomic, but leaves an existing file alone; returns whether it wrote.
bool WriteFileIfAbsent(const std::string& path, const Bytes& data);

// Little-endian helpers.
void Put16(Bytes& b, uint32_t v);
void Put32(Bytes& b, uint32_t v);
void PutStr(Bytes& b, std::string_view s);

}  // namespace gen

namespace gen {

// A complete PNG file of a canvas: 8-bit RGBA, the colour straight and the coverage as alpha.
// Compressed with our own deflate (fixed Huffman codes, LZ77 matches); every row takes the filter
// (none, left or up) that leaves the smallest differences.
Bytes PngFile(const Canvas& c);

}  // namespace gen
