// The software draws of image items: additive stretching and rotation. Both pick one span
// routine per draw (destination format x blend x colour key) and then run whole spans, so the
// inner loops never ask which mode they are in.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "display/imagelist.h"

namespace {

bool simdSpans = true;  // see SetSoftwareDrawSimd

// ---------------------------------------------------------------------------------------------
// Pixel access of a locked surface.

// One RGB channel: its bits moved so that the top one lands on bit 7 of a byte (low bits zero),
// and back by the reverse shift keeping only the mask's bits.
struct Chan {
  uint32_t mask = 0;
  int shift = 0;  // > 0: shift right to read; < 0: shift left to read

  static Chan Of(uint32_t mask) {
    Chan c;
    c.mask = mask;
    if (mask != 0) c.shift = (31 - std::countl_zero(mask)) - 7;
    return c;
  }
  uint32_t Get(uint32_t p) const {
    uint32_t v = p & mask;
    return (shift >= 0 ? v >> shift : v << -shift) & 0xFF;
  }
  uint32_t Put(uint32_t v) const { return (shift >= 0 ? v << shift : v >> -shift) & mask; }
};

struct Format {
  bool indexed = false;
  int bytes = 0;  // bytes per pixel (1, 2, 3, 4); 0 when the span routines cannot handle it
  Chan r, g, b;
  uint32_t alphaMask = 0;

  static Format Of(const TDDPixelFormat& pf) {
    Format f;
    f.indexed = (pf.Flags & DDPF_RGB) == 0;
    if (pf.BitCount == 8 || pf.BitCount == 16 || pf.BitCount == 24 || pf.BitCount == 32)
      f.bytes = pf.BitCount / 8;
    f.r = Chan::Of(pf.RBitMask);
    f.g = Chan::Of(pf.GBitMask);
    f.b = Chan::Of(pf.BBitMask);
    f.alphaMask = pf.AlphaBitMask;
    return f;
  }
};

template <int B>
inline uint32_t Load(const uint8_t* p) {
  if constexpr (B == 1) {
    return *p;
  } else if constexpr (B == 2) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
  } else if constexpr (B == 3) {
    return p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16);
  } else {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
}

template <int B>
inline void Store(uint8_t* p, uint32_t v) {
  if constexpr (B == 1) {
    *p = static_cast<uint8_t>(v);
  } else if constexpr (B == 2) {
    auto w = static_cast<uint16_t>(v);
    std::memcpy(p, &w, 2);
  } else if constexpr (B == 3) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
  } else {
    std::memcpy(p, &v, 4);
  }
}

// Saturation table for sums of two channel values (0..510 -> min(value, 255)).
struct SaturationTable {
  std::array<uint8_t, 512> sum{};
  SaturationTable() {
    for (int i = 0; i < 512; ++i)
      sum[static_cast<size_t>(i)] = static_cast<uint8_t>(std::min(i, 255));
  }
};
const SaturationTable& Saturate() {
  static const SaturationTable table;
  return table;
}

// What a span needs besides its pixels: formats, key, alpha.
struct SpanContext {
  Format dst, src;
  uint32_t key = 0;
  uint32_t keyMask = 0xFFFFFFFF;  // raw bits compared with the key (alpha bits left out)
  int alpha = 256;
  const uint8_t* sat = nullptr;
};

