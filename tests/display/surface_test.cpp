#include "display/surface.h"

#include <gtest/gtest.h>

#include <cstring>

#include "display/dxdraw.h"
#include "toolkit/canvas.h"

namespace {

// A w x h surface whose pixel (x, y) holds 1 + x + 100 * y (distinct, never 0).
void Pattern(TDirectDrawSurface& s, int w, int h) {
  s.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s.SetPixel(x, y, 1 + x + 100 * y);
}

uint32_t Pat(int x, int y) { return 1 + x + 100 * y; }

constexpr uint32_t kBg = 0xBEEF;

TEST(SurfaceDraw, LeftClipShowsTheRightColumnsAtZero) {
  TDirectDrawSurface src(16), dst(16);
  Pattern(src, 20, 4);
  dst.SetSize(30, 4);
  dst.Fill(kBg);
  ASSERT_TRUE(dst.Draw(-10, 0, src.ClientRect(), &src, false));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 10; ++x) EXPECT_EQ(dst.Pixels(x, y), Pat(x + 10, y)) << x << "," << y;
    for (int x = 10; x < 30; ++x) EXPECT_EQ(dst.Pixels(x, y), kBg) << x << "," << y;
  }
}

TEST(SurfaceDraw, AtOrPastTheRightEdgeDrawsNothingJustInsideDrawsOneColumn) {
  TDirectDrawSurface src(16), dst(16);
  Pattern(src, 20, 4);
  dst.SetSize(30, 4);
  dst.Fill(kBg);
  EXPECT_TRUE(dst.Draw(30, 0, src.ClientRect(), &src, false));
  EXPECT_TRUE(dst.Draw(31, 0, src.ClientRect(), &src, false));
  EXPECT_TRUE(dst.Draw(0, 4, src.ClientRect(), &src, false));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_EQ(dst.Pixels(x, y), kBg);
  dst.Draw(29, 1, src.ClientRect(), &src, false);
  EXPECT_EQ(dst.Pixels(29, 1), Pat(0, 0));
  EXPECT_EQ(dst.Pixels(29, 3), Pat(0, 2));
  EXPECT_EQ(dst.Pixels(28, 1), kBg);
  EXPECT_EQ(dst.Pixels(29, 0), kBg);
}

TEST(SurfaceDraw, TopAndBottomClip) {
  TDirectDrawSurface src(16), dst(16);
  Pattern(src, 3, 6);
  dst.SetSize(3, 4);
  dst.Fill(kBg);
  dst.Draw(0, -2, src.ClientRect(), &src, false);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(dst.Pixels(1, y), Pat(1, y + 2));
  dst.Fill(kBg);
  dst.Draw(0, 2, src.ClientRect(), &src, false);
  EXPECT_EQ(dst.Pixels(0, 1), kBg);
  EXPECT_EQ(dst.Pixels(0, 2), Pat(0, 0));
  EXPECT_EQ(dst.Pixels(2, 3), Pat(2, 1));
}

TEST(SurfaceDraw, SourceRectanglePastTheSourceEdgeCopiesOnlyTheInside) {
  TDirectDrawSurface src(16), dst(16);
  Pattern(src, 20, 5);
  dst.SetSize(40, 10);
  dst.Fill(kBg);
  dst.Draw(5, 2, Rect(10, 3, 30, 9), &src, false);
  // Columns 10..19 and rows 3..4 exist in the source.
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 40; ++x) {
      const bool inside = x >= 5 && x < 15 && y >= 2 && y < 4;
      const uint32_t want = inside ? Pat(x - 5 + 10, y - 2 + 3) : kBg;
      ASSERT_EQ(dst.Pixels(x, y), want) << x << "," << y;
    }
  }
  // A rectangle starting left of the source moves the destination along with it.
  dst.Fill(kBg);
  dst.Draw(0, 0, Rect(-3, 0, 2, 1), &src, false);
  EXPECT_EQ(dst.Pixels(2, 0), kBg);
  EXPECT_EQ(dst.Pixels(3, 0), Pat(0, 0));
  EXPECT_EQ(dst.Pixels(4, 0), Pat(1, 0));
  EXPECT_EQ(dst.Pixels(5, 0), kBg);
}

