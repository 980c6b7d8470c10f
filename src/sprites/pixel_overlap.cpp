#include <algorithm>
#include <cstring>

#include "display/surface.h"
#include "sprites/image_sprite.h"

namespace {

// Holds a surface lock and gives it back on every way out.
class ScopedLock {
 public:
  explicit ScopedLock(TDirectDrawSurface* surface) : surface_(surface) {}
  ~ScopedLock() {
    if (held_) surface_->Unlock();
  }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;
  bool Lock(const TRect& r) {
    held_ = surface_->Lock(&r, desc_);
    return held_;
  }
  void Unlock() {
    if (held_) surface_->Unlock();
    held_ = false;
  }
  const TDDSurfaceDesc& Desc() const { return desc_; }

 private:
  TDirectDrawSurface* surface_;
  TDDSurfaceDesc desc_;
  bool held_ = false;
};

// One raw pixel as the colour key is written for the depth. 24-bit pixels are read lowest byte
// first, the way the surface stores raw values and keys, so that key pixels compare equal.
inline uint32_t ReadPixel(const uint8_t* p, int bitCount) {
  switch (bitCount) {
    case 8:
      return p[0];
    case 16: {
      uint16_t v;
      std::memcpy(&v, p, sizeof v);
      return v;
    }
    case 24:
      return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
             (static_cast<uint32_t>(p[2]) << 16);
    default: {
      uint32_t v;
      std::memcpy(&v, p, sizeof v);
      return v & 0xFFFFFFu;
    }
  }
}

// True when some pixel pair of the two w x h blocks is opaque on both sides.
bool AnyOpaquePair(const uint8_t* a, int pitchA, uint32_t keyA, const uint8_t* b, int pitchB,
                   uint32_t keyB, int w, int h, int bitCount) {
  if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) return false;
  const int bytes = bitCount / 8;
  if (bitCount == 32) {
    keyA &= 0xFFFFFFu;
    keyB &= 0xFFFFFFu;
  }
  for (int y = 0; y < h; ++y) {
    const uint8_t* rowA = a + static_cast<ptrdiff_t>(y) * pitchA;
    const uint8_t* rowB = b + static_cast<ptrdiff_t>(y) * pitchB;
    for (int x = 0; x < w; ++x) {
      if (ReadPixel(rowA + x * bytes, bitCount) != keyA &&
          ReadPixel(rowB + x * bytes, bitCount) != keyB) {
        return true;
      }
    }
  }
  return false;
}

TRect Intersect(const TRect& a, const TRect& b) {
  return TRect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
               std::min(a.Bottom, b.Bottom)};
}

}  // namespace

bool PixelOverlap(TDirectDrawSurface* surfaceA, TDirectDrawSurface* surfaceB, const TRect& rectA,
                  const TRect& rectB, int32_t xa, int32_t ya, int32_t xb, int32_t yb,
                  bool comparePixels) {
  // Rect B is placed relative to A's position; rect A stays at its own source position.
  const int32_t dx = SpriteAdd(xb, -xa);
  const int32_t dy = SpriteAdd(yb, -ya);
  const TRect placedB = Bounds(dx, dy, rectB.Width(), rectB.Height());
  const bool result = RectsOverlap(rectA, placedB);
  if (!surfaceA || !surfaceB) return result;
  if (!comparePixels || !result) return result;

  // The common area, in each pattern's own surface coordinates.
  TRect r1 =
      Intersect(Bounds(std::max(dx, 0), std::max(dy, 0), rectA.Width(), rectA.Height()), rectA);
  TRect r2 =
      Intersect(Bounds(std::max(-dx, 0), std::max(-dy, 0), rectB.Width(), rectB.Height()), rectB);
  const int32_t w = std::min(r1.Width(), r2.Width());
  const int32_t h = std::min(r1.Height(), r2.Height());
  if (w <= 0 || h <= 0) return false;  // nothing to lock: no pixel can meet
  r1 = Bounds(r1.Left, r1.Top, w, h);
  r2 = Bounds(r2.Left, r2.Top, w, h);

  if (surfaceA == surfaceB) {
    // Locks do not nest, so one lock spans both blocks and each block is addressed inside it;
    // reading B's pixels through A's block would compare the wrong part of the picture.
    const TRect span{std::min(r1.Left, r2.Left), std::min(r1.Top, r2.Top),
                     std::max(r1.Right, r2.Right), std::max(r1.Bottom, r2.Bottom)};
    ScopedLock lock(surfaceA);
    if (!lock.Lock(span)) return false;
    const TDDSurfaceDesc& d = lock.Desc();
    const int bitCount = d.PixelFormat.BitCount;
    const int bytes = bitCount / 8;
    const uint8_t* a = d.Bits + static_cast<ptrdiff_t>(r1.Top - span.Top) * d.Pitch +
                       (r1.Left - span.Left) * bytes;
    const uint8_t* b = d.Bits + static_cast<ptrdiff_t>(r2.Top - span.Top) * d.Pitch +
                       (r2.Left - span.Left) * bytes;
    return AnyOpaquePair(a, d.Pitch, d.ColorKeyLow, b, d.Pitch, d.ColorKeyLow, w, h, bitCount);
  }

  ScopedLock lockA(surfaceA);
  if (!lockA.Lock(r1)) return false;
  ScopedLock lockB(surfaceB);
  if (!lockB.Lock(r2)) return false;  // lockA is released on the way out
  const TDDSurfaceDesc& da = lockA.Desc();
  const TDDSurfaceDesc& db = lockB.Desc();
  bool hit;
  if (da.PixelFormat.BitCount != db.PixelFormat.BitCount) {
    hit = true;  // nothing sensible to compare: count it as a collision
  } else {
    hit = AnyOpaquePair(da.Bits, da.Pitch, da.ColorKeyLow, db.Bits, db.Pitch, db.ColorKeyLow, w, h,
                        da.PixelFormat.BitCount);
  }
  lockB.Unlock();  // B first, then A
  lockA.Unlock();
  return hit;
}
