#include "toolkit/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

int TFont::PixelHeight() const {
  if (Height != 0) return std::abs(Height);
  // Points to pixels at the 96 dpi of a standard screen, rounded like MulDiv.
  return static_cast<int>(std::lround(Size * 96.0 / 72.0));
}

namespace textcache {
namespace {

struct Entry {
  std::string key;
  std::shared_ptr<const platform::TextMask> mask;
};

// Most recently used at the front. A frame draws the same few runs over and over, so a small
// LRU turns every repeated TextOut into a blend of a stored mask.
struct Cache {
  std::list<Entry> order;
  std::unordered_map<std::string, std::list<Entry>::iterator> index;
  long long misses = 0;
};

Cache& TheCache() {
  static Cache cache;
  return cache;
}

std::string KeyOf(const TFont& f, const std::string& text) {
  std::string key = f.Name;
  key += '\0';
  key += std::to_string(f.PixelHeight());
  key += f.Bold ? 'B' : '-';
  key += f.Italic ? 'I' : '-';
  key += '\0';
  key += text;
  return key;
}

}  // namespace

std::shared_ptr<const platform::TextMask> Lookup(const TFont& f, const std::string& text) {
  Cache& c = TheCache();
  std::string key = KeyOf(f, text);
  auto it = c.index.find(key);
  if (it != c.index.end()) {
    c.order.splice(c.order.begin(), c.order, it->second);
    return it->second->mask;
  }
  auto mask = std::make_shared<platform::TextMask>();
  if (!text.empty() && platform::Installed() && platform::Get().text) {
    *mask = platform::Get().text->Render(f.Name, f.PixelHeight(), f.Bold, f.Italic, text);
    // A mask whose coverage does not match its size would make the blend read past its end.
    if (mask->width < 0 || mask->height < 0 ||
        mask->coverage.size() < static_cast<size_t>(mask->width) * mask->height) {
      *mask = platform::TextMask{};
    }
  }
  ++c.misses;
  c.order.push_front(Entry{key, mask});
  c.index[key] = c.order.begin();
  while (static_cast<int>(c.order.size()) > kCapacity) {
    c.index.erase(c.order.back().key);
    c.order.pop_back();
  }
  return mask;
}

long long Misses() { return TheCache().misses; }

void Clear() {
  Cache& c = TheCache();
  c.order.clear();
  c.index.clear();
  c.misses = 0;
}

}  // namespace textcache

namespace {

// End of the `chars`-th character of `s` counted from byte `from` (or the end of `s`).
size_t AdvanceChars(const std::string& s, size_t from, size_t chars) {
  size_t i = from;
  while (i < s.size() && chars > 0) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    --chars;
  }
  return i;
}

// The first character boundary of `s` at or after byte `i`.
size_t Boundary(const std::string& s, size_t i) {
  while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
  return i;
}

}  // namespace

