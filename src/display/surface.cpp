#include "display/surface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "toolkit/canvas.h"
#include "toolkit/translate.h"

// ---------------------------------------------------------------------------------------------
// Device

TDirectDraw::TDirectDraw(int bitCount) : bitCount_(bitCount) {}

TDirectDraw::~TDirectDraw() {
  // Surfaces may outlive the device (image lists free theirs on the finalising notice, but a
  // stray one must not point at a dead device).
  for (TDirectDrawSurface* s : surfaces_) s->ddraw_ = nullptr;
}

void TDirectDraw::SimulateLoss() {
  for (TDirectDrawSurface* s : surfaces_) s->SimulateLoss();
}

// ---------------------------------------------------------------------------------------------
// Pixel helpers

namespace {

bool ValidDepth(int bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// One raw pixel at column x of a row, any supported depth.
inline uint32_t GetRaw(const uint8_t* row, int x, int bits) {
  switch (bits) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4:
      return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    case 8:
      return row[x];
    case 16: {
      uint16_t v;
      std::memcpy(&v, row + x * 2, 2);
      return v;
    }
    case 24:
      return row[x * 3] | (row[x * 3 + 1] << 8) | (static_cast<uint32_t>(row[x * 3 + 2]) << 16);
    default: {
      uint32_t v;
      std::memcpy(&v, row + x * 4, 4);
      return v;
    }
  }
}

inline void PutRaw(uint8_t* row, int x, int bits, uint32_t v) {
  switch (bits) {
    case 1: {
      const uint8_t bit = static_cast<uint8_t>(0x80u >> (x & 7));
      row[x >> 3] = (v & 1u) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit);
      break;
    }
    case 4:
      if (x & 1)
        row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0u) | (v & 0x0Fu));
      else
        row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0Fu) | ((v & 0x0Fu) << 4));
      break;
    case 8:
      row[x] = static_cast<uint8_t>(v);
      break;
    case 16: {
      const uint16_t p = static_cast<uint16_t>(v);
      std::memcpy(row + x * 2, &p, 2);
      break;
    }
    case 24:
      row[x * 3] = static_cast<uint8_t>(v);
      row[x * 3 + 1] = static_cast<uint8_t>(v >> 8);
      row[x * 3 + 2] = static_cast<uint8_t>(v >> 16);
      break;
    default:
      std::memcpy(row + x * 4, &v, 4);
      break;
  }
}

uint32_t MaskFor(int bits) { return bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u); }