TEST(SurfaceDraw, ColourKeySkipsKeyPixelsOnlyWhenTransparent) {
  TDirectDrawSurface src(16), dst(16);
  src.SetSize(40, 3);
  const uint16_t key = 0xF81F;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 40; ++x) src.SetPixel(x, y, (x + y) % 3 == 0 ? key : 0x1000 + x);
  src.SetColorKey(key);
  EXPECT_TRUE(src.HasColorKey());
  EXPECT_EQ(src.ColorKey(), key);
  dst.SetSize(40, 3);
  dst.Fill(kBg);
  ASSERT_TRUE(dst.Draw(0, 0, src.ClientRect(), &src, true));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ(dst.Pixels(x, y), (x + y) % 3 == 0 ? kBg : 0x1000u + x) << x << "," << y;
  ASSERT_TRUE(dst.Draw(0, 0, src.ClientRect(), &src, false));
  EXPECT_EQ(dst.Pixels(0, 0), key);
}

TEST(SurfaceDraw, ColourKeyAt32And8And24Bits) {
  for (int bits : {8, 24, 32}) {
    TDirectDrawSurface src(bits), dst(bits);
    src.SetSize(5, 1);
    for (int x = 0; x < 5; ++x) src.SetPixel(x, 0, x == 2 ? 7 : 20 + x);
    src.SetColorKey(7);
    dst.SetSize(5, 1);
    dst.Fill(99);
    dst.Draw(0, 0, src.ClientRect(), &src, true);
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(dst.Pixels(x, 0), x == 2 ? 99u : 20u + x) << bits << " bits, x " << x;
  }
}

TEST(SurfaceDraw, ReversedRectanglesMirror) {
  TDirectDrawSurface src(16), dst(16);
  Pattern(src, 4, 3);
  dst.SetSize(4, 3);
  // Left-right.
  dst.Draw(0, 0, Rect(4, 0, 0, 3), &src, false);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(dst.Pixels(x, y), Pat(3 - x, y));
  // Up-down.
  dst.Draw(0, 0, Rect(0, 3, 4, 0), &src, false);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(dst.Pixels(x, y), Pat(x, 2 - y));
  // Both.
  dst.Draw(0, 0, Rect(4, 3, 0, 0), &src, false);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(dst.Pixels(x, y), Pat(3 - x, 2 - y));
}

TEST(SurfaceDraw, MirroredPartOfTheSourceAndClippedMirror) {
  TDirectDrawSurface src(16), dst(16);
  Pattern(src, 10, 1);
  dst.SetSize(6, 1);
  dst.Fill(kBg);
  // The rectangle's own columns 2..5, mirrored.
  dst.Draw(1, 0, Rect(6, 0, 2, 1), &src, false);
  EXPECT_EQ(dst.Pixels(0, 0), kBg);
  EXPECT_EQ(dst.Pixels(1, 0), Pat(5, 0));
  EXPECT_EQ(dst.Pixels(4, 0), Pat(2, 0));
  EXPECT_EQ(dst.Pixels(5, 0), kBg);
  // Pushed two columns off the left edge: the mirrored picture keeps its place.
  dst.Fill(kBg);
  dst.Draw(-2, 0, Rect(10, 0, 0, 1), &src, false);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(dst.Pixels(x, 0), Pat(9 - (x + 2), 0)) << x;
}

TEST(SurfaceDraw, ReversedRectangleEntirelyOffTheTopLeftDrawsNothing) {
  TDirectDrawSurface src(16), dst(16);
  Pattern(src, 4, 4);
  dst.SetSize(4, 4);
  dst.Fill(kBg);
  dst.Draw(-4, 0, Rect(4, 0, 0, 4), &src, false);
  dst.Draw(0, -4, Rect(0, 4, 4, 0), &src, false);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(dst.Pixels(x, y), kBg);
}

