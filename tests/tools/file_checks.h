// Helpers shared by the data tests: file reading, little-endian fields and the header of a BMP
// file or of a "TDIB" picture blob.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace tools_test {

using Bytes = std::vector<uint8_t>;

inline std::optional<Bytes> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return std::nullopt;
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline uint32_t U16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
inline uint32_t U32(const uint8_t* p) { return U16(p) | U16(p + 2) << 16; }
inline int32_t I32(const uint8_t* p) { return int32_t(U32(p)); }

// The 40-byte device-independent bitmap header.
struct DibHeader {
  uint32_t size = 0;
  int32_t width = 0, height = 0;
  uint32_t planes = 0, bits = 0, compression = 0, imageSize = 0, coloursUsed = 0;
};

inline DibHeader ParseDibHeader(const uint8_t* p) {
  DibHeader h;
  h.size = U32(p);
  h.width = I32(p + 4);
  h.height = I32(p + 8);
  h.planes = U16(p + 12);
  h.bits = U16(p + 14);
  h.compression = U32(p + 16);
  h.imageSize = U32(p + 20);
  h.coloursUsed = U32(p + 32);
  return h;
}

inline uint32_t RowBytes(int width, int bits) { return uint32_t((bits * width + 31) / 32 * 4); }

// A parsed 24-bit BMP file: header fields and access to one pixel (red, green, blue).
struct Bmp {
  bool valid = false;
  std::string error;
  uint32_t fileSize = 0, offset = 0;
  DibHeader dib;
  Bytes bytes;
  // Pixel (x, y) counted from the top row, as red, green, blue.
  uint32_t Pixel(int x, int y) const {
    const uint8_t* p =
        &bytes[offset + size_t(dib.height - 1 - y) * RowBytes(dib.width, 24) + x * 3];
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
  }
};

inline Bmp ParseBmp(const std::string& path) {
  Bmp b;
  auto data = ReadFile(path);
  if (!data) {
    b.error = "missing";
    return b;
  }
  b.bytes = *data;
  if (b.bytes.size() < 54 || b.bytes[0] != 'B' || b.bytes[1] != 'M') {
    b.error = "not a BMP file";
    return b;
  }
  b.fileSize = U32(&b.bytes[2]);
  b.offset = U32(&b.bytes[10]);
  b.dib = ParseDibHeader(&b.bytes[14]);
  if (b.fileSize != b.bytes.size()) {
    b.error = "file size field " + std::to_string(b.fileSize) + " but " +
              std::to_string(b.bytes.size()) + " bytes";
    return b;
  }
  if (b.dib.size != 40 || b.dib.planes != 1 || b.dib.bits != 24 || b.dib.compression != 0 ||
      b.dib.width <= 0 || b.dib.height <= 0) {
    b.error = "not a plain 24-bit bitmap";
    return b;
  }
  if (b.offset < 54 ||
      b.offset + size_t(RowBytes(b.dib.width, 24)) * b.dib.height > b.bytes.size()) {
    b.error = "pixel data does not fit the file";
    return b;
  }
  b.valid = true;
  return b;
}

// The key colour test the game applies after reducing a pixel to 16 bits (top 5-6-5 bits).
inline uint32_t To565(uint32_t rgb) {
  return ((rgb >> 19) & 31) << 11 | ((rgb >> 10) & 63) << 5 | ((rgb >> 3) & 31);
}

// A RIFF WAVE file's format fields and sample data.
struct Wave {
  uint32_t format = 0, channels = 0, rate = 0, bits = 0, fmtSize = 0;
  Bytes fmt;
  Bytes data;
  bool valid = false;
};

// Parses a RIFF WAVE file strictly: sizes must add up exactly and a format and a data chunk
// must be present.
inline Wave ParseWave(const Bytes& b) {
  Wave w;
  if (b.size() < 12 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
      std::string(b.begin() + 8, b.begin() + 12) != "WAVE" || U32(&b[4]) != b.size() - 8)
    return w;
  size_t p = 12;
  bool haveFmt = false, haveData = false;
  while (p + 8 <= b.size()) {
    std::string id(b.begin() + p, b.begin() + p + 4);
    uint32_t size = U32(&b[p + 4]);
    if (p + 8 + size > b.size()) return w;
    if (id == "fmt ") {
      w.fmtSize = size;
      w.fmt.assign(b.begin() + p + 8, b.begin() + p + 8 + size);
      w.format = U16(&b[p + 8]);
      w.channels = U16(&b[p + 10]);
      w.rate = U32(&b[p + 12]);
      w.bits = U16(&b[p + 22]);
      haveFmt = size >= 16 && U32(&b[p + 16]) == w.rate * w.channels * w.bits / 8 &&
                U16(&b[p + 20]) == w.channels * w.bits / 8;
    } else if (id == "data") {
      w.data.assign(b.begin() + p + 8, b.begin() + p + 8 + size);
      haveData = true;
    }
    p += 8 + size;
  }
  w.valid = haveFmt && haveData && p == b.size();
  return w;
}

}  // namespace tools_test