// The sixteen colours of the standard 4-bit palette, used when pictures go onto 4-bit surfaces.
constexpr uint8_t kVga16[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                   {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                   {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                   {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

// The colour-keyed 16-bit span: the game's hot path. Written as a select rather than a skipped
// store so the compiler turns it into compare-and-blend vector code.
inline void KeySpan16(uint16_t* __restrict d, const uint16_t* __restrict s, int n, uint16_t key) {
  for (int i = 0; i < n; ++i) {
    const uint16_t v = s[i];
    d[i] = (v == key) ? d[i] : v;
  }
}

inline void KeySpan32(uint32_t* __restrict d, const uint32_t* __restrict s, int n, uint32_t key) {
  for (int i = 0; i < n; ++i) {
    const uint32_t v = s[i];
    d[i] = (v == key) ? d[i] : v;
  }
}

inline void KeySpan8(uint8_t* __restrict d, const uint8_t* __restrict s, int n, uint8_t key) {
  for (int i = 0; i < n; ++i) {
    const uint8_t v = s[i];
    d[i] = (v == key) ? d[i] : v;
  }
}

struct BlitJob {
  uint8_t* dst;  // destination top-left row
  int dstPitch;
  int dx;              // destination column of the first pixel
  const uint8_t* src;  // source row of the first copied row (top row of the source rectangle)
  int srcPitch;
  int sx;  // leftmost source column of the rectangle
  int w, h;
  int bits;
  bool keyed;
  uint32_t key;
  bool mirrorX, mirrorY;
};

// Straight copy (no mirrors): whole rows for opaque copies, tight spans for keyed ones.
void BlitStraight(const BlitJob& j) {
  const uint8_t* s = j.src;
  uint8_t* d = j.dst;
  if (j.bits >= 8) {
    const int bpp = j.bits / 8;
    s += j.sx * bpp;
    d += j.dx * bpp;
    if (!j.keyed) {
      const size_t bytes = static_cast<size_t>(j.w) * bpp;
      for (int y = 0; y < j.h; ++y, s += j.srcPitch, d += j.dstPitch) std::memcpy(d, s, bytes);
      return;
    }
    switch (j.bits) {
      case 16:
        for (int y = 0; y < j.h; ++y, s += j.srcPitch, d += j.dstPitch)
          KeySpan16(reinterpret_cast<uint16_t*>(d), reinterpret_cast<const uint16_t*>(s), j.w,
                    static_cast<uint16_t>(j.key));
        return;
      case 32:
        for (int y = 0; y < j.h; ++y, s += j.srcPitch, d += j.dstPitch)
          KeySpan32(reinterpret_cast<uint32_t*>(d), reinterpret_cast<const uint32_t*>(s), j.w,
                    j.key);
        return;
      case 8:
        for (int y = 0; y < j.h; ++y, s += j.srcPitch, d += j.dstPitch)
          KeySpan8(d, s, j.w, static_cast<uint8_t>(j.key));
        return;
      default:
        break;  // 24 bits: per pixel below
    }
    s = j.src;
    d = j.dst;
  }
  for (int y = 0; y < j.h; ++y, s += j.srcPitch, d += j.dstPitch) {
    for (int x = 0; x < j.w; ++x) {
      const uint32_t v = GetRaw(s, j.sx + x, j.bits);
      if (!j.keyed || v != j.key) PutRaw(d, j.dx + x, j.bits, v);
    }
  }
}

// Mirrored copy: destination column i reads source column (w - 1 - i), row likewise.
void BlitMirrored(const BlitJob& j) {
  for (int y = 0; y < j.h; ++y) {
    const uint8_t* s = j.src + static_cast<ptrdiff_t>(j.mirrorY ? j.h - 1 - y : y) * j.srcPitch;
    uint8_t* d = j.dst + static_cast<ptrdiff_t>(y) * j.dstPitch;
    for (int x = 0; x < j.w; ++x) {
      const int sx = j.sx + (j.mirrorX ? j.w - 1 - x : x);
      const uint32_t v = GetRaw(s, sx, j.bits);
      if (!j.keyed || v != j.key) PutRaw(d, j.dx + x, j.bits, v);
    }
  }
}

// Clipping of a mirrored copy: an edge cut off one rectangle takes the opposite edge off the
// other along a mirrored axis, so the picture keeps its place on the destination.
bool ClipMirrored(TRect& dst, TRect& src, const TRect& db, const TRect& sb, bool mx, bool my) {
  auto axis = [](int32_t& dl, int32_t& dr, int32_t& sl, int32_t& sr, int32_t dbl, int32_t dbr,
                 int32_t sbl, int32_t sbr, bool m) {
    if (dl < dbl) {
      const int32_t a = dbl - dl;
      dl = dbl;
      if (m)
        sr -= a;
      else
        sl += a;
    }
    if (dr > dbr) {
      const int32_t a = dr - dbr;
      dr = dbr;
      if (m)
        sl += a;
      else
        sr -= a;
    }
    if (sl < sbl) {
      const int32_t a = sbl - sl;
      sl = sbl;
      if (m)
        dr -= a;
      else
        dl += a;
    }
    if (sr > sbr) {
      const int32_t a = sr - sbr;
      sr = sbr;
      if (m)
        dl += a;
      else
        dr -= a;
    }
  };
  axis(dst.Left, dst.Right, src.Left, src.Right, db.Left, db.Right, sb.Left, sb.Right, mx);
  axis(dst.Top, dst.Bottom, src.Top, src.Bottom, db.Top, db.Bottom, sb.Top, sb.Bottom, my);
  return dst.Left < dst.Right && dst.Top < dst.Bottom && src.Left < src.Right &&
         src.Top < src.Bottom;
}

}  // namespace

bool ClipBlit(TRect& dst, TRect& src, const TRect& dstBounds, const TRect& srcBounds) {
  if (dst.Left < dstBounds.Left) {
    src.Left += dstBounds.Left - dst.Left;
    dst.Left = dstBounds.Left;
  }
  if (dst.Top < dstBounds.Top) {
    src.Top += dstBounds.Top - dst.Top;
    dst.Top = dstBounds.Top;
  }
  if (src.Left < srcBounds.Left) {
    dst.Left += srcBounds.Left - src.Left;
    src.Left = srcBounds.Left;
  }
  if (src.Top < srcBounds.Top) {
    dst.Top += srcBounds.Top - src.Top;
    src.Top = srcBounds.Top;
  }
  if (dst.Right > dstBounds.Right) {
    src.Right -= dst.Right - dstBounds.Right;
    dst.Right = dstBounds.Right;
  }
  if (dst.Bottom > dstBounds.Bottom) {
    src.Bottom -= dst.Bottom - dstBounds.Bottom;
    dst.Bottom = dstBounds.Bottom;
  }
  if (src.Right > srcBounds.Right) {
    dst.Right -= src.Right - srcBounds.Right;
    src.Right = srcBounds.Right;
  }
  if (src.Bottom > srcBounds.Bottom) {
    dst.Bottom -= src.Bottom - srcBounds.Bottom;
    src.Bottom = srcBounds.Bottom;
  }
  return dst.Left < dst.Right && dst.Top < dst.Bottom && src.Left < src.Right &&
         src.Top < src.Bottom;
}

// ---------------------------------------------------------------------------------------------
// Surface

TDirectDrawSurface::TDirectDrawSurface(TDirectDraw* ddraw)
    : ddraw_(ddraw), bitCount_(ddraw ? ddraw->BitCount() : 16) {
  if (ddraw_) ddraw_->surfaces_.push_back(this);
}

TDirectDrawSurface::TDirectDrawSurface(int bitCount) : bitCount_(bitCount) {
  if (!ValidDepth(bitCount_))
    throw EDirectDrawSurfaceError(Format(toolkit::Tr(SCannotMade), "Surface"));
}

TDirectDrawSurface::~TDirectDrawSurface() {
  ReleaseCanvas();
  canvas_.reset();
  Detach();
}

void TDirectDrawSurface::Detach() {
  if (!ddraw_) return;
  auto& v = ddraw_->surfaces_;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  ddraw_ = nullptr;
}

TDDPixelFormat TDirectDrawSurface::PixelFormat() const {
  TDDPixelFormat f;
  f.BitCount = bitCount_;
  switch (bitCount_) {
    case 1:
      f.Flags = DDPF_PALETTEINDEXED1;
      break;
    case 4:
      f.Flags = DDPF_PALETTEINDEXED4;
      break;
    case 8:
      f.Flags = DDPF_PALETTEINDEXED8;
      break;
    case 16:
      f.Flags = DDPF_RGB;
      f.RBitMask = 0xF800;
      f.GBitMask = 0x07E0;
      f.BBitMask = 0x001F;
      break;
    default:
      f.Flags = DDPF_RGB;
      f.RBitMask = 0xFF0000;
      f.GBitMask = 0x00FF00;
      f.BBitMask = 0x0000FF;
      break;
  }
  return f;
}

bool TDirectDrawSurface::Usable() const {
  // The common refusal reasons of every pixel operation, stored as the result code.
  if (!Exists()) {
    result_ = DDERR_INVALIDOBJECT;
    return false;
  }
  if (lost_) {
    result_ = DDERR_SURFACELOST;
    return false;
  }
  if (locked_ || canvasHeld_) {
    result_ = DDERR_SURFACEBUSY;
    return false;
  }
  return true;
}

void TDirectDrawSurface::SetSize(int w, int h) {
  ReleaseCanvas();
  locked_ = false;
  lost_ = false;
  if (w <= 0 || h <= 0) {
    width_ = height_ = pitch_ = 0;
    pixels_.clear();
    result_ = DD_OK;
    return;
  }
  const int64_t pitch = static_cast<int64_t>(((static_cast<int64_t>(w) * bitCount_ + 31) / 32) * 4);
  const int64_t bytes = pitch * h;
  // A size the memory cannot hold is refused like a failed creation, after the one retry in
  // system memory that the display's surfaces get.
  if (pitch > INT32_MAX || bytes > (int64_t{1} << 31)) {
    if (!SystemMemory) SystemMemory = true;
    width_ = height_ = pitch_ = 0;
    pixels_.clear();
    result_ = DDERR_OUTOFMEMORY;
    throw EDirectDrawSurfaceError(Format(toolkit::Tr(SCannotMade), "Surface"));
  }
  try {
    std::vector<uint8_t> fresh(static_cast<size_t>(bytes), 0);
    pixels_.adopt(std::move(fresh));
  } catch (const std::bad_alloc&) {
    SystemMemory = true;
    width_ = height_ = pitch_ = 0;
    pixels_.clear();
    result_ = DDERR_OUTOFMEMORY;
    throw EDirectDrawSurfaceError(Format(toolkit::Tr(SCannotMade), "Surface"));
  }
  width_ = w;
  height_ = h;
  pitch_ = static_cast<int>(pitch);
  result_ = DD_OK;
}

bool TDirectDrawSurface::FillRect(const TRect& rect, uint32_t pixel) {
  if (!Usable()) return false;
  TRect r{std::max(rect.Left, 0), std::max(rect.Top, 0), std::min(rect.Right, width_),
          std::min(rect.Bottom, height_)};
  result_ = DD_OK;
  if (r.Left >= r.Right || r.Top >= r.Bottom) return true;
  const int w = r.Width();
  pixel &= MaskFor(bitCount_);
  uint8_t* bits = pixels_.data();
  // Black (and any value whose bytes are all alike) on whole rows is one byte fill of the block:
  // the frame loop's fill of the back surface every frame.
  const bool bytesAlike = (bitCount_ == 16 && (pixel & 0xFF) == (pixel >> 8)) ||
                          (bitCount_ == 32 && pixel % 0x01010101u == 0);
  if (bytesAlike && r.Left == 0 && r.Right == width_ && pitch_ == width_ * bitCount_ / 8) {
    std::memset(bits + static_cast<size_t>(r.Top) * pitch_, static_cast<int>(pixel & 0xFF),
                static_cast<size_t>(r.Height()) * pitch_);
    return true;
  }
  for (int y = r.Top; y < r.Bottom; ++y) {
    uint8_t* row = bits + static_cast<size_t>(y) * pitch_;
    switch (bitCount_) {
      case 8:
        std::memset(row + r.Left, static_cast<int>(pixel), w);
        break;
      case 16:
        std::fill_n(reinterpret_cast<uint16_t*>(row) + r.Left, w, static_cast<uint16_t>(pixel));
        break;
      case 32:
        std::fill_n(reinterpret_cast<uint32_t*>(row) + r.Left, w, pixel);
        break;
      default:
        for (int x = r.Left; x < r.Right; ++x) PutRaw(row, x, bitCount_, pixel);
        break;
    }
  }
  return true;
}

bool TDirectDrawSurface::Fill(uint32_t pixel) { return FillRect(ClientRect(), pixel); }

bool TDirectDrawSurface::Draw(int x, int y, const TRect& srcRect, TDirectDrawSurface* source,
                              bool transparent) {
  if (!source || x > width_ || y > height_) return true;

  TRect src = srcRect;
  bool mirrorX = false, mirrorY = false;
  if (src.Right < src.Left || src.Bottom < src.Top) {
    const int64_t w = std::abs(static_cast<int64_t>(src.Left) - src.Right);
    const int64_t h = std::abs(static_cast<int64_t>(src.Top) - src.Bottom);
    if (!(w + x > 0 && h + y > 0)) return true;
    if (src.Right < src.Left) {
      std::swap(src.Left, src.Right);
      mirrorX = true;
    }
    if (src.Bottom < src.Top) {
      std::swap(src.Top, src.Bottom);
      mirrorY = true;
    }
  }
  TRect dst{x, y, x + src.Width(), y + src.Height()};
  const bool mirrored = mirrorX || mirrorY;
  const bool visible =
      mirrored ? ClipMirrored(dst, src, ClientRect(), source->ClientRect(), mirrorX, mirrorY)
               : ClipBlit(dst, src, ClientRect(), source->ClientRect());
  if (!visible) return true;

  if (!Usable() || !source->Usable()) {
    if (source->result_ != DD_OK && result_ == DD_OK) result_ = source->result_;
    return false;
  }
  if (source->bitCount_ != bitCount_) {
    result_ = DDERR_INVALIDPIXELFORMAT;
    return false;
  }
  if (transparent && !source->hasColorKey_) {
    result_ = DDERR_NOCOLORKEY;
    return false;
  }

  // A copy within one surface reads from a snapshot so overlapping rectangles copy cleanly.
  std::vector<uint8_t> snapshot;
  const uint8_t* srcBase = source->pixels_.cdata();
  if (source == this) {
    snapshot.assign(pixels_.cdata(), pixels_.cdata() + pixels_.size());
    srcBase = snapshot.data();
  }

  BlitJob j;
  j.dst = pixels_.data() + static_cast<size_t>(dst.Top) * pitch_;
  j.dstPitch = pitch_;
  j.dx = dst.Left;
  j.src = srcBase + static_cast<size_t>(src.Top) * source->pitch_;
  j.srcPitch = source->pitch_;
  j.sx = src.Left;
  j.w = dst.Width();
  j.h = dst.Height();
  j.bits = bitCount_;
  j.keyed = transparent;
  j.key = source->colorKey_ & MaskFor(bitCount_);
  j.mirrorX = mirrorX;
  j.mirrorY = mirrorY;
  if (mirrored)
    BlitMirrored(j);
  else
    BlitStraight(j);
  result_ = DD_OK;
  return true;
}

void TDirectDrawSurface::SetColorKey(uint32_t pixel) {
  colorKey_ = pixel;
  hasColorKey_ = true;
  result_ = DD_OK;
}

void TDirectDrawSurface::ClearColorKey() {
  colorKey_ = 0;
  hasColorKey_ = false;
}

uint32_t TDirectDrawSurface::ConvertRGB(int r, int g, int b) const {
  r &= 0xFF;
  g &= 0xFF;
  b &= 0xFF;
  switch (bitCount_) {
    case 16:
      return ColorTo565(RGB(r, g, b));
    case 24:
    case 32:
      return (static_cast<uint32_t>(r) << 16) | (g << 8) | b;
    case 8:
      // 3-3-2: the top bits of each channel, like the 16-bit conversion.
      return (r & 0xE0) | ((g & 0xE0) >> 3) | (b >> 6);
    case 4: {
      int best = 0;
      int bestDist = INT32_MAX;
      for (int i = 0; i < 16; ++i) {
        const int dr = r - kVga16[i][0], dg = g - kVga16[i][1], db = b - kVga16[i][2];
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
          bestDist = d;
          best = i;
        }
      }
      return static_cast<uint32_t>(best);
    }
    default:
      return (r * 299 + g * 587 + b * 114) >= 128 * 1000 ? 1u : 0u;
  }
}

void TDirectDrawSurface::PixelToRGB(uint32_t p, int& r, int& g, int& b) const {
  switch (bitCount_) {
    case 16:
      r = static_cast<int>((p & 0xF800) >> 8);
      g = static_cast<int>((p & 0x07E0) >> 3);
      b = static_cast<int>((p & 0x001F) << 3);
      break;
    case 24:
    case 32:
      r = static_cast<int>((p >> 16) & 0xFF);
      g = static_cast<int>((p >> 8) & 0xFF);
      b = static_cast<int>(p & 0xFF);
      break;
    case 8:
      r = static_cast<int>(p & 0xE0);
      g = static_cast<int>((p & 0x1C) << 3);
      b = static_cast<int>((p & 0x03) << 6);
      break;
    case 4:
      r = kVga16[p & 15][0];
      g = kVga16[p & 15][1];
      b = kVga16[p & 15][2];
      break;
    default:
      r = g = b = (p & 1) ? 255 : 0;
      break;
  }
}

uint32_t TDirectDrawSurface::ColorMatch(TColor color) {
  if (!Exists()) return 0;
  // Matching goes through the canvas in the device world; the canvas must be given back either
  // way so that the copies that follow can run.
  ReleaseCanvas();
  // System colours (high byte 0x80) carry no RGB of their own here; only the low 24 bits count.
  return ConvertRGB(GetRValue(color), GetGValue(color), GetBValue(color));
}

bool TDirectDrawSurface::Lock(const TRect* r, TDDSurfaceDesc& out) {
  if (!Exists()) {
    result_ = DDERR_INVALIDOBJECT;
    return false;
  }
  if (locked_) {
    // Locks do not nest.
    result_ = DDERR_SURFACEBUSY;
    return false;
  }
  if (!Usable()) return false;
  TRect rect = ClientRect();
  if (r) {
    if (r->Left < 0 || r->Top < 0 || r->Right > width_ || r->Bottom > height_ ||
        r->Left >= r->Right || r->Top >= r->Bottom) {
      result_ = DDERR_INVALIDRECT;
      return false;
    }
    rect = *r;
  }
  out = TDDSurfaceDesc{};
  out.Width = rect.Width();
  out.Height = rect.Height();
  out.Pitch = pitch_;
  out.Bits = pixels_.data() + static_cast<size_t>(rect.Top) * pitch_ +
             (static_cast<size_t>(rect.Left) * bitCount_) / 8;
  out.PixelFormat = PixelFormat();
  out.HasColorKey = hasColorKey_;
  out.ColorKeyLow = out.ColorKeyHigh = colorKey_;
  locked_ = true;
  result_ = DD_OK;
  return true;
}

void TDirectDrawSurface::Unlock() {
  if (!locked_) {
    result_ = DDERR_NOTLOCKED;
    return;
  }
  locked_ = false;
  result_ = DD_OK;
}

uint32_t TDirectDrawSurface::Pixels(int x, int y) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  TDDSurfaceDesc d;
  if (!Lock(nullptr, d)) return 0;
  const uint32_t v = GetRaw(d.Bits + static_cast<size_t>(y) * d.Pitch, x, bitCount_);
  Unlock();
  return v;
}

void TDirectDrawSurface::SetPixel(int x, int y, uint32_t value) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  TDDSurfaceDesc d;
  if (!Lock(nullptr, d)) return;
  PutRaw(d.Bits + static_cast<size_t>(y) * d.Pitch, x, bitCount_, value & MaskFor(bitCount_));
  Unlock();
}

