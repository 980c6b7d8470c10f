// The canvas: device-context life cycle, shapes, hatch, copies and text.
#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "toolkit_fixture.h"

namespace {

// A pixel block the canvas draws on, filled with a sentinel colour.
struct Target {
  Target(int w, int h, int bits, TColor fill) : w(w), h(h), bits(bits) {
    pitch = w * bits / 8 + 8;  // padded rows: the canvas must honour the pitch
    data.assign(static_cast<size_t>(pitch) * h, 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) Set(x, y, fill);
  }
  PixelBuffer Buffer() { return PixelBuffer{data.data(), pitch, w, h, bits}; }
  uint32_t Raw(int x, int y) const {
    const uint8_t* row = data.data() + static_cast<size_t>(y) * pitch;
    return bits == 16 ? reinterpret_cast<const uint16_t*>(row)[x]
                      : reinterpret_cast<const uint32_t*>(row)[x];
  }
  static uint32_t RawOf(TColor c, int bits) {
    if (bits == 16) return ColorTo565(c);
    return (static_cast<uint32_t>(GetRValue(c)) << 16) | (GetGValue(c) << 8) | GetBValue(c);
  }
  void Set(int x, int y, TColor c) {
    uint8_t* row = data.data() + static_cast<size_t>(y) * pitch;
    if (bits == 16) {
      reinterpret_cast<uint16_t*>(row)[x] = ColorTo565(c);
    } else {
      reinterpret_cast<uint32_t*>(row)[x] = RawOf(c, 32);
    }
  }
  bool Is(int x, int y, TColor c) const { return Raw(x, y) == RawOf(c, bits); }
  // True when the pixel is close to pure red (a glyph pixel of red text on a dark ground).
  bool Reddish(int x, int y) const {
    uint32_t p = Raw(x, y);
    int r = bits == 16 ? ((p >> 11) & 31) << 3 : (p >> 16) & 255;
    int g = bits == 16 ? ((p >> 5) & 63) << 2 : (p >> 8) & 255;
    int b = bits == 16 ? (p & 31) << 3 : p & 255;
    return r >= 160 && g < 60 && b < 60;
  }
  int w, h, bits, pitch;
  std::vector<uint8_t> data;
};

constexpr TColor kSentinel = RGB(0, 54, 59);

class CanvasTest : public ToolkitTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    target = std::make_unique<Target>(64, 48, GetParam(), kSentinel);
    canvas = std::make_unique<TCanvas>(
        [this](PixelBuffer& p) {
          ++acquires;
          p = target->Buffer();
          return true;
        },
        [this] { ++releases; });
  }
  std::unique_ptr<Target> target;
  std::unique_ptr<TCanvas> canvas;
  int acquires = 0, releases = 0;
};

TEST_P(CanvasTest, HandleIsTakenOnFirstDrawingAndGivenBackOnce) {
  EXPECT_FALSE(canvas->HandleAllocated());
  EXPECT_EQ(acquires, 0);
  canvas->FillRect(Rect(0, 0, 2, 2));
  canvas->Rectangle(4, 4, 8, 8);
  EXPECT_TRUE(canvas->HandleAllocated());
  EXPECT_EQ(acquires, 1);
  canvas->ReleaseHandle();
  canvas->ReleaseHandle();
  EXPECT_EQ(releases, 1);
  EXPECT_FALSE(canvas->HandleAllocated());
  canvas->FillRect(Rect(0, 0, 2, 2));
  EXPECT_EQ(acquires, 2);
}

TEST_P(CanvasTest, RectangleHasAnOutlineInsideAndExclusiveRightBottom) {
  canvas->Brush.Color = clYellow;
  canvas->Rectangle(10, 5, 20, 12);
  for (int y = 0; y < target->h; ++y) {
    for (int x = 0; x < target->w; ++x) {
      bool inside = x >= 10 && x < 20 && y >= 5 && y < 12;
      bool edge = inside && (x == 10 || x == 19 || y == 5 || y == 11);
      TColor want = !inside ? kSentinel : edge ? clBlack : clYellow;
      ASSERT_TRUE(target->Is(x, y, want)) << x << "," << y;
    }
  }
}

TEST_P(CanvasTest, ClearBrushDrawsOnlyTheOutline) {
  canvas->Brush.Style = bsClear;
  canvas->Pen.Color = clRed;
  canvas->Rectangle(2, 2, 6, 6);
  EXPECT_TRUE(target->Is(2, 2, clRed));
  EXPECT_TRUE(target->Is(5, 5, clRed));
  EXPECT_TRUE(target->Is(3, 3, kSentinel));
  canvas->FillRect(Rect(0, 0, 64, 48));
  EXPECT_TRUE(target->Is(3, 3, kSentinel));
}

