// The PNG writer of the application icons. A tiny deflate of its own keeps the generator free of
// compression libraries: fixed Huffman codes are enough for pictures with large even areas.
#include <array>
#include <cstdlib>

#include "formats.h"

namespace gen {

namespace {

uint8_t Byte8(float v) { return uint8_t(std::lround(Clamp01(v) * 255.f)); }

uint32_t Crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBE32(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

// Deflate's bit order: values go in from their low bit, Huffman codes from their high bit.
class BitWriter {
 public:
  explicit BitWriter(Bytes& out) : out_(out) {}
  void Bits(uint32_t v, int n) {
    acc_ |= v << fill_;
    fill_ += n;
    while (fill_ >= 8) {
      out_.push_back(uint8_t(acc_));
      acc_ >>= 8;
      fill_ -= 8;
    }
  }
  void Code(uint32_t code, int len) {
    uint32_t r = 0;
    for (int i = 0; i < len; ++i) r |= ((code >> i) & 1) << (len - 1 - i);
    Bits(r, len);
  }
  void Flush() {
    if (fill_ > 0) out_.push_back(uint8_t(acc_));
    acc_ = 0;
    fill_ = 0;
  }

 private:
  Bytes& out_;
  uint32_t acc_ = 0;
  int fill_ = 0;
};

// The fixed literal/length code of symbol `s` (0..287).
void Literal(BitWriter& w, int s) {
  if (s < 144)
    w.Code(0x30 + s, 8);
  else if (s < 256)
    w.Code(0x190 + (s - 144), 9);
  else if (s < 280)
    w.Code(s - 256, 7);
  else
    w.Code(0xC0 + (s - 280), 8);
}

constexpr int kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                               33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void Match(BitWriter& w, int len, int dist) {
  int li = 28;
  while (kLenBase[li] > len) --li;
  Literal(w, 257 + li);
  w.Bits(uint32_t(len - kLenBase[li]), kLenExtra[li]);
  int di = 29;
  while (kDistBase[di] > dist) --di;
  w.Code(uint32_t(di), 5);
  w.Bits(uint32_t(dist - kDistBase[di]), kDistExtra[di]);
}

// A zlib stream of `data`: one final block with the fixed codes, greedy matches found through a
// hash of the next three bytes and a bounded chain of earlier places.
Bytes Zlib(const Bytes& data) {
  Bytes out = {0x78, 0x01};
  BitWriter w(out);
  w.Bits(1, 1);  // the final block
  w.Bits(1, 2);  // fixed Huffman codes
  constexpr int kWindow = 32768, kHashSize = 1 << 15, kChain = 64, kMaxLen = 258;
  std::vector<int> head(kHashSize, -1), prev(data.size(), -1);
  auto hash = [&](size_t i) {
    return int(((data[i] << 10) ^ (data[i + 1] << 5) ^ data[i + 2]) & (kHashSize - 1));
  };
  size_t i = 0;
  auto insert = [&](size_t at) {
    if (at + 2 >= data.size()) return;
    int h = hash(at);
    prev[at] = head[h];
    head[h] = int(at);
  };
  while (i < data.size()) {
    int bestLen = 0, bestDist = 0;
    if (i + 2 < data.size()) {
      int cand = head[hash(i)];
      for (int steps = 0; cand >= 0 && steps < kChain; ++steps, cand = prev[cand]) {
        const int dist = int(i) - cand;
        if (dist > kWindow) break;
        int len = 0;
        const int most = int(std::min<size_t>(kMaxLen, data.size() - i));
        while (len < most && data[cand + len] == data[i + len]) ++len;
        if (len > bestLen) {
          bestLen = len;
          bestDist = dist;
          if (len == most) break;
        }
      }
    }
    if (bestLen >= 3) {
      Match(w, bestLen, bestDist);
      for (int k = 0; k < bestLen; ++k) insert(i + k);
      i += bestLen;
    } else {
      Literal(w, data[i]);
      insert(i);
      ++i;
    }
  }
  Literal(w, 256);
  w.Flush();
  uint32_t a = 1, b = 0;
  for (uint8_t c : data) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBE32(out, (b << 16) | a);
  return out;
}

void Chunk(Bytes& png, const char* type, const Bytes& body) {
  PutBE32(png, uint32_t(body.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), body.begin(), body.end());
  PutBE32(png, Crc32(png.data() + start, png.size() - start));
}

}  // namespace

Bytes PngFile(const Canvas& c) {
  const size_t stride = size_t(c.w) * 4;
  std::vector<uint8_t> rows(stride * c.h);
  for (int y = 0; y < c.h; ++y)
    for (int x = 0; x < c.w; ++x) {
      const size_t i = size_t(y) * c.w + x;
      uint8_t* p = &rows[y * stride + size_t(x) * 4];
      const float a = Clamp01(c.cov[i]);
      // Nothing drawn: fully transparent black, so the even areas compress to nothing.
      const Color v = a > 0 ? c.col[i] : Color{};
      p[0] = Byte8(v.r);
      p[1] = Byte8(v.g);
      p[2] = Byte8(v.b);
      p[3] = Byte8(a);
    }
  Bytes filtered;
  filtered.reserve((stride + 1) * c.h);
  std::vector<uint8_t> cand[3];
  for (int y = 0; y < c.h; ++y) {
    const uint8_t* row = &rows[y * stride];
    const uint8_t* up = y > 0 ? &rows[(y - 1) * stride] : nullptr;
    int best = 0;
    long bestSum = -1;
    for (int f = 0; f < 3; ++f) {
      cand[f].assign(stride, 0);
      long sum = 0;
      for (size_t k = 0; k < stride; ++k) {
        const uint8_t left = k >= 4 ? row[k - 4] : 0, above = up ? up[k] : 0;
        const uint8_t v = uint8_t(row[k] - (f == 1 ? left : f == 2 ? above : 0));
        cand[f][k] = v;
        sum += v < 128 ? v : 256 - v;
      }
      if (bestSum < 0 || sum < bestSum) {
        bestSum = sum;
        best = f;
      }
    }
    filtered.push_back(uint8_t(best));
    filtered.insert(filtered.end(), cand[best].begin(), cand[best].end());
  }
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  PutBE32(ihdr, uint32_t(c.w));
  PutBE32(ihdr, uint32_t(c.h));
  ihdr.insert(ihdr.end(),
              {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, adaptive filters, no interlace
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", Zlib(filtered));
  Chunk(png, "IEND", {});
  return png;
}

}  // namespace gen