TCanvas* TDirectDrawSurface::Canvas() {
  if (!canvas_) {
    canvas_ = std::make_unique<TCanvas>(
        [this](PixelBuffer& out) {
          // Like taking the device context: refused while locked, lost or empty.
          // The toolkit draws on 16- and 32-bit targets only.
          if (!Exists() || lost_ || locked_) return false;
          if (bitCount_ != 16 && bitCount_ != 32) return false;
          canvasHeld_ = true;
          out = Buffer();
          return true;
        },
        [this] { canvasHeld_ = false; });
  }
  return canvas_.get();
}

void TDirectDrawSurface::ReleaseCanvas() {
  if (canvas_ && canvasHeld_) canvas_->ReleaseHandle();
  canvasHeld_ = false;
}

void TDirectDrawSurface::SimulateLoss() {
  if (!Exists()) return;
  ReleaseCanvas();
  locked_ = false;
  lost_ = true;
}

bool TDirectDrawSurface::Restore() {
  if (!lost_) {
    result_ = DD_OK;
    return true;
  }
  std::fill_n(pixels_.data(), pixels_.size(), 0);
  lost_ = false;
  result_ = DD_OK;
  return true;
}

bool TDirectDrawSurface::ExchangePixels(TDirectDrawSurface& other) {
  if (&other == this || other.width_ != width_ || other.height_ != height_ ||
      other.pitch_ != pitch_ || other.bitCount_ != bitCount_ || locked_ || other.locked_ ||
      canvasHeld_ || other.canvasHeld_)
    return false;
  pixels_.swap(other.pixels_);
  return true;
}

