// JPEG decoding for the pictures carried inside the program (libjpeg; no OS services involved).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Largest width or height accepted: bigger claims in a header are taken as damage, not pictures.
constexpr int kMaxJpegSide = 16384;

// Decodes a JPEG held in memory into 24-bit RGB, rows top-down, 3 * w bytes a row, red first
// (greyscale and CMYK pictures are converted). On any fault (corrupt or truncated data, a side
// above kMaxJpegSide, an unsupported colour space) returns false with `error` describing it and
// leaves w, h and rgb24 empty; never ends the program.
bool DecodeJpeg(const uint8_t* data, size_t size, int& w, int& h, std::vector<uint8_t>& rgb24,
                std::string& error);

}  // namespace platform