TEST(SurfaceDraw, MirroredColourKey) {
  TDirectDrawSurface src(16), dst(16);
  src.SetSize(3, 1);
  src.SetPixel(0, 0, 5);
  src.SetPixel(1, 0, 6);
  src.SetPixel(2, 0, 7);
  src.SetColorKey(5);
  dst.SetSize(3, 1);
  dst.Fill(kBg);
  dst.Draw(0, 0, Rect(3, 0, 0, 1), &src, true);
  EXPECT_EQ(dst.Pixels(0, 0), 7u);
  EXPECT_EQ(dst.Pixels(1, 0), 6u);
  EXPECT_EQ(dst.Pixels(2, 0), kBg);
}

TEST(SurfaceDraw, RefusalsStoreTheirResult) {
  TDirectDrawSurface src(16), dst(16), src32(32);
  Pattern(src, 4, 4);
  dst.SetSize(4, 4);
  dst.Fill(kBg);
  // Transparent copy from a surface without a key.
  EXPECT_FALSE(dst.Draw(0, 0, src.ClientRect(), &src, true));
  EXPECT_EQ(dst.LastResult(), DDERR_NOCOLORKEY);
  EXPECT_EQ(dst.Pixels(0, 0), kBg);
  // Different formats.
  src32.SetSize(4, 4);
  EXPECT_FALSE(dst.Draw(0, 0, src32.ClientRect(), &src32, false));
  EXPECT_EQ(dst.LastResult(), DDERR_INVALIDPIXELFORMAT);
  // No source: nothing, no failure. A surface without pixels refuses a fill.
  EXPECT_TRUE(dst.Draw(0, 0, src.ClientRect(), nullptr, false));
  TDirectDrawSurface none(16);
  EXPECT_FALSE(none.Fill(0));
  EXPECT_EQ(none.LastResult(), DDERR_INVALIDOBJECT);
  // Locked destination.
  TDDSurfaceDesc d;
  ASSERT_TRUE(dst.Lock(nullptr, d));
  EXPECT_FALSE(dst.Draw(0, 0, src.ClientRect(), &src, false));
  EXPECT_EQ(dst.LastResult(), DDERR_SURFACEBUSY);
  dst.Unlock();
  EXPECT_TRUE(dst.Draw(0, 0, src.ClientRect(), &src, false));
  EXPECT_EQ(dst.LastResult(), DD_OK);
  EXPECT_EQ(dst.Pixels(3, 3), Pat(3, 3));
}

TEST(SurfaceDraw, OverlappingCopyWithinOneSurface) {
  TDirectDrawSurface s(16);
  Pattern(s, 8, 1);
  s.Draw(2, 0, Rect(0, 0, 6, 1), &s, false);
  EXPECT_EQ(s.Pixels(0, 0), Pat(0, 0));
  EXPECT_EQ(s.Pixels(1, 0), Pat(1, 0));
  for (int x = 2; x < 8; ++x) EXPECT_EQ(s.Pixels(x, 0), Pat(x - 2, 0)) << x;
}

TEST(SurfaceClip, EdgesMoveTogether) {
  TRect dst = Rect(-5, -2, 15, 8), src = Rect(0, 0, 20, 10);
  ASSERT_TRUE(ClipBlit(dst, src, Rect(0, 0, 10, 6), Rect(0, 0, 20, 10)));
  EXPECT_EQ(dst, Rect(0, 0, 10, 6));
  EXPECT_EQ(src, Rect(5, 2, 15, 8));
  TRect d2 = Rect(10, 0, 20, 5), s2 = Rect(0, 0, 10, 5);
  EXPECT_FALSE(ClipBlit(d2, s2, Rect(0, 0, 10, 5), Rect(0, 0, 10, 5)));
  TRect d3 = Rect(0, 0, 10, 5), s3 = Rect(-4, 0, 6, 5);
  ASSERT_TRUE(ClipBlit(d3, s3, Rect(0, 0, 100, 100), Rect(0, 0, 5, 5)));
  EXPECT_EQ(d3, Rect(4, 0, 9, 5));
  EXPECT_EQ(s3, Rect(0, 0, 5, 5));
}

