// Whole presented frames compared pixel for pixel with reviewed pictures in tests/reference/
// (8-bit RGB PNG files, viewable in any image viewer). With KX_UPDATE_REFERENCES=1 in the
// environment the comparison writes the frame as the new reference instead (`make references`).
// On a mismatch the actual frame and a difference picture (matching pixels dimmed to grey,
// differing ones pure magenta) go to <build>/reference-frames/ and the failure names them.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/headless/headless.h"

namespace reference {

struct Rgb {
  int width = 0, height = 0;
  std::vector<uint8_t> px;  // width * height * 3 bytes, rows top to bottom
};

// A presented frame as 8-bit RGB (565 widened by bit replication, as the screen shows it).
inline Rgb FromFrame(const platform::headless::CapturedFrame& f) {
  Rgb out{f.width, f.height, std::vector<uint8_t>(size_t(f.width) * f.height * 3)};
  for (int y = 0; y < f.height; ++y)
    for (int x = 0; x < f.width; ++x) {
      uint8_t* o = &out.px[(size_t(y) * f.width + x) * 3];
      const uint8_t* p = f.pixels.data() + size_t(y) * f.pitch + x * (f.bitCount / 8);
      if (f.bitCount == 32) {
        o[0] = p[2], o[1] = p[1], o[2] = p[0];
      } else {
        const unsigned v = p[0] | p[1] << 8, r = v >> 11, g = (v >> 5) & 63, b = v & 31;
        o[0] = uint8_t(r << 3 | r >> 2), o[1] = uint8_t(g << 2 | g >> 4),
        o[2] = uint8_t(b << 3 | b >> 2);
      }
    }
  return out;
}

inline uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return uint8_t(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}
// Byte `i` of a row (bpp 3) predicted by filter `f` from the row `cur` and the row above `up`.
inline uint8_t Predict(int f, const uint8_t* cur, const uint8_t* up, size_t i) {
  const int a = i >= 3 ? cur[i - 3] : 0, b = up ? up[i] : 0, c = i >= 3 && up ? up[i - 3] : 0;
  return uint8_t(f == 1 ? a : f == 2 ? b : f == 3 ? (a + b) / 2 : f == 4 ? Paeth(a, b, c) : 0);
}

inline void Chunk(std::string& out, const char* type, const std::string& data) {
  auto be32 = [&](uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out += char(v >> s);
  };
  be32(uint32_t(data.size()));
  const std::string body = type + data;
  out += body;
  be32(uint32_t(crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

// Encodes as PNG; each row takes the filter whose output has the smallest sum of magnitudes.
inline std::string EncodePng(const Rgb& img) {
  const size_t stride = size_t(img.width) * 3;
  std::string raw;
  for (int y = 0; y < img.height; ++y) {
    const uint8_t* cur = &img.px[y * stride];
    const uint8_t* up = y ? cur - stride : nullptr;
    std::string best;
    long bestCost = -1;
    for (int f = 0; f < 5; ++f) {
      std::string row(1, char(f));
      long cost = 0;
      for (size_t i = 0; i < stride; ++i) {
        row += char(cur[i] - Predict(f, cur, up, i));
        cost += std::abs(int(int8_t(row.back())));
      }
      if (bestCost < 0 || cost < bestCost) best = row, bestCost = cost;
    }
    raw += best;
  }
  uLongf n = compressBound(uLong(raw.size()));
  std::string z(n, '\0');
  compress2(reinterpret_cast<Bytef*>(z.data()), &n, reinterpret_cast<const Bytef*>(raw.data()),
            uLong(raw.size()), 9);
  z.resize(n);
  std::string ihdr;
  for (uint32_t v : {uint32_t(img.width), uint32_t(img.height)})
    for (int s = 24; s >= 0; s -= 8) ihdr += char(v >> s);
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, filtered, progressive
  std::string out = "\x89PNG\r\n\x1a\n";
  Chunk(out, "IHDR", ihdr);
  Chunk(out, "IDAT", z);
  Chunk(out, "IEND", "");
  return out;
}

// Decodes an 8-bit RGB non-interlaced PNG (what EncodePng writes); false for anything else.
inline bool DecodePng(const std::string& s, Rgb& img) {
  auto be32 = [&](size_t at) {
    return uint32_t(uint8_t(s[at])) << 24 | uint32_t(uint8_t(s[at + 1])) << 16 |
           uint32_t(uint8_t(s[at + 2])) << 8 | uint8_t(s[at + 3]);
  };
  if (s.size() < 33 || s.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return false;
  std::string z;
  for (size_t at = 8; at + 12 <= s.size();) {
    const size_t len = be32(at);
    if (len > s.size() - at - 12) return false;
    const std::string type = s.substr(at + 4, 4);
    if (type == "IHDR") {
      img.width = int(be32(at + 8)), img.height = int(be32(at + 12));
      if (s.compare(at + 16, 5, std::string("\x08\x02\x00\x00\x00", 5)) != 0) return false;
      if (img.width <= 0 || img.height <= 0 || img.width > 8192 || img.height > 8192) return false;
    }
    if (type == "IDAT") z += s.substr(at + 8, len);
    at += 12 + len;
  }
  const size_t stride = size_t(img.width) * 3;
  std::string raw(img.height * (stride + 1), '\0');
  uLongf n = uLongf(raw.size());
  if (img.width <= 0 ||
      uncompress(reinterpret_cast<Bytef*>(raw.data()), &n, reinterpret_cast<const Bytef*>(z.data()),
                 uLong(z.size())) != Z_OK ||
      n != raw.size())
    return false;
  img.px.assign(img.height * stride, 0);
  for (int y = 0; y < img.height; ++y) {
    const int f = raw[y * (stride + 1)];
    if (f > 4) return false;
    uint8_t* cur = &img.px[y * stride];
    const uint8_t* up = y ? cur - stride : nullptr;
    for (size_t i = 0; i < stride; ++i)
      cur[i] = uint8_t(raw[y * (stride + 1) + 1 + i] + Predict(f, cur, up, i));
  }
  return true;
}

inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
inline void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

// Compares `frame` with tests/reference/<name>.png (or re-draws it, see the top of the file).
inline ::testing::AssertionResult MatchesReference(const platform::headless::CapturedFrame& frame,
                                                   const std::string& name) {
  namespace fs = std::filesystem;
  const Rgb actual = FromFrame(frame);
  if (actual.px.empty()) return ::testing::AssertionFailure() << "no frame was shown for " << name;
  const fs::path ref = fs::path(KX_SOURCE_DIR) / "tests" / "reference" / (name + ".png");
  const fs::path out = fs::path(KX_BINARY_DIR) / "reference-frames";
  std::error_code ec;  // a passing comparison leaves no pictures of an earlier failure behind
  for (const char* kind : {".actual.png", ".diff.png"}) fs::remove(out / (name + kind), ec);
  const char* update = std::getenv("KX_UPDATE_REFERENCES");
  if (update && std::string(update) == "1") {
    WriteFile(ref, EncodePng(actual));
    return ::testing::AssertionSuccess() << "re-drew " << ref;
  }
  Rgb want;
  const bool read = DecodePng(ReadFile(ref), want);
  const bool sameSize = read && want.width == actual.width && want.height == actual.height;
  Rgb diff = actual;
  long differing = 0;
  for (size_t i = 0; i < actual.px.size(); i += 3) {
    const bool same = sameSize && std::memcmp(&actual.px[i], &want.px[i], 3) == 0;
    const uint8_t grey = uint8_t((actual.px[i] + actual.px[i + 1] + actual.px[i + 2]) / 12);
    const uint8_t mark[3] = {255, 0, 255}, dim[3] = {grey, grey, grey};
    std::memcpy(&diff.px[i], same ? dim : mark, 3);
    differing += !same;
  }
  if (differing == 0) return ::testing::AssertionSuccess();
  WriteFile(out / (name + ".actual.png"), EncodePng(actual));
  WriteFile(out / (name + ".diff.png"), EncodePng(diff));
  auto failure = ::testing::AssertionFailure();
  if (!read)
    failure << "no readable reference " << ref << "; ";
  else if (!sameSize)
    failure << "reference is " << want.width << "x" << want.height << "; ";
  return failure << differing << " of " << actual.width * actual.height << " pixels of frame "
                 << actual.width << "x" << actual.height << " differ from " << ref
                 << "\n  actual: " << (out / (name + ".actual.png"))
                 << "\n  difference: " << (out / (name + ".diff.png"))
                 << "\n  (after a deliberate change: make references, then look at the pictures)";
}

}  // namespace reference