TTextRun::TTextRun(const TFont& font, const std::string& utf8, int maxWidth) {
  auto mask = std::make_shared<platform::TextMask>();
  mask_ = mask;
  if (maxWidth <= 0 || !platform::Installed() || !platform::Get().text) return;
  platform::Text& text = *platform::Get().text;
  const int px = font.PixelHeight();
  auto wideEnough = [&](size_t bytes) {
    int w = 0, h = 0;
    text.Measure(font.Name, px, font.Bold, font.Italic, utf8.substr(0, bytes), w, h);
    return w >= maxWidth;
  };
  // The prefix grows by doubling until it is wide enough, then the shortest such prefix is
  // searched between the last two lengths: the cost follows what shows, not the text's length.
  size_t narrow = 0, wide = utf8.size();
  for (size_t chars = 8;; chars *= 2) {
    const size_t end = AdvanceChars(utf8, 0, chars);
    if (end >= utf8.size()) break;
    if (wideEnough(end)) {
      wide = end;
      break;
    }
    narrow = end;
  }
  for (;;) {
    size_t mid = Boundary(utf8, narrow + (wide - narrow) / 2);
    if (mid <= narrow || mid >= wide) mid = AdvanceChars(utf8, narrow, 1);
    if (mid >= wide) break;
    if (wideEnough(mid)) {
      wide = mid;
    } else {
      narrow = mid;
    }
  }
  *mask = text.Render(font.Name, px, font.Bold, font.Italic, utf8.substr(0, wide));
  // A mask whose coverage does not match its size would make the blend read past its end.
  if (mask->width < 0 || mask->height < 0 ||
      mask->coverage.size() < static_cast<size_t>(mask->width) * mask->height) {
    *mask = platform::TextMask{};
    return;
  }
  if (mask->width > maxWidth) {
    // The last glyph is cut where the run ends.
    std::vector<uint8_t> cut(static_cast<size_t>(maxWidth) * mask->height);
    for (int y = 0; y < mask->height; ++y)
      std::memcpy(cut.data() + static_cast<size_t>(y) * maxWidth,
                  mask->coverage.data() + static_cast<size_t>(y) * mask->width, maxWidth);
    mask->coverage = std::move(cut);
    mask->width = maxWidth;
  }
}

int TTextRun::Width() const { return mask_ ? mask_->width : 0; }
int TTextRun::Height() const { return mask_ ? mask_->height : 0; }
int TTextRun::Ascent() const { return mask_ ? mask_->ascent : 0; }

namespace {

inline void Unpack(uint32_t raw, int bits, int& r, int& g, int& b) {
  if (bits == 16) {
    r = ((raw >> 11) & 31) * 255 / 31;
    g = ((raw >> 5) & 63) * 255 / 63;
    b = (raw & 31) * 255 / 31;
  } else {
    r = (raw >> 16) & 255;
    g = (raw >> 8) & 255;
    b = raw & 255;
  }
}

inline uint32_t Pack(int r, int g, int b, int bits) {
  if (bits == 16) return static_cast<uint32_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
  return static_cast<uint32_t>((r << 16) | (g << 8) | b);
}

inline TRect Intersect(const TRect& a, const TRect& b) {
  return TRect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
               std::min(a.Bottom, b.Bottom)};
}

inline bool Empty(const TRect& r) { return r.Left >= r.Right || r.Top >= r.Bottom; }

bool Supported(const PixelBuffer& p) {
  return p.bits != nullptr && (p.bitCount == 16 || p.bitCount == 32) && p.width > 0 && p.height > 0;
}

}  // namespace

TCanvas::TCanvas(AcquireFn acquire, ReleaseFn release)
    : acquire_(std::move(acquire)), release_(std::move(release)) {}

TCanvas::~TCanvas() { ReleaseHandle(); }

bool TCanvas::RequireHandle() {
  if (held_) return true;
  PixelBuffer p;
  if (!acquire_ || !acquire_(p)) return false;
  if (!Supported(p)) {
    // Pixels we cannot draw on are given straight back: the canvas stays without a handle.
    if (release_) release_();
    return false;
  }
  target_ = p;
  held_ = true;
  return true;
}

void TCanvas::ReleaseHandle() {
  if (!held_) return;
  held_ = false;
  target_ = PixelBuffer{};
  if (release_) release_();
}

TRect TCanvas::ClipRect() const {
  TRect c = EffectiveClip();
  return TRect{c.Left - originX_, c.Top - originY_, c.Right - originX_, c.Bottom - originY_};
}

TRect TCanvas::EffectiveClip() const {
  TRect whole{0, 0, target_.width, target_.height};
  return clipSet_ ? Intersect(whole, clip_) : whole;
}

uint32_t TCanvas::RawColor(TColor c) const {
  return Pack(GetRValue(c), GetGValue(c), GetBValue(c), target_.bitCount);
}