TEST(SurfacePixels, RoundTripAndLayoutAtEveryDepth) {
  struct Case {
    int bits;
    uint32_t value;
  };
  for (Case c : {Case{1, 1}, Case{4, 0xA}, Case{8, 0xC3}, Case{16, 0xBEEF}, Case{24, 0xABCDEF},
                 Case{32, 0x12345678}}) {
    TDirectDrawSurface s(c.bits);
    s.SetSize(9, 3);
    EXPECT_EQ(s.BitCount(), c.bits);
    s.SetPixel(5, 1, c.value);
    EXPECT_EQ(s.Pixels(5, 1), c.value) << c.bits;
    EXPECT_EQ(s.Pixels(4, 1), 0u) << c.bits;
    EXPECT_EQ(s.Pixels(6, 1), 0u) << c.bits;
    EXPECT_EQ(s.Pixels(5, 0), 0u) << c.bits;
    EXPECT_EQ(s.Pixels(5, 2), 0u) << c.bits;
    // Out of range reads give 0, writes are ignored.
    EXPECT_EQ(s.Pixels(-1, 0), 0u);
    EXPECT_EQ(s.Pixels(9, 0), 0u);
    EXPECT_EQ(s.Pixels(0, 3), 0u);
    s.SetPixel(9, 0, c.value);
    s.SetPixel(-1, 0, c.value);
    EXPECT_EQ(s.Pixels(0, 1), 0u);
  }
}

TEST(SurfacePixels, BitAndByteOrder) {
  TDDSurfaceDesc d;
  TDirectDrawSurface one(1);
  one.SetSize(16, 1);
  one.SetPixel(0, 0, 1);
  one.SetPixel(9, 0, 1);
  ASSERT_TRUE(one.Lock(nullptr, d));
  EXPECT_EQ(d.Bits[0], 0x80);  // leftmost pixel is the top bit
  EXPECT_EQ(d.Bits[1], 0x40);
  EXPECT_EQ(d.PixelFormat.Flags, DDPF_PALETTEINDEXED1);
  one.Unlock();

  TDirectDrawSurface four(4);
  four.SetSize(4, 1);
  four.SetPixel(1, 0, 0xD);
  four.SetPixel(0, 0, 0x3);  // keeps its odd neighbour
  four.SetPixel(2, 0, 0x5);
  ASSERT_TRUE(four.Lock(nullptr, d));
  EXPECT_EQ(d.Bits[0], 0x3D);  // even pixel in the high nibble
  EXPECT_EQ(d.Bits[1], 0x50);
  four.Unlock();
  // Its sixteen colours are the system palette's two ends, and each matches itself.
  const TRGBQuads sys = SystemPaletteQuads();
  for (uint32_t i = 0; i < 16; ++i) {
    const TRGBQuad& q = sys[i < 8 ? i : 240 + i];
    int r = 0, g = 0, b = 0;
    four.PixelToRGB(i, r, g, b);
    EXPECT_EQ(RGB(r, g, b), RGB(q.rgbRed, q.rgbGreen, q.rgbBlue)) << i;
    EXPECT_EQ(four.ColorMatch(RGB(r, g, b)), i) << i;
  }
  TDirectDrawSurface hi(16);
  int r = 0, g = 0, b = 0;
  hi.PixelToRGB(0xFFFF, r, g, b);  // 5-6-5 fields widened with their low bits zero
  EXPECT_EQ(RGB(r, g, b), RGB(248, 252, 248));

  TDirectDrawSurface rgb(24);
  rgb.SetSize(2, 1);
  rgb.SetPixel(1, 0, 0x112233);
  ASSERT_TRUE(rgb.Lock(nullptr, d));
  EXPECT_EQ(d.Bits[3], 0x33);  // lowest byte first
  EXPECT_EQ(d.Bits[4], 0x22);
  EXPECT_EQ(d.Bits[5], 0x11);
  rgb.Unlock();
}

