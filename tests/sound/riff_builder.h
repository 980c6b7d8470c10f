// Builds RIFF WAVE blocks byte by byte for the sound tests, including deliberately broken ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace riff {

inline void U16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void U32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void Id(std::vector<uint8_t>& b, const char* id) { b.insert(b.end(), id, id + 4); }

// The 16 standard bytes of a PCM format record.
inline std::vector<uint8_t> PcmFormat(int channels, int rate, int bits, uint16_t tag = 1) {
  std::vector<uint8_t> f;
  const int align = channels * bits / 8;
  U16(f, tag);
  U16(f, static_cast<uint16_t>(channels));
  U32(f, static_cast<uint32_t>(rate));
  U32(f, static_cast<uint32_t>(rate * align));
  U16(f, static_cast<uint16_t>(align));
  U16(f, static_cast<uint16_t>(bits));
  return f;
}

// A chunk whose size field says `declaredSize` whatever the body holds.
inline void Chunk(std::vector<uint8_t>& b, const char* id, const std::vector<uint8_t>& body,
                  uint32_t declaredSize) {
  Id(b, id);
  U32(b, declaredSize);
  b.insert(b.end(), body.begin(), body.end());
}

// A well-formed chunk (with its pad byte when the body is odd).
inline void Chunk(std::vector<uint8_t>& b, const char* id, const std::vector<uint8_t>& body) {
  Chunk(b, id, body, static_cast<uint32_t>(body.size()));
  if (body.size() & 1) b.push_back(0);
}

// "RIFF" <size> "WAVE"; the size is patched by Finish.
inline std::vector<uint8_t> Header() {
  std::vector<uint8_t> b;
  Id(b, "RIFF");
  U32(b, 0);
  Id(b, "WAVE");
  return b;
}

inline std::vector<uint8_t>& Finish(std::vector<uint8_t>& b) {
  const uint32_t size = static_cast<uint32_t>(b.size() - 8);
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>(size >> (8 * i));
  return b;
}

// Samples 0, 1, 2, ... (mod 256).
inline std::vector<uint8_t> Ramp(size_t n) {
  std::vector<uint8_t> d(n);
  for (size_t i = 0; i < n; ++i) d[i] = static_cast<uint8_t>(i * 7 + 3);
  return d;
}

// A complete mono wave of `bytes` sample bytes.
inline std::vector<uint8_t> Wave(int rate, int bits, size_t bytes, int channels = 1) {
  std::vector<uint8_t> b = Header();
  Chunk(b, "fmt ", PcmFormat(channels, rate, bits));
  Chunk(b, "data", Ramp(bytes));
  return Finish(b);
}

}  // namespace riff