void TCanvas::PutPixel(int x, int y, uint32_t raw) {
  uint8_t* row = target_.bits + static_cast<ptrdiff_t>(y) * target_.pitch;
  if (target_.bitCount == 16) {
    reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(raw);
  } else {
    reinterpret_cast<uint32_t*>(row)[x] = raw;
  }
}

// `r` is in target coordinates.
void TCanvas::FillSolid(TRect r, TColor c) {
  r = Intersect(r, EffectiveClip());
  if (Empty(r)) return;
  uint32_t raw = RawColor(c);
  for (int y = r.Top; y < r.Bottom; ++y) {
    uint8_t* row = target_.bits + static_cast<ptrdiff_t>(y) * target_.pitch;
    if (target_.bitCount == 16) {
      std::fill_n(reinterpret_cast<uint16_t*>(row) + r.Left, r.Width(), static_cast<uint16_t>(raw));
    } else {
      std::fill_n(reinterpret_cast<uint32_t*>(row) + r.Left, r.Width(), raw);
    }
  }
}

// The 8 x 8 diagonal cross pattern, anchored at the target's (0, 0) like a brush origin: a pixel
// is on a line when x - y or x + y + 1 is a multiple of 8. Pixels between lines are untouched.
void TCanvas::FillHatch(TRect r, TColor c) {
  r = Intersect(r, EffectiveClip());
  if (Empty(r)) return;
  uint32_t raw = RawColor(c);
  for (int y = r.Top; y < r.Bottom; ++y) {
    for (int x = r.Left; x < r.Right; ++x) {
      if (((x - y) & 7) == 0 || ((x + y + 1) & 7) == 0) PutPixel(x, y, raw);
    }
  }
}

void TCanvas::FillRect(const TRect& rr) {
  if (Brush.Style == bsClear || !RequireHandle()) return;
  TRect r{rr.Left + originX_, rr.Top + originY_, rr.Right + originX_, rr.Bottom + originY_};
  if (Brush.Style == bsSolid) {
    FillSolid(r, Brush.Color);
  } else {
    FillHatch(r, Brush.Color);
  }
}

void TCanvas::HLine(int x1, int x2, int y, TColor c) {
  if (!RequireHandle()) return;
  FillSolid(TRect{x1 + originX_, y + originY_, x2 + originX_, y + 1 + originY_}, c);
}

void TCanvas::VLine(int x, int y1, int y2, TColor c) {
  if (!RequireHandle()) return;
  FillSolid(TRect{x + originX_, y1 + originY_, x + 1 + originX_, y2 + originY_}, c);
}

void TCanvas::Rectangle(int l, int t, int r, int b) {
  if (!RequireHandle()) return;
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  int w = std::max(Pen.Width, 0);
  // The inside first, then the outline over its edge, as the outline is drawn inside the box.
  FillRect(TRect{l + w, t + w, r - w, b - w});
  for (int i = 0; i < w; ++i) {
    int L = l + i, T = t + i, R = r - i, B = b - i;
    if (L >= R || T >= B) break;
    HLine(L, R, T, Pen.Color);
    HLine(L, R, B - 1, Pen.Color);
    VLine(L, T, B, Pen.Color);
    VLine(R - 1, T, B, Pen.Color);
  }
}