TEST_P(CanvasTest, DiagonalCrossHatchDrawsLinesAndLeavesTheRestAlone) {
  // What the level-intro screen does over the whole surface.
  canvas->Brush.Style = bsDiagCross;
  canvas->Rectangle(0, 0, 64, 48);
  int lines = 0, untouched = 0;
  for (int y = 1; y < 47; ++y) {
    for (int x = 1; x < 63; ++x) {
      // The classic 8 x 8 diagonal-cross brush bitmap: a 0 bit is a line pixel, the most
      // significant bit is the leftmost pixel; the pattern is anchored at the target's origin.
      static const uint8_t kPattern[8] = {0x7e, 0xbd, 0xdb, 0xe7, 0xe7, 0xdb, 0xbd, 0x7e};
      bool onLine = ((kPattern[y % 8] >> (7 - x % 8)) & 1) == 0;
      ASSERT_TRUE(target->Is(x, y, onLine ? clWhite : kSentinel)) << x << "," << y;
      (onLine ? lines : untouched)++;
    }
  }
  // Both diagonals are present: a "\" line through (8, 0) and a "/" line through (7, 0).
  EXPECT_TRUE(target->Is(9, 1, clWhite));
  EXPECT_TRUE(target->Is(6, 1, clWhite));
  EXPECT_GT(untouched, 2 * lines);
  // The pen outline is drawn as usual.
  EXPECT_TRUE(target->Is(0, 20, clBlack));
  EXPECT_TRUE(target->Is(63, 47, clBlack));
}

TEST_P(CanvasTest, DrawingIsClippedToTheTarget) {
  canvas->Brush.Color = clBlue;
  canvas->FillRect(Rect(-10, -10, 5, 3));
  canvas->FillRect(Rect(60, 45, 100, 100));
  EXPECT_TRUE(target->Is(0, 0, clBlue));
  EXPECT_TRUE(target->Is(4, 2, clBlue));
  EXPECT_TRUE(target->Is(5, 2, kSentinel));
  EXPECT_TRUE(target->Is(63, 47, clBlue));
  EXPECT_TRUE(target->Is(59, 47, kSentinel));
}

TEST_P(CanvasTest, OriginAndClipMoveAndLimitDrawing) {
  canvas->RequireHandle();
  canvas->SetOrigin(10, 10);
  canvas->SetClipRect(Rect(10, 10, 20, 20));
  canvas->Brush.Color = clRed;
  canvas->FillRect(Rect(-5, -5, 30, 30));
  EXPECT_TRUE(target->Is(10, 10, clRed));
  EXPECT_TRUE(target->Is(19, 19, clRed));
  EXPECT_TRUE(target->Is(9, 10, kSentinel));
  EXPECT_TRUE(target->Is(20, 19, kSentinel));
  EXPECT_EQ(canvas->ClipRect(), Rect(0, 0, 10, 10));
}

TEST_P(CanvasTest, DrawConvertsPixelFormats) {
  // A 3 x 2 picture of 24-bit BGR pixels.
  uint8_t bgr[2][9] = {{0, 0, 255, 0, 255, 0, 255, 0, 0}, {255, 255, 255, 0, 0, 0, 0, 255, 255}};
  PixelBuffer src{&bgr[0][0], 9, 3, 2, 24};
  canvas->Draw(-1, 40, src);
  EXPECT_TRUE(target->Is(0, 40, RGB(0, 255, 0)));
  EXPECT_TRUE(target->Is(1, 40, RGB(0, 0, 255)));
  EXPECT_TRUE(target->Is(0, 41, clBlack));
  EXPECT_TRUE(target->Is(1, 41, RGB(255, 255, 0)));
  EXPECT_TRUE(target->Is(2, 40, kSentinel));
}

TEST_P(CanvasTest, FailedAcquireDrawsNothing) {
  TCanvas none([](PixelBuffer&) { return false; });
  none.FillRect(Rect(0, 0, 10, 10));
  none.TextOut(0, 0, "x");
  EXPECT_FALSE(none.HandleAllocated());
}

INSTANTIATE_TEST_SUITE_P(Depths, CanvasTest, ::testing::Values(16, 32));

// ---------------------------------------------------------------------------------------------
// Text needs the real rasteriser of the headless platform.
class CanvasTextTest : public CanvasTest {
 protected:
  bool HaveRasteriser() {
    TFont f;
    return !hl.text->Render(f.Name, 16, false, false, "W").coverage.empty();
  }
};