// Blends. Each one combines a destination raw pixel with a source raw pixel.
struct OpCopy {
  static uint32_t Apply(const SpanContext&, uint32_t, uint32_t s) { return s; }
};
struct OpAdd {
  static uint32_t Apply(const SpanContext& c, uint32_t d, uint32_t s) {
    const uint8_t* t = c.sat;
    return c.dst.r.Put(t[c.dst.r.Get(d) + c.src.r.Get(s)]) |
           c.dst.g.Put(t[c.dst.g.Get(d) + c.src.g.Get(s)]) |
           c.dst.b.Put(t[c.dst.b.Get(d) + c.src.b.Get(s)]);
  }
};
struct OpAddAlpha {
  static uint32_t Apply(const SpanContext& c, uint32_t d, uint32_t s) {
    const uint8_t* t = c.sat;
    const uint32_t a = static_cast<uint32_t>(c.alpha);
    return c.dst.r.Put(t[c.dst.r.Get(d) + ((c.src.r.Get(s) * a) >> 8)]) |
           c.dst.g.Put(t[c.dst.g.Get(d) + ((c.src.g.Get(s) * a) >> 8)]) |
           c.dst.b.Put(t[c.dst.b.Get(d) + ((c.src.b.Get(s) * a) >> 8)]);
  }
};
// RGB565 on both sides: the same channel arithmetic with the masks known at compile time.
struct OpAdd565 {
  static uint32_t Apply(const SpanContext& c, uint32_t d, uint32_t s) {
    const uint8_t* t = c.sat;
    uint32_t r = t[((d & 0xF800) >> 8) + ((s & 0xF800) >> 8)];
    uint32_t g = t[((d & 0x07E0) >> 3) + ((s & 0x07E0) >> 3)];
    uint32_t b = t[((d & 0x001F) << 3) + ((s & 0x001F) << 3)];
    return ((r << 8) & 0xF800) | ((g << 3) & 0x07E0) | (b >> 3);
  }
};
struct OpAddAlpha565 {
  static uint32_t Apply(const SpanContext& c, uint32_t d, uint32_t s) {
    const uint8_t* t = c.sat;
    const uint32_t a = static_cast<uint32_t>(c.alpha);
    uint32_t r = t[((d & 0xF800) >> 8) + ((((s & 0xF800) >> 8) * a) >> 8)];
    uint32_t g = t[((d & 0x07E0) >> 3) + ((((s & 0x07E0) >> 3) * a) >> 8)];
    uint32_t b = t[((d & 0x001F) << 3) + ((((s & 0x001F) << 3) * a) >> 8)];
    return ((r << 8) & 0xF800) | ((g << 3) & 0x07E0) | (b >> 3);
  }
};

// A span: n destination pixels from `dst` on, sampling the source at (u >> 16, v >> 16) with
// (u, v) stepping by (du, dv). `srcBits`/`srcPitch` address the source surface's (0, 0).
using SpanFn = void (*)(const SpanContext& c, uint8_t* dst, int64_t n, const uint8_t* srcBits,
                        int64_t srcPitch, int64_t u, int64_t v, int64_t du, int64_t dv);

template <int B, class Op, bool Keyed>
void Span(const SpanContext& c, uint8_t* dst, int64_t n, const uint8_t* srcBits, int64_t srcPitch,
          int64_t u, int64_t v, int64_t du, int64_t dv) {
  for (int64_t i = 0; i < n; ++i, dst += B, u += du, v += dv) {
    const uint32_t s = Load<B>(srcBits + (v >> 16) * srcPitch + (u >> 16) * B);
    if constexpr (Keyed) {
      if ((s & c.keyMask) == c.key) continue;
    }
    if constexpr (std::is_same_v<Op, OpCopy>) {
      Store<B>(dst, s);
    } else {
      Store<B>(dst, Op::Apply(c, Load<B>(dst), s));
    }
  }
}

template <class Op, bool Keyed>
SpanFn PickBytes(int bytes) {
  switch (bytes) {
    case 1:
      return &Span<1, Op, Keyed>;
    case 2:
      return &Span<2, Op, Keyed>;
    case 3:
      return &Span<3, Op, Keyed>;
    case 4:
      return &Span<4, Op, Keyed>;
    default:
      return nullptr;
  }
}

template <class Op>
SpanFn PickKey(int bytes, bool keyed) {
  return keyed ? PickBytes<Op, true>(bytes) : PickBytes<Op, false>(bytes);
}

bool Is565(const Format& f) {
  return !f.indexed && f.bytes == 2 && f.r.mask == 0xF800 && f.g.mask == 0x07E0 &&
         f.b.mask == 0x001F;
}

enum class Blend { Copy, Add, AddAlpha };

SpanFn PickSpan(const SpanContext& c, Blend blend, bool keyed) {
  // Source and destination are made on one device and share the pixel size; anything else is
  // outside what the raw copies can pair up.
  if (c.dst.bytes == 0 || c.dst.bytes != c.src.bytes) return nullptr;
  const bool fast = Is565(c.dst) && Is565(c.src);
  switch (blend) {
    case Blend::Copy:
      return PickKey<OpCopy>(c.dst.bytes, keyed);
    case Blend::Add:
      return fast ? PickKey<OpAdd565>(2, keyed) : PickKey<OpAdd>(c.dst.bytes, keyed);
    case Blend::AddAlpha:
      return fast ? PickKey<OpAddAlpha565>(2, keyed) : PickKey<OpAddAlpha>(c.dst.bytes, keyed);
  }
  return nullptr;
}