TEST(SurfaceLock, DoesNotNestAndDescribesTheRectangle) {
  TDirectDrawSurface s(16);
  Pattern(s, 10, 8);
  s.SetColorKey(0x1234);
  TDDSurfaceDesc d, d2;
  const TRect r = Rect(3, 2, 7, 5);
  ASSERT_TRUE(s.Lock(&r, d));
  EXPECT_TRUE(s.Locked());
  EXPECT_FALSE(s.Lock(nullptr, d2));
  EXPECT_EQ(s.LastResult(), DDERR_SURFACEBUSY);
  EXPECT_EQ(d.Width, 4);
  EXPECT_EQ(d.Height, 3);
  EXPECT_GE(d.Pitch, 20);
  EXPECT_EQ(d.PixelFormat.BitCount, 16);
  EXPECT_EQ(d.PixelFormat.RBitMask, 0xF800u);
  EXPECT_EQ(d.PixelFormat.GBitMask, 0x07E0u);
  EXPECT_EQ(d.PixelFormat.BBitMask, 0x001Fu);
  EXPECT_TRUE(d.HasColorKey);
  EXPECT_EQ(d.ColorKeyLow, 0x1234u);
  uint16_t first, below;
  std::memcpy(&first, d.Bits, 2);
  std::memcpy(&below, d.Bits + d.Pitch + 2, 2);
  EXPECT_EQ(first, Pat(3, 2));
  EXPECT_EQ(below, Pat(4, 3));
  // Pixel access needs its own lock, so it reads 0 and writes nothing meanwhile.
  EXPECT_EQ(s.Pixels(3, 2), 0u);
  s.SetPixel(0, 0, 77);
  s.Unlock();
  EXPECT_FALSE(s.Locked());
  EXPECT_EQ(s.Pixels(0, 0), Pat(0, 0));
  ASSERT_TRUE(s.Lock(nullptr, d2));
  EXPECT_EQ(d2.Width, 10);
  s.Unlock();
  // Rectangles outside the surface and empty surfaces are refused.
  const TRect out = Rect(5, 5, 11, 6);
  EXPECT_FALSE(s.Lock(&out, d2));
  TDirectDrawSurface empty(16);
  EXPECT_FALSE(empty.Lock(nullptr, d2));
  EXPECT_EQ(empty.Pixels(0, 0), 0u);
}

TEST(SurfaceFill, WholeSurfaceAtEachDepth) {
  struct Case {
    int bits;
    uint32_t value;
  };
  for (Case c : {Case{1, 1}, Case{4, 9}, Case{8, 200}, Case{16, 0xF0A5}, Case{24, 0xF0A5C3},
                 Case{32, 0x7F0A5C3Bu}}) {
    const int bits = c.bits;
    TDirectDrawSurface s(bits);
    s.SetSize(13, 3);
    const uint32_t want = c.value;
    ASSERT_TRUE(s.Fill(c.value));
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 13; ++x) ASSERT_EQ(s.Pixels(x, y), want) << bits << " " << x;
  }
  TDirectDrawSurface s(16);
  EXPECT_FALSE(s.Fill(0));  // empty
  s.SetSize(4, 4);
  s.Fill(0xFFFF);
  EXPECT_TRUE(s.FillRect(Rect(-2, 1, 2, 9), 0));
  EXPECT_EQ(s.Pixels(1, 1), 0u);
  EXPECT_EQ(s.Pixels(1, 3), 0u);
  EXPECT_EQ(s.Pixels(2, 1), 0xFFFFu);
  EXPECT_EQ(s.Pixels(1, 0), 0xFFFFu);
}