TEST_P(CanvasTextTest, RussianTextLandsInsideItsBox) {
  if (!HaveRasteriser()) GTEST_SKIP() << "no font rasteriser on this platform build";
  target = std::make_unique<Target>(200, 60, GetParam(), kSentinel);
  canvas->Font.Name = "Comic Sans MS";
  canvas->Font.Size = 12;
  canvas->Font.Color = clRed;
  canvas->Brush.Style = bsClear;
  const std::string text = "Рекорды:";
  int w = canvas->TextWidth(text), h = canvas->TextHeight(text);
  EXPECT_EQ(canvas->Font.PixelHeight(), 16);
  ASSERT_GT(w, 30);
  ASSERT_GT(h, 8);
  canvas->TextOut(20, 10, text);
  int red = 0, changed = 0;
  for (int y = 0; y < target->h; ++y) {
    for (int x = 0; x < target->w; ++x) {
      bool inBox = x >= 20 && x < 20 + w && y >= 10 && y < 10 + h;
      if (!target->Is(x, y, kSentinel)) {
        ASSERT_TRUE(inBox) << "pixel outside the text box at " << x << "," << y;
        ++changed;
      }
      if (target->Reddish(x, y)) ++red;
    }
  }
  EXPECT_GT(red, 20);       // well covered glyph pixels take the font colour
  EXPECT_GT(changed, red);  // and the thin edges are blended with the ground
  // Eight glyphs: ink spreads over most of the box's width.
  int firstCol = 1000, lastCol = -1;
  for (int x = 0; x < target->w; ++x)
    for (int y = 0; y < target->h; ++y)
      if (target->Reddish(x, y)) {
        firstCol = std::min(firstCol, x);
        lastCol = std::max(lastCol, x);
      }
  EXPECT_LT(firstCol, 20 + w / 4);
  EXPECT_GT(lastCol, 20 + 3 * w / 4);
}

TEST_P(CanvasTextTest, SolidBrushFillsTheTextBox) {
  if (!HaveRasteriser()) GTEST_SKIP() << "no font rasteriser on this platform build";
  canvas->Brush.Style = bsSolid;
  canvas->Brush.Color = clYellow;
  canvas->Font.Color = clBlue;
  int w = canvas->TextWidth("Ab"), h = canvas->TextHeight("Ab");
  canvas->TextOut(3, 4, "Ab");
  EXPECT_TRUE(target->Is(3, 4, clYellow));
  EXPECT_TRUE(target->Is(3 + w - 1, 4 + h - 1, clYellow) ||
              target->Is(3 + w - 1, 4 + h - 1, clBlue));
  EXPECT_TRUE(target->Is(3 + w, 4, kSentinel));
  EXPECT_TRUE(target->Is(3, 4 + h, kSentinel));
}

TEST_P(CanvasTextTest, RepeatedTextIsRasterisedOnceWhateverItsColour) {
  if (!HaveRasteriser()) GTEST_SKIP() << "no font rasteriser on this platform build";
  canvas->Brush.Style = bsClear;
  for (TColor c : {clRed, clBlue, clYellow, clRed}) {
    canvas->Font.Color = c;
    canvas->TextOut(0, 0, "Score 100");
  }
  EXPECT_EQ(textcache::Misses(), 1);
  canvas->Font.Size = 24;  // another size is another run
  canvas->TextOut(0, 0, "Score 100");
  EXPECT_EQ(textcache::Misses(), 2);
  EXPECT_GT(canvas->TextWidth("Score 100"), 0);
  EXPECT_EQ(textcache::Misses(), 2);
}

// Passes every request on to the real rasteriser, noting the longest text of each kind.
struct SpyText : platform::Text {
  platform::Text* real = nullptr;
  size_t longestRender = 0, longestMeasure = 0;
  platform::TextMask Render(const std::string& family, int px, bool bold, bool italic,
                            const std::string& utf8) override {
    longestRender = std::max(longestRender, utf8.size());
    return real->Render(family, px, bold, italic, utf8);
  }
  void Measure(const std::string& family, int px, bool bold, bool italic, const std::string& utf8,
               int& w, int& h) override {
    longestMeasure = std::max(longestMeasure, utf8.size());
    real->Measure(family, px, bold, italic, utf8, w, h);
  }
};