// Holds the two locks of a software draw and gives both back however the draw ends.
class LockPair {
 public:
  LockPair(TDirectDrawSurface* dest, TDirectDrawSurface* src) : dest_(dest), src_(src) {
    destLocked_ = dest_->Lock(nullptr, destDesc);
    if (destLocked_ && src_ != dest_) srcLocked_ = src_->Lock(nullptr, srcDesc);
  }
  ~LockPair() {
    if (srcLocked_) src_->Unlock();
    if (destLocked_) dest_->Unlock();
  }
  LockPair(const LockPair&) = delete;
  LockPair& operator=(const LockPair&) = delete;
  bool Ok() const { return destLocked_ && srcLocked_; }
  TDDSurfaceDesc destDesc, srcDesc;

 private:
  TDirectDrawSurface* dest_;
  TDirectDrawSurface* src_;
  bool destLocked_ = false;
  bool srcLocked_ = false;
};

SpanContext MakeContext(const LockPair& locks, bool transparent, int alpha) {
  SpanContext c;
  c.dst = Format::Of(locks.destDesc.PixelFormat);
  c.src = Format::Of(locks.srcDesc.PixelFormat);
  c.keyMask = ~c.src.alphaMask;
  c.key = locks.srcDesc.ColorKeyLow & c.keyMask;
  c.alpha = alpha;
  c.sat = Saturate().sum.data();
  (void)transparent;
  return c;
}

bool PatternInside(const TRect& r, const TDirectDrawSurface* s) {
  return r.Left >= 0 && r.Top >= 0 && r.Right <= s->Width() && r.Bottom <= s->Height() &&
         r.Left < r.Right && r.Top < r.Bottom;
}

// cos(2 pi k / 256) for k = 0..255, in double precision.
const std::array<double, 256>& CosTable() {
  static const std::array<double, 256> table = [] {
    std::array<double, 256> t{};
    for (int k = 0; k < 256; ++k)
      t[static_cast<size_t>(k)] = std::cos(2.0 * std::numbers::pi * k / 256.0);
    return t;
  }();
  return table;
}

int64_t Trunc(double v) { return static_cast<int64_t>(v); }

// RGB565 additive rows, eight pixels at a time. The source row is first sampled into a packed
// run (the sampled columns are the same on every row, so they are worked out once per draw);
// then each channel is widened to its 8-bit value, scaled by alpha (when below 255), added with
// saturation at 255 and narrowed back: the same arithmetic as OpAdd565 / OpAddAlpha565.
class Additive565Rows {
 public:
  Additive565Rows(int64_t width, int64_t u0, int64_t stepX, int alpha, bool keyed, uint32_t key)
      : width_(width), alpha_(alpha), keyed_(keyed), cols_(Cols()), run_(Run()) {
    // The buffers are kept from draw to draw: no allocation once they are large enough.
    if (cols_.size() < static_cast<size_t>(width)) {
      cols_.resize(static_cast<size_t>(width));
      run_.resize(static_cast<size_t>(width));
    }
    for (int64_t i = 0; i < width; ++i)
      cols_[static_cast<size_t>(i)] = static_cast<int32_t>((u0 + stepX * i) >> 16);
    // A key outside the 16-bit range matches no pixel.
    if (key > 0xFFFF) keyed_ = false;
    key_ = static_cast<uint16_t>(key);
  }