PixelBuffer TDirectDrawSurface::Buffer() {
  PixelBuffer b;
  b.bits = Exists() ? pixels_.data() : nullptr;
  b.pitch = pitch_;
  b.width = width_;
  b.height = height_;
  b.bitCount = bitCount_;
  return b;
}

void TDirectDrawSurface::CopyFromBGR24(const uint8_t* bgr, int pitch, int w, int h, int dstX,
                                       int dstY) {
  if (!bgr || !Exists()) return;
  for (int y = 0; y < h; ++y) {
    const int ty = dstY + y;
    if (ty < 0 || ty >= height_) continue;
    const uint8_t* s = bgr + static_cast<ptrdiff_t>(y) * pitch;
    uint8_t* row = pixels_.data() + static_cast<size_t>(ty) * pitch_;
    for (int x = 0; x < w; ++x) {
      const int tx = dstX + x;
      if (tx < 0 || tx >= width_) continue;
      PutRaw(row, tx, bitCount_, ConvertRGB(s[x * 3 + 2], s[x * 3 + 1], s[x * 3]));
    }
  }
}

void TDirectDrawSurface::CopyFromRGB24(const uint8_t* rgb, int pitch, int w, int h, int dstX,
                                       int dstY) {
  if (!rgb || !Exists()) return;
  for (int y = 0; y < h; ++y) {
    const int ty = dstY + y;
    if (ty < 0 || ty >= height_) continue;
    const uint8_t* s = rgb + static_cast<ptrdiff_t>(y) * pitch;
    uint8_t* row = pixels_.data() + static_cast<size_t>(ty) * pitch_;
    for (int x = 0; x < w; ++x) {
      const int tx = dstX + x;
      if (tx < 0 || tx >= width_) continue;
      PutRaw(row, tx, bitCount_, ConvertRGB(s[x * 3], s[x * 3 + 1], s[x * 3 + 2]));
    }
  }
}