TEST_P(CanvasTextTest, PreparedRunIsCutToItsWidthAndRasterisesOnlyWhatShows) {
  if (!HaveRasteriser()) GTEST_SKIP() << "no font rasteriser on this platform build";
  target = std::make_unique<Target>(200, 40, GetParam(), kSentinel);
  canvas->Font.Name = "Comic Sans MS";
  canvas->Font.Size = 12;
  canvas->Font.Color = clRed;
  canvas->Brush.Style = bsClear;
  // Narrower than its width: the whole text.
  EXPECT_EQ(TTextRun(canvas->Font, "PLAYER", 150).Width(), canvas->TextWidth("PLAYER"));
  // A 1 MiB text: cut to 100 columns, and only a short prefix is measured and rasterised.
  auto spy = std::make_unique<SpyText>();
  spy->real = hl.text;
  std::unique_ptr<platform::Text> real = std::exchange(platform::Get().text, std::move(spy));
  std::string huge;
  for (int i = 0; i < (1 << 19); ++i) huge += "Ж";
  TTextRun cut(canvas->Font, huge, 100);
  const std::unique_ptr<platform::Text> back = std::exchange(platform::Get().text, std::move(real));
  const auto& seen = static_cast<const SpyText&>(*back);
  EXPECT_EQ(cut.Width(), 100);
  EXPECT_LT(seen.longestRender, 100u);
  EXPECT_LT(seen.longestMeasure, 200u);
  canvas->TextOut(20, 3, cut);
  int inkNearEnd = 0;
  for (int y = 0; y < target->h; ++y)
    for (int x = 0; x < target->w; ++x) {
      if (x >= 120) {
        ASSERT_TRUE(target->Is(x, y, kSentinel)) << x << "," << y;
      }
      if (x >= 100 && x < 120 && target->Reddish(x, y)) ++inkNearEnd;
    }
  EXPECT_GT(inkNearEnd, 5);
}

// A text for a place laid out for a shorter one (a translation) is made smaller until it fits,
// centred on the line; one that fits is drawn exactly as TextOut draws it; the font stays.
TEST_P(CanvasTextTest, FittedTextShrinksIntoItsPlaceAndOnlyThen) {
  if (!HaveRasteriser()) GTEST_SKIP() << "no font rasteriser on this platform build";
  target = std::make_unique<Target>(300, 60, GetParam(), kSentinel);
  canvas->Font.Name = "Comic Sans MS";
  canvas->Font.Size = 24;
  canvas->Brush.Style = bsClear;
  canvas->Font.Color = clRed;
  const std::string text = "Press  ENTER  to start the game";
  const int w = canvas->TextWidth(text), h = canvas->TextHeight(text);
  ASSERT_GT(w, 200);
  canvas->TextOutFitted(10, 5, text, 200);
  EXPECT_EQ(canvas->Font.Size, 24);
  int left = 1000, right = -1, top = 1000, bottom = -1;
  for (int y = 0; y < target->h; ++y)
    for (int x = 0; x < target->w; ++x)
      if (!target->Is(x, y, kSentinel)) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  ASSERT_GE(right, 0);
  EXPECT_GE(left, 10);
  EXPECT_LT(right, 10 + 200);
  // As large as fits, not just anything smaller: the ink spans the box of the largest size
  // whose text is no wider than the place.
  TFont kept = canvas->Font;
  int fitting = 0;
  for (canvas->Font.Size = 24; canvas->Font.Size > 6 && fitting == 0; --canvas->Font.Size) {
    if (canvas->TextWidth(text) <= 200) fitting = canvas->TextWidth(text);
  }
  canvas->Font = kept;
  ASSERT_GT(fitting, 0);
  EXPECT_GT(right - left + 1, fitting - 8);
  EXPECT_GT(top, 5);  // a smaller line, centred on the line of the font's size
  EXPECT_LT(bottom, 5 + h);

  canvas->ReleaseHandle();
  target = std::make_unique<Target>(300, 60, GetParam(), kSentinel);
  canvas->TextOutFitted(10, 5, "Level 2", 200);
  canvas->ReleaseHandle();
  const std::vector<uint8_t> fitted = target->data;
  target = std::make_unique<Target>(300, 60, GetParam(), kSentinel);
  canvas->TextOut(10, 5, "Level 2");
  canvas->ReleaseHandle();
  EXPECT_NE(fitted, Target(300, 60, GetParam(), kSentinel).data);
  EXPECT_EQ(fitted, target->data);
}

INSTANTIATE_TEST_SUITE_P(Depths, CanvasTextTest, ::testing::Values(16, 32));

TEST(FontTest, PointsBecomePixelsAt96Dpi) {
  TFont f;
  f.Size = 12;
  EXPECT_EQ(f.PixelHeight(), 16);
  f.Size = 36;
  EXPECT_EQ(f.PixelHeight(), 48);
  f.Size = 8;
  EXPECT_EQ(f.PixelHeight(), 11);
  f.Height = -16;
  EXPECT_EQ(f.PixelHeight(), 16);
}

}  // namespace