  void Row(uint8_t* dst, const uint8_t* srcRow) {
    const auto* s = reinterpret_cast<const uint16_t*>(srcRow);
    uint16_t* run = run_.data();
    for (int64_t i = 0; i < width_; ++i) run[i] = s[cols_[static_cast<size_t>(i)]];
    int64_t i = 0;
#if defined(__SSE2__)
    {
      const __m128i a = _mm_set1_epi16(static_cast<int16_t>(alpha_));
      const __m128i key = _mm_set1_epi16(static_cast<int16_t>(key_));
      const __m128i cap = _mm_set1_epi16(255);
      const __m128i m8 = _mm_set1_epi16(0xF8), m6 = _mm_set1_epi16(0xFC);
      const __m128i outR = _mm_set1_epi16(static_cast<int16_t>(0xF800));
      const __m128i outG = _mm_set1_epi16(0x07E0), outB = _mm_set1_epi16(0x001F);
      const bool scaled = alpha_ < 255;
      for (; i + 8 <= width_; i += 8) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run + i));
        __m128i* dp = reinterpret_cast<__m128i*>(dst + i * 2);
        const __m128i dv = _mm_loadu_si128(dp);
        __m128i sr = _mm_and_si128(_mm_srli_epi16(sv, 8), m8);
        __m128i sg = _mm_and_si128(_mm_srli_epi16(sv, 3), m6);
        __m128i sb = _mm_and_si128(_mm_slli_epi16(sv, 3), m8);
        if (scaled) {
          // At most 248 x 254: the products fit in 16 unsigned bits, shifted logically.
          sr = _mm_srli_epi16(_mm_mullo_epi16(sr, a), 8);
          sg = _mm_srli_epi16(_mm_mullo_epi16(sg, a), 8);
          sb = _mm_srli_epi16(_mm_mullo_epi16(sb, a), 8);
        }
        const __m128i r =
            _mm_min_epi16(_mm_add_epi16(_mm_and_si128(_mm_srli_epi16(dv, 8), m8), sr), cap);
        const __m128i g =
            _mm_min_epi16(_mm_add_epi16(_mm_and_si128(_mm_srli_epi16(dv, 3), m6), sg), cap);
        const __m128i b =
            _mm_min_epi16(_mm_add_epi16(_mm_and_si128(_mm_slli_epi16(dv, 3), m8), sb), cap);
        __m128i out = _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_slli_epi16(r, 8), outR),
                                                _mm_and_si128(_mm_slli_epi16(g, 3), outG)),
                                   _mm_and_si128(_mm_srli_epi16(b, 3), outB));
        if (keyed_) {
          const __m128i skip = _mm_cmpeq_epi16(sv, key);
          out = _mm_or_si128(_mm_and_si128(skip, dv), _mm_andnot_si128(skip, out));
        }
        _mm_storeu_si128(dp, out);
      }
    }
#endif
    // The tail (and every pixel where SSE2 is missing), one pixel at a time.
    const uint8_t* t = Saturate().sum.data();
    const auto a = static_cast<uint32_t>(alpha_);
    for (; i < width_; ++i) {
      const uint32_t sp = run[i];
      if (keyed_ && sp == key_) continue;
      uint16_t dp;
      std::memcpy(&dp, dst + i * 2, 2);
      const uint32_t d = dp;
      uint32_t sr = (sp & 0xF800) >> 8, sg = (sp & 0x07E0) >> 3, sb = (sp & 0x001F) << 3;
      if (alpha_ < 255) {
        sr = (sr * a) >> 8;
        sg = (sg * a) >> 8;
        sb = (sb * a) >> 8;
      }
      const uint32_t r = t[((d & 0xF800) >> 8) + sr];
      const uint32_t g = t[((d & 0x07E0) >> 3) + sg];
      const uint32_t b = t[((d & 0x001F) << 3) + sb];
      const auto out = static_cast<uint16_t>(((r << 8) & 0xF800) | ((g << 3) & 0x07E0) | (b >> 3));
      std::memcpy(dst + i * 2, &out, 2);
    }
  }

 private:
  // The software draws run on the window thread only (one shared renderer).
  static std::vector<int32_t>& Cols() {
    static std::vector<int32_t> v;
    return v;
  }
  static std::vector<uint16_t>& Run() {
    static std::vector<uint16_t> v;
    return v;
  }

  int64_t width_;
  int alpha_;
  bool keyed_;
  uint16_t key_ = 0;
  std::vector<int32_t>& cols_;  // source column of each destination column
  std::vector<uint16_t>& run_;  // the sampled source row
};

}  // namespace

void SetSoftwareDrawSimd(bool on) { simdSpans = on; }
bool SoftwareDrawSimd() { return simdSpans; }