void TDirectDrawSurface::CopyFromIndexed(const uint8_t* idx, int pitch, int w, int h,
                                         const uint8_t* paletteBGRX, int paletteCount, int dstX,
                                         int dstY) {
  if (!idx || !paletteBGRX || !Exists()) return;
  for (int y = 0; y < h; ++y) {
    const int ty = dstY + y;
    if (ty < 0 || ty >= height_) continue;
    const uint8_t* s = idx + static_cast<ptrdiff_t>(y) * pitch;
    uint8_t* row = pixels_.data() + static_cast<size_t>(ty) * pitch_;
    for (int x = 0; x < w; ++x) {
      const int tx = dstX + x;
      if (tx < 0 || tx >= width_) continue;
      // An index past the palette reads as black rather than past the table.
      const int i = s[x];
      uint32_t v = ConvertRGB(0, 0, 0);
      if (i < paletteCount) {
        const uint8_t* e = paletteBGRX + i * 4;
        v = ConvertRGB(e[2], e[1], e[0]);
      }
      PutRaw(row, tx, bitCount_, v);
    }
  }
}

void TDirectDrawSurface::LoadFromGraphic(const uint8_t* bgr, int pitch, int picW, int picH,
                                         const TRect& r) {
  SetSize(r.Width(), r.Height());
  if (!Exists() || !bgr) return;
  // Only the part of the rectangle that lies inside the picture is copied.
  const int x0 = std::max(r.Left, 0), y0 = std::max(r.Top, 0);
  const int x1 = std::min(r.Right, picW), y1 = std::min(r.Bottom, picH);
  if (x0 >= x1 || y0 >= y1) return;
  CopyFromBGR24(bgr + static_cast<ptrdiff_t>(y0) * pitch + x0 * 3, pitch, x1 - x0, y1 - y0,
                x0 - r.Left, y0 - r.Top);
}
