// Basic graphic types shared by the toolkit, the display and the game.
#pragma once

#include <cstdint>

// The toolkit's colour number: red in the low byte, then green, then blue (255 = pure red).
using TColor = int32_t;
constexpr TColor RGB(int r, int g, int b) { return r | (g << 8) | (b << 16); }
constexpr int GetRValue(TColor c) { return c & 0xFF; }
constexpr int GetGValue(TColor c) { return (c >> 8) & 0xFF; }
constexpr int GetBValue(TColor c) { return (c >> 16) & 0xFF; }

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clNone = 0x1FFFFFFF;

struct TPoint {
  int32_t X = 0, Y = 0;
};

// A rectangle; right and bottom are exclusive.
struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

constexpr TRect Rect(int32_t l, int32_t t, int32_t r, int32_t b) { return TRect{l, t, r, b}; }
constexpr TRect Bounds(int32_t x, int32_t y, int32_t w, int32_t h) {
  return TRect{x, y, x + w, y + h};
}

// A block of pixels in memory that canvases and blits draw on. bitCount 16 is RGB565,
// 32 is XRGB8888 (blue in the low byte), 24 is BGR, 8/4/1 are palette indexes.
struct PixelBuffer {
  uint8_t* bits = nullptr;
  int pitch = 0;  // bytes per row
  int width = 0;
  int height = 0;
  int bitCount = 16;
};

// A 24-bit colour converted to RGB565 by keeping the top bits of each channel.
constexpr uint16_t ColorTo565(TColor c) {
  return static_cast<uint16_t>(((GetRValue(c) >> 3) << 11) | ((GetGValue(c) >> 2) << 5) |
                               (GetBValue(c) >> 3));
}