TEST(SurfaceColour, MatchUsesThePictureConversion) {
  TDirectDrawSurface s(16);
  EXPECT_EQ(s.ColorMatch(clWhite), 0u);  // empty surface
  s.SetSize(1, 1);
  EXPECT_EQ(s.ColorMatch(clRed), 0xF800u);
  EXPECT_EQ(s.ColorMatch(clBlue), 0x001Fu);
  EXPECT_EQ(s.ColorMatch(RGB(0, 255, 0)), 0x07E0u);
  // Red 1, green 1, blue 1 keeps no top bits: the same key as black.
  EXPECT_EQ(s.ColorMatch(65793), s.ColorMatch(clBlack));
  // A pixel copied from a picture matches the key of its own colour.
  const uint8_t bgr[] = {0x37, 0xA1, 0xC6};
  s.CopyFromBGR24(bgr, 3, 1, 1);
  EXPECT_EQ(s.Pixels(0, 0), s.ColorMatch(RGB(0xC6, 0xA1, 0x37)));
  const uint8_t rgb[] = {0xC6, 0xA1, 0x37};
  s.Fill(0);
  s.CopyFromRGB24(rgb, 3, 1, 1);
  EXPECT_EQ(s.Pixels(0, 0), s.ColorMatch(RGB(0xC6, 0xA1, 0x37)));

  TDirectDrawSurface x(32);
  x.SetSize(1, 1);
  EXPECT_EQ(x.ColorMatch(RGB(0x12, 0x34, 0x56)), 0x123456u);
  const uint8_t two[] = {1, 2, 3, 4, 5, 6};  // two pixels of three bytes
  x.SetSize(2, 1);
  x.CopyFromBGR24(two, 6, 2, 1);
  EXPECT_EQ(x.Pixels(1, 0), 0x060504u);
  x.CopyFromRGB24(two, 6, 2, 1);
  EXPECT_EQ(x.Pixels(1, 0), 0x040506u);
  int r, g, b;
  s.PixelToRGB(0xF800, r, g, b);
  EXPECT_EQ(r, 0xF8);
  EXPECT_EQ(g, 0);
  EXPECT_EQ(b, 0);
}

TEST(SurfaceColour, IndexedAndGraphicLoading) {
  TDirectDrawSurface s(16);
  s.SetSize(3, 1);
  const uint8_t pal[] = {0, 0, 255, 0, 255, 0, 0, 0};  // 0 red, 1 blue
  const uint8_t idx[] = {1, 0, 9};
  s.CopyFromIndexed(idx, 3, 3, 1, pal, 2);
  EXPECT_EQ(s.Pixels(0, 0), 0x001Fu);
  EXPECT_EQ(s.Pixels(1, 0), 0xF800u);
  EXPECT_EQ(s.Pixels(2, 0), 0u);  // past the palette: black

  // A 4 x 2 picture; load the rectangle (2, 1) .. (6, 3), half outside it.
  uint8_t pic[2][12];
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      pic[y][x * 3] = static_cast<uint8_t>(8 * (x + 1));  // blue
      pic[y][x * 3 + 1] = 0;
      pic[y][x * 3 + 2] = static_cast<uint8_t>(8 * (y + 1));  // red
    }
  s.LoadFromGraphic(&pic[0][0], 12, 4, 2, Rect(2, 1, 6, 3));
  EXPECT_EQ(s.Width(), 4);
  EXPECT_EQ(s.Height(), 2);
  EXPECT_EQ(s.Pixels(0, 0), s.ConvertRGB(16, 0, 24));
  EXPECT_EQ(s.Pixels(1, 0), s.ConvertRGB(16, 0, 32));
  EXPECT_EQ(s.Pixels(2, 0), 0u);
  EXPECT_EQ(s.Pixels(0, 1), 0u);
}

TEST(SurfaceLife, SizeLossAndRestore) {
  TDirectDraw dd(16);
  {
    TDirectDrawSurface a(&dd), b(&dd);
    EXPECT_EQ(dd.SurfaceCount(), 2);
    EXPECT_EQ(a.BitCount(), 16);
    EXPECT_EQ(a.Width(), 0);
    a.SetSize(5, 4);
    b.SetSize(5, 4);
    EXPECT_EQ(a.Width(), 5);
    EXPECT_EQ(a.Height(), 4);
    a.Fill(0x1111);
    dd.SimulateLoss();
    EXPECT_TRUE(a.IsLost());
    EXPECT_TRUE(b.IsLost());
    EXPECT_FALSE(a.Fill(0));
    EXPECT_EQ(a.LastResult(), DDERR_SURFACELOST);
    EXPECT_FALSE(b.Draw(0, 0, a.ClientRect(), &a, false));
    EXPECT_EQ(a.Pixels(0, 0), 0u);
    EXPECT_TRUE(a.Restore());
    EXPECT_FALSE(a.IsLost());
    EXPECT_TRUE(a.Fill(0x2222));
    EXPECT_EQ(a.Pixels(4, 3), 0x2222u);
    a.SetSize(0, 7);
    EXPECT_EQ(a.Width(), 0);
    EXPECT_EQ(a.Height(), 0);
    EXPECT_FALSE(a.Exists());
  }
  EXPECT_EQ(dd.SurfaceCount(), 0);
  // A surface may outlive its device.
  auto dev = std::make_unique<TDirectDraw>(32);
  TDirectDrawSurface c(dev.get());
  EXPECT_EQ(c.BitCount(), 32);
  dev.reset();
  EXPECT_EQ(c.DDraw(), nullptr);
  c.SetSize(2, 2);
  EXPECT_TRUE(c.Fill(5));
}