void TCanvas::Draw(int x, int y, const PixelBuffer& src) {
  if (src.bits == nullptr || src.width <= 0 || src.height <= 0) return;
  if (src.bitCount != 16 && src.bitCount != 24 && src.bitCount != 32) return;
  if (!RequireHandle()) return;
  TRect d = Intersect(
      TRect{x + originX_, y + originY_, x + originX_ + src.width, y + originY_ + src.height},
      EffectiveClip());
  if (Empty(d)) return;
  int sx0 = d.Left - (x + originX_), sy0 = d.Top - (y + originY_);
  for (int row = 0; row < d.Height(); ++row) {
    const uint8_t* s = src.bits + static_cast<ptrdiff_t>(sy0 + row) * src.pitch;
    uint8_t* t = target_.bits + static_cast<ptrdiff_t>(d.Top + row) * target_.pitch;
    if (src.bitCount == target_.bitCount) {
      int bpp = src.bitCount / 8;
      std::memcpy(t + d.Left * bpp, s + sx0 * bpp, static_cast<size_t>(d.Width()) * bpp);
      continue;
    }
    for (int col = 0; col < d.Width(); ++col) {
      int sx = sx0 + col;
      int r, g, b;
      if (src.bitCount == 24) {
        b = s[sx * 3];
        g = s[sx * 3 + 1];
        r = s[sx * 3 + 2];
      } else {
        uint32_t raw = src.bitCount == 16 ? reinterpret_cast<const uint16_t*>(s)[sx]
                                          : reinterpret_cast<const uint32_t*>(s)[sx];
        Unpack(raw, src.bitCount, r, g, b);
      }
      PutPixel(d.Left + col, d.Top + row, Pack(r, g, b, target_.bitCount));
    }
  }
}

void TCanvas::TextOut(int x, int y, const std::string& utf8) {
  if (!RequireHandle()) return;
  DrawMask(x, y, *textcache::Lookup(Font, utf8));
}

void TCanvas::TextOut(int x, int y, const TTextRun& run) {
  if (!run.mask_ || !RequireHandle()) return;
  DrawMask(x, y, *run.mask_);
}

void TCanvas::DrawMask(int x, int y, const platform::TextMask& mask) {
  if (Brush.Style == bsSolid) FillRect(TRect{x, y, x + mask.width, y + mask.height});
  int X = x + originX_, Y = y + originY_;
  TRect d = Intersect(TRect{X, Y, X + mask.width, Y + mask.height}, EffectiveClip());
  if (Empty(d)) return;
  int fr = GetRValue(Font.Color), fg = GetGValue(Font.Color), fb = GetBValue(Font.Color);
  uint32_t full = RawColor(Font.Color);
  int bits = target_.bitCount;
  for (int py = d.Top; py < d.Bottom; ++py) {
    const uint8_t* cov = mask.coverage.data() + static_cast<size_t>(py - Y) * mask.width;
    uint8_t* row = target_.bits + static_cast<ptrdiff_t>(py) * target_.pitch;
    for (int px = d.Left; px < d.Right; ++px) {
      int a = cov[px - X];
      if (a == 0) continue;
      if (a == 255) {
        PutPixel(px, py, full);
        continue;
      }
      uint32_t raw =
          bits == 16 ? reinterpret_cast<uint16_t*>(row)[px] : reinterpret_cast<uint32_t*>(row)[px];
      int r, g, b;
      Unpack(raw, bits, r, g, b);
      r += (fr - r) * a / 255;
      g += (fg - g) * a / 255;
      b += (fb - b) * a / 255;
      PutPixel(px, py, Pack(r, g, b, bits));
    }
  }
}

int TCanvas::TextWidth(const std::string& utf8) { return textcache::Lookup(Font, utf8)->width; }

int TCanvas::TextHeight(const std::string& utf8) {
  auto mask = textcache::Lookup(Font, utf8);
  if (mask->height > 0) return mask->height;
  int w = 0, h = 0;
  if (platform::Installed() && platform::Get().text) {
    platform::Get().text->Measure(Font.Name, Font.PixelHeight(), Font.Bold, Font.Italic,
                                  utf8.empty() ? std::string(" ") : utf8, w, h);
  }
  return h;
}

void TCanvas::TextOutFitted(int x, int y, const std::string& utf8, int maxWidth) {
  const TFont kept = Font;
  const int lineHeight = TextHeight(utf8);
  // A translation may be longer than the text the place was laid out for: it gets smaller.
  while (Font.Size > 6 && Font.Height == 0 && TextWidth(utf8) > maxWidth) --Font.Size;
  TextOut(x, y + (lineHeight - TextHeight(utf8)) / 2, utf8);
  Font = kept;
}
