// Pixel-exact overlap of two patterns.
#include <gtest/gtest.h>

#include <memory>

#include "display/surface.h"
#include "sprites/image_sprite.h"

namespace {

constexpr uint32_t kKey16 = 0xF81F;  // magenta in RGB565

// A w x h surface of `bits` bits, all pixels the key, with the key set.
std::unique_ptr<TDirectDrawSurface> KeyedSurface(int w, int h, int bits, uint32_t key) {
  auto s = std::make_unique<TDirectDrawSurface>(bits);
  s->SetSize(w, h);
  s->SetColorKey(key);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) s->SetPixel(x, y, key);
  }
  return s;
}

}  // namespace

TEST(PixelOverlapTest, WithoutSurfacesTheRectanglesDecide) {
  const TRect r = Rect(0, 0, 10, 10);
  EXPECT_TRUE(PixelOverlap(nullptr, nullptr, r, r, 0, 0, 9, 9, true));
  EXPECT_FALSE(PixelOverlap(nullptr, nullptr, r, r, 0, 0, 10, 0, true));  // edges touch
  auto a = KeyedSurface(10, 10, 16, kKey16);
  EXPECT_TRUE(PixelOverlap(a.get(), nullptr, r, r, 0, 0, 5, 5, true));  // all transparent, no B
}

TEST(PixelOverlapTest, WithoutComparisonOverlappingRectanglesCollide) {
  auto a = KeyedSurface(10, 10, 16, kKey16);
  auto b = KeyedSurface(10, 10, 16, kKey16);
  const TRect r = Rect(0, 0, 10, 10);
  EXPECT_TRUE(PixelOverlap(a.get(), b.get(), r, r, 0, 0, 5, 5, false));
  EXPECT_FALSE(PixelOverlap(a.get(), b.get(), r, r, 0, 0, 5, 5, true));
  EXPECT_FALSE(a->Locked());
  EXPECT_FALSE(b->Locked());
}

TEST(PixelOverlapTest, OnlyOpaquePixelsOnBothSidesCollide) {
  auto a = KeyedSurface(10, 10, 16, kKey16);
  auto b = KeyedSurface(10, 10, 16, kKey16);
  const TRect r = Rect(0, 0, 10, 10);
  // A at (10, 10), B at (15, 12): B's (0, 0) lies on A's (5, 2).
  a->SetPixel(5, 2, 0x0000);                                                 // black is opaque here
  EXPECT_FALSE(PixelOverlap(a.get(), b.get(), r, r, 10, 10, 15, 12, true));  // B transparent
  b->SetPixel(1, 0, 0xFFFF);
  EXPECT_FALSE(PixelOverlap(a.get(), b.get(), r, r, 10, 10, 15, 12, true));  // they miss
  b->SetPixel(0, 0, 0x07E0);
  EXPECT_TRUE(PixelOverlap(a.get(), b.get(), r, r, 10, 10, 15, 12, true));
  // The same pair seen from B's side.
  EXPECT_TRUE(PixelOverlap(b.get(), a.get(), r, r, 15, 12, 10, 10, true));
  // One pixel further apart they no longer meet.
  EXPECT_FALSE(PixelOverlap(a.get(), b.get(), r, r, 10, 10, 16, 12, true));
  EXPECT_FALSE(PixelOverlap(a.get(), b.get(), r, r, 10, 10, 15, 13, true));
  EXPECT_FALSE(a->Locked());
  EXPECT_FALSE(b->Locked());
}

TEST(PixelOverlapTest, EachSurfaceUsesItsOwnKey) {
  auto a = KeyedSurface(4, 4, 16, kKey16);
  auto b = KeyedSurface(4, 4, 16, 0x0000);  // black is B's key
  const TRect r = Rect(0, 0, 4, 4);
  a->SetPixel(0, 0, 0x0000);  // opaque on A
  EXPECT_FALSE(PixelOverlap(a.get(), b.get(), r, r, 0, 0, 0, 0, true));
  b->SetPixel(0, 0, kKey16);  // A's key, but opaque on B
  EXPECT_TRUE(PixelOverlap(a.get(), b.get(), r, r, 0, 0, 0, 0, true));
}

TEST(PixelOverlapTest, DifferentBitDepthsCollide) {
  auto a = KeyedSurface(8, 8, 16, kKey16);
  auto b = KeyedSurface(8, 8, 32, 0x00FF00FF);
  const TRect r = Rect(0, 0, 8, 8);
  EXPECT_TRUE(PixelOverlap(a.get(), b.get(), r, r, 0, 0, 4, 4, true));
  EXPECT_FALSE(a->Locked());
  EXPECT_FALSE(b->Locked());
  // Depth only matters once the rectangles overlap.
  EXPECT_FALSE(PixelOverlap(a.get(), b.get(), r, r, 0, 0, 8, 0, true));
}