TEST(SurfaceLife, ImpossibleSizeRaisesTheSurfaceError) {
  TDirectDrawSurface s(32);
  try {
    s.SetSize(1 << 20, 1 << 20);
    FAIL() << "no error";
  } catch (const EDirectDrawSurfaceError& e) {
    EXPECT_STREQ(e.what(), "Surface cannot be made");
  }
  EXPECT_FALSE(s.Exists());
  EXPECT_THROW(TDirectDrawSurface(12), EDirectDrawSurfaceError);
}

TEST(SurfaceCanvas, HoldsTheSurfaceUntilReleased) {
  TDirectDrawSurface s(16), src(16);
  s.SetSize(10, 10);
  Pattern(src, 2, 2);
  TCanvas* c = s.Canvas();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(s.Canvas(), c);  // one canvas per surface
  EXPECT_FALSE(s.CanvasHeld());
  c->Brush.Color = clWhite;
  c->FillRect(Rect(2, 2, 4, 4));
  EXPECT_TRUE(s.CanvasHeld());
  // Copies and locks fail while the canvas holds the surface.
  EXPECT_FALSE(s.Draw(0, 0, src.ClientRect(), &src, false));
  EXPECT_EQ(s.LastResult(), DDERR_SURFACEBUSY);
  TDDSurfaceDesc d;
  EXPECT_FALSE(s.Lock(nullptr, d));
  s.ReleaseCanvas();
  EXPECT_FALSE(s.CanvasHeld());
  EXPECT_FALSE(c->HandleAllocated());
  EXPECT_EQ(s.Pixels(2, 2), 0xFFFFu);
  EXPECT_EQ(s.Pixels(3, 3), 0xFFFFu);
  EXPECT_EQ(s.Pixels(4, 4), 0u);
  EXPECT_TRUE(s.Draw(0, 0, src.ClientRect(), &src, false));
  // The canvas cannot take a locked surface.
  ASSERT_TRUE(s.Lock(nullptr, d));
  c->FillRect(Rect(0, 0, 10, 10));
  EXPECT_FALSE(s.CanvasHeld());
  s.Unlock();
  EXPECT_EQ(s.Pixels(9, 9), 0u);
  // ColorMatch gives the canvas back.
  c->FillRect(Rect(9, 9, 10, 10));
  EXPECT_TRUE(s.CanvasHeld());
  s.ColorMatch(clRed);
  EXPECT_FALSE(s.CanvasHeld());
}

TEST(SurfaceBuffer, ViewsThePixels) {
  TDirectDrawSurface s(16);
  EXPECT_EQ(s.Buffer().bits, nullptr);
  s.SetSize(7, 3);
  PixelBuffer b = s.Buffer();
  ASSERT_NE(b.bits, nullptr);
  EXPECT_EQ(b.width, 7);
  EXPECT_EQ(b.height, 3);
  EXPECT_EQ(b.bitCount, 16);
  EXPECT_EQ(b.pitch % 4, 0);
  EXPECT_GE(b.pitch, 14);
  reinterpret_cast<uint16_t*>(b.bits + b.pitch * 2)[6] = 0x4321;
  EXPECT_EQ(s.Pixels(6, 2), 0x4321u);
}

}  // namespace