void TPictureCollectionItem::DrawAdditive(TDirectDrawSurface* dest, const TRect& destRect,
                                          int patternIndex, int alpha) {
  if (!initialized_ || dest == nullptr || patternIndex < 0 || patternIndex >= PatternCount())
    return;
  const TPictureCollectionItemPattern& pat = patterns_[static_cast<size_t>(patternIndex)];
  TDirectDrawSurface* src = pat.Surface;
  if (dest->Width() == 0 || dest->Height() == 0 || src == nullptr || !src->Exists() || alpha <= 0)
    return;
  if (destRect.Left >= destRect.Right || destRect.Top >= destRect.Bottom) return;
  const TRect& sr = pat.Rect;
  if (!PatternInside(sr, src)) return;

  // Clip to the destination, remembering how many columns and rows fell off the left and top.
  const int64_t dw = dest->Width(), dh = dest->Height();
  int64_t left = destRect.Left, top = destRect.Top;
  int64_t skipX = 0, skipY = 0;
  if (left < 0) {
    skipX = -left;
    left = 0;
  }
  if (top < 0) {
    skipY = -top;
    top = 0;
  }
  const int64_t right = std::min<int64_t>(destRect.Right, dw);
  const int64_t bottom = std::min<int64_t>(destRect.Bottom, dh);
  if (right < 1 || right - left < 1 || bottom < 1 || bottom - top < 1) return;
  const int64_t width = right - left, height = bottom - top;

  const int64_t stepX = (static_cast<int64_t>(sr.Width()) * 65536) / destRect.Width();
  const int64_t stepY = (static_cast<int64_t>(sr.Height()) * 65536) / destRect.Height();
  const int64_t u0 = stepX * skipX + static_cast<int64_t>(sr.Left) * 65536;
  const int64_t v0 = stepY * skipY + static_cast<int64_t>(sr.Top) * 65536;
  if (u0 < 0 || v0 < 0 || ((u0 + stepX * width) >> 16) > src->Width() ||
      ((v0 + stepY * height) >> 16) > src->Height())
    return;

  LockPair locks(dest, src);
  if (!locks.Ok()) return;
  SpanContext c = MakeContext(locks, Transparent, alpha);
  const bool keyed = Transparent && locks.srcDesc.HasColorKey;
  Blend blend = c.dst.indexed ? Blend::Copy : (alpha >= 255 ? Blend::Add : Blend::AddAlpha);
  SpanFn span = PickSpan(c, blend, keyed);
  if (span == nullptr) return;

  const TDDSurfaceDesc& d = locks.destDesc;
  const TDDSurfaceDesc& s = locks.srcDesc;
  int64_t v = v0;
  if (simdSpans && blend != Blend::Copy && Is565(c.dst) && Is565(c.src)) {
    Additive565Rows rows(width, u0, stepX, alpha, keyed, c.key);
    for (int64_t y = top; y < bottom; ++y, v += stepY)
      rows.Row(d.Bits + y * d.Pitch + left * 2, s.Bits + (v >> 16) * s.Pitch);
    return;
  }
  for (int64_t y = top; y < bottom; ++y, v += stepY) {
    uint8_t* row = d.Bits + y * d.Pitch + left * c.dst.bytes;
    span(c, row, width, s.Bits, s.Pitch, u0, v, stepX, 0);
  }
}