TEST(PixelOverlapTest, AFailedLockDoesNotCollide) {
  auto a = KeyedSurface(8, 8, 16, kKey16);
  auto b = KeyedSurface(8, 8, 16, kKey16);
  a->SetPixel(2, 2, 0);
  b->SetPixel(2, 2, 0);
  const TRect r = Rect(0, 0, 8, 8);
  ASSERT_TRUE(PixelOverlap(a.get(), b.get(), r, r, 0, 0, 0, 0, true));

  TDDSurfaceDesc d;
  ASSERT_TRUE(b->Lock(nullptr, d));  // B is busy: its second lock fails
  EXPECT_FALSE(PixelOverlap(a.get(), b.get(), r, r, 0, 0, 0, 0, true));
  EXPECT_FALSE(a->Locked());  // A was given back
  b->Unlock();

  a->SimulateLoss();  // A cannot be locked at all
  EXPECT_FALSE(PixelOverlap(a.get(), b.get(), r, r, 0, 0, 0, 0, true));
  EXPECT_FALSE(b->Locked());
  // The rectangle result still answers when no comparison is asked for.
  EXPECT_TRUE(PixelOverlap(a.get(), b.get(), r, r, 0, 0, 0, 0, false));
}

TEST(PixelOverlapTest, TwoPatternsOnTheSameSurfaceCompareTheirOwnPixels) {
  // A 4 x 1 picture opaque only at x = 2, used by both sprites.
  auto s = KeyedSurface(4, 1, 16, kKey16);
  s->SetPixel(2, 0, 0);
  const TRect r = Rect(0, 0, 4, 1);
  // B two pixels right of A: A's x 2, 3 meet B's x 0, 1 - all of B's are transparent there.
  EXPECT_FALSE(PixelOverlap(s.get(), s.get(), r, r, 0, 0, 2, 0, true));
  // B at A's place: the opaque pixels meet.
  EXPECT_TRUE(PixelOverlap(s.get(), s.get(), r, r, 0, 0, 0, 0, true));
  // B two pixels left of A: A's x 0, 1 meet B's x 2, 3: A is transparent there.
  EXPECT_FALSE(PixelOverlap(s.get(), s.get(), r, r, 2, 0, 0, 0, true));
  EXPECT_FALSE(s->Locked());
}

TEST(PixelOverlapTest, EveryComparedDepthHonoursTheKey) {
  for (int bits : {8, 24, 32}) {
    SCOPED_TRACE(bits);
    const uint32_t key = bits == 8 ? 7u : 0x123456u;
    const uint32_t opaque = bits == 8 ? 9u : 0x654321u;
    auto a = KeyedSurface(6, 6, bits, key);
    auto b = KeyedSurface(6, 6, bits, key);
    const TRect r = Rect(0, 0, 6, 6);
    EXPECT_FALSE(PixelOverlap(a.get(), b.get(), r, r, 0, 0, 1, 1, true));
    a->SetPixel(4, 4, opaque);
    b->SetPixel(3, 3, opaque);
    EXPECT_TRUE(PixelOverlap(a.get(), b.get(), r, r, 0, 0, 1, 1, true));
    EXPECT_FALSE(PixelOverlap(a.get(), b.get(), r, r, 0, 0, 2, 1, true));
  }
}

TEST(PixelOverlapTest, OnlyTheCommonAreaIsCompared) {
  // A 10 x 10 opaque everywhere except its 3 x 3 bottom-right corner; B 3 x 3 fully opaque.
  auto a = KeyedSurface(10, 10, 16, kKey16);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      if (x < 7 || y < 7) a->SetPixel(x, y, 0x1234);
    }
  }
  auto b = KeyedSurface(3, 3, 16, kKey16);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) b->SetPixel(x, y, 0x4321);
  }
  const TRect ra = Rect(0, 0, 10, 10), rb = Rect(0, 0, 3, 3);
  EXPECT_FALSE(PixelOverlap(a.get(), b.get(), ra, rb, 100, 100, 107, 107, true));
  EXPECT_TRUE(PixelOverlap(a.get(), b.get(), ra, rb, 100, 100, 106, 107, true));
  // B hanging over A's bottom-right edge: only the corner part inside A is compared.
  EXPECT_FALSE(PixelOverlap(a.get(), b.get(), ra, rb, 100, 100, 108, 108, true));
}
