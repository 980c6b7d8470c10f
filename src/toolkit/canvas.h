// The canvas: text and shapes drawn on a block of pixels (a surface's "device context").
//
// A canvas does not own pixels. It asks for them through an acquire function the first time a
// drawing operation needs them and gives them back through ReleaseHandle, exactly like a device
// context that is taken on first use and released before the surface is copied or presented.
// Targets are 16-bit RGB565 or 32-bit XRGB8888 pixel buffers.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "toolkit/graphics.h"

namespace platform {
struct TextMask;
}

enum TBrushStyle { bsSolid, bsClear, bsDiagCross };

struct TFont {
  std::string Name = "MS Sans Serif";  // family asked of the rasteriser
  int Size = 8;                        // points (at 96 pixels per inch)
  int Height = 0;                      // when non-zero: the pixel height, overriding Size
  TColor Color = clBlack;              // glyph colour
  bool Bold = false, Italic = false;   // style
  // The pixel height handed to the rasteriser: |Height| when set, else Size at 96 dpi, rounded.
  int PixelHeight() const;
  bool operator==(const TFont&) const = default;
};

struct TBrush {
  TBrushStyle Style = bsSolid;  // solid fill, no fill, or diagonal cross-hatch lines
  TColor Color = clWhite;       // fill colour (the hatch lines' colour for bsDiagCross)
};

struct TPen {
  TColor Color = clBlack;  // outline colour
  int Width = 1;           // outline thickness in pixels (0 = no outline)
};

// A run of text rasterised once, for one font, and cut to a width: only the glyphs that show are
// rasterised, however long the text. Drawing it needs no conversion, measuring or cache lookup.
class TTextRun {
 public:
  // An empty run: draws nothing.
  TTextRun() = default;
  // Rasterises the shortest prefix of `utf8` (whole characters) that is at least `maxWidth`
  // pixels wide in `font` (all of it when narrower) and keeps at most `maxWidth` columns of it.
  TTextRun(const TFont& font, const std::string& utf8, int maxWidth);
  // Width, height and baseline (from the top) in pixels; the width is at most maxWidth.
  int Width() const;
  int Height() const;
  int Ascent() const;

 private:
  friend class TCanvas;
  std::shared_ptr<const platform::TextMask> mask_;
};

class TCanvas {
 public:
  using AcquireFn = std::function<bool(PixelBuffer&)>;
  using ReleaseFn = std::function<void()>;

  // `acquire` fills in the target pixels and returns true, or returns false when none can be had
  // (drawing then does nothing); `release` is called when the canvas gives them back.
  explicit TCanvas(AcquireFn acquire, ReleaseFn release = {});
  // Gives the pixels back if they are held.
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TFont Font;
  TBrush Brush;
  TPen Pen;

  // True while the canvas holds its target pixels.
  bool HandleAllocated() const { return held_; }
  // Takes the target pixels now if not held yet; false when they cannot be had.
  bool RequireHandle();
  // Gives the target pixels back (calls the release function); nothing when not held.
  void ReleaseHandle();
  // The held target (empty when not held).
  const PixelBuffer& Target() const { return target_; }

  // Glyphs of `utf8` with their cell's top-left at (x, y); with a solid brush the text's box is
  // filled with the brush colour first, with any other brush only the glyphs are drawn.
  void TextOut(int x, int y, const std::string& utf8);
  // A prepared run with its top-left at (x, y), in Font.Color (the run keeps its own face and
  // size); the brush as for the text above.
  void TextOut(int x, int y, const TTextRun& run);
  // TextOut of `utf8` no wider than `maxWidth`: in the current font when it fits, else in the
  // largest smaller size (down to 6 points) that fits, centred on the line the current font
  // takes; the font is left as it was. For texts whose length depends on the language.
  void TextOutFitted(int x, int y, const std::string& utf8, int maxWidth);
  // Pen outline (1 pixel per pen width, inside the rectangle) and brush fill of the inside;
  // right and bottom are exclusive.
  void Rectangle(int l, int t, int r, int b);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  // Brush fill of the whole rectangle, no outline (bsClear: nothing).
  void FillRect(const TRect& r);
  // Copies `src` (16, 24 or 32 bits) to (x, y), converting to the target's format, clipped.
  void Draw(int x, int y, const PixelBuffer& src);
  // A horizontal / vertical line of the pen colour, one pixel thick (end exclusive).
  void HLine(int x1, int x2, int y, TColor c);
  void VLine(int x, int y1, int y2, TColor c);
  // Width and height in pixels of `utf8` in the current font (the box TextOut covers).
  int TextWidth(const std::string& utf8);
  int TextHeight(const std::string& utf8);

  // Toolkit use: every coordinate is moved by the origin and drawing is clipped to `clip`
  // (given in target coordinates). ResetClip goes back to the whole target and origin (0, 0).
  void SetOrigin(int x, int y) {
    originX_ = x;
    originY_ = y;
  }
  TPoint Origin() const { return TPoint{originX_, originY_}; }
  void SetClipRect(const TRect& clip) {
    clip_ = clip;
    clipSet_ = true;
  }
  TRect ClipRect() const;
  void ResetClip() {
    clipSet_ = false;
    originX_ = originY_ = 0;
  }

 private:
  TRect EffectiveClip() const;
  void FillSolid(TRect r, TColor c);
  void FillHatch(TRect r, TColor c);
  void PutPixel(int x, int y, uint32_t raw);
  void DrawMask(int x, int y, const platform::TextMask& mask);
  uint32_t RawColor(TColor c) const;

  AcquireFn acquire_;
  ReleaseFn release_;
  PixelBuffer target_;
  bool held_ = false;
  int originX_ = 0, originY_ = 0;
  TRect clip_;
  bool clipSet_ = false;
};

// The text cache shared by every canvas: rasterised runs keyed by family, pixel size, style and
// text (not colour), most recently used kept. Exposed for tests and benchmarks.
namespace textcache {
// Number of rasterisations done so far (cache misses).
long long Misses();
// Drops every cached run (and resets the miss count).
void Clear();
// Runs kept at most.
constexpr int kCapacity = 128;
}  // namespace textcache