void TPictureCollectionItem::DrawRotated(TDirectDrawSurface* dest, int x, int y, int width,
                                         int height, int patternIndex, double centerX,
                                         double centerY, int angle) {
  if (!initialized_ || dest == nullptr || patternIndex < 0 || patternIndex >= PatternCount())
    return;
  const TPictureCollectionItemPattern& pat = patterns_[static_cast<size_t>(patternIndex)];
  TDirectDrawSurface* src = pat.Surface;
  if (dest->Width() == 0 || dest->Height() == 0 || width == 0 || height == 0 || src == nullptr ||
      !src->Exists())
    return;
  const TRect& sr = pat.Rect;
  if (!PatternInside(sr, src)) return;

  const std::array<double, 256>& T = CosTable();
  const int a8 = ((angle % 256) + 256) % 256;
  const double cosA = T[static_cast<size_t>(a8)];
  const double sinA = T[static_cast<size_t>((a8 + 192) % 256)];

  // Screen corners of the turned rectangle, and their bounding box clamped to the destination.
  const int64_t dw = dest->Width(), dh = dest->Height();
  int64_t minX = INT64_MAX, minY = INT64_MAX, maxX = INT64_MIN, maxY = INT64_MIN;
  const double corners[4][2] = {{0, 0},
                                {static_cast<double>(width), 0},
                                {0, static_cast<double>(height)},
                                {static_cast<double>(width), static_cast<double>(height)}};
  for (const auto& corner : corners) {
    const double a = static_cast<double>(Trunc(corner[0] - width * centerX));
    const double b = static_cast<double>(Trunc(corner[1] - height * centerY));
    const int64_t sx = x + Trunc(a * cosA - b * sinA);
    const int64_t sy = y + Trunc(a * sinA + b * cosA);
    minX = std::min(minX, sx);
    maxX = std::max(maxX, sx);
    minY = std::min(minY, sy);
    maxY = std::max(maxY, sy);
  }
  minX = std::max<int64_t>(minX, 0);
  minY = std::max<int64_t>(minY, 0);
  maxX = std::min(maxX, dw);
  maxY = std::min(maxY, dh);
  if (minX > dw || minY > dh || minX >= maxX || minY >= maxY) return;

  // Inverse mapping, 16.16: per destination column and per destination row.
  const int back = (256 - a8) % 256;
  const int64_t kc = Trunc(65536.0 * T[static_cast<size_t>(back)]);
  const int64_t ks = Trunc(65536.0 * T[static_cast<size_t>((back + 192) % 256)]);
  const int64_t srcW = sr.Width(), srcH = sr.Height();
  const int64_t uStepX = (srcW * kc) / width;
  const int64_t vStepX = (srcH * ks) / height;
  const int64_t uStepY = (srcW * ks) / width;
  const int64_t vStepY = (srcH * kc) / height;

  int64_t rowU = Trunc(centerX * static_cast<double>(srcW) * 65536.0) + (minX - x) * uStepX +
                 (y - minY) * uStepY + static_cast<int64_t>(sr.Left) * 65536;
  int64_t rowV = Trunc(centerY * static_cast<double>(srcH) * 65536.0) + (minX - x) * vStepX -
                 (y - minY) * vStepY + static_cast<int64_t>(sr.Top) * 65536;

  LockPair locks(dest, src);
  if (!locks.Ok()) return;
  SpanContext c = MakeContext(locks, Transparent, 256);
  SpanFn span = PickSpan(c, Blend::Copy, Transparent && locks.srcDesc.HasColorKey);
  if (span == nullptr) return;

  const int64_t L = static_cast<int64_t>(sr.Left) * 65536,
                R = static_cast<int64_t>(sr.Right) * 65536;
  const int64_t Tp = static_cast<int64_t>(sr.Top) * 65536,
                B = static_cast<int64_t>(sr.Bottom) * 65536;
  const TDDSurfaceDesc& d = locks.destDesc;
  const TDDSurfaceDesc& s = locks.srcDesc;
  for (int64_t row = minY; row < maxY; ++row, rowU -= uStepY, rowV += vStepY) {
    int64_t u = rowU, v = rowV;
    // Columns before the pattern starts on this row.
    int64_t S = 0;
    if (uStepX > 0 && u < L) S = (L + uStepX - u - 1) / uStepX;
    if (uStepX < 0 && u >= R) S = (R + uStepX - u) / uStepX;
    if (vStepX > 0 && v < Tp) S = std::max(S, (Tp + vStepX - v - 1) / vStepX);
    if (vStepX < 0 && v >= B) S = std::max(S, (B + vStepX - v) / vStepX);
    u += S * uStepX;
    v += S * vStepX;
    // Columns while the pattern lasts. A coordinate that does not move along the row must
    // already be inside the pattern, or the whole row would sample outside it.
    int64_t n = uStepX < 0 ? (u - L) / (-uStepX) : (R - u) / std::max<int64_t>(uStepX, 1);
    n = std::min(n, vStepX < 0 ? (v - Tp) / (-vStepX) : (B - v) / std::max<int64_t>(vStepX, 1));
    if ((uStepX == 0 && (u < L || u >= R)) || (vStepX == 0 && (v < Tp || v >= B))) n = 0;
    n = std::min(n, dw - S - minX);
    if (n <= 0) continue;
    uint8_t* out = d.Bits + row * d.Pitch + (minX + S) * c.dst.bytes;
    span(c, out, n, s.Bits, s.Pitch, u, v, uStepX, vStepX);
  }
}
