#include "sprites/image_sprite.h"

#include <algorithm>
#include <cmath>

#include "display/imagelist.h"
#include "display/surface.h"

namespace {

// a mod b with a result in 0 .. b - 1 (b > 0).
inline int32_t PositiveMod(int32_t a, int32_t b) {
  const int32_t r = a % b;
  return r < 0 ? r + b : r;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TImageSprite

TImageSprite::TImageSprite(TSprite* parent) : TSprite(parent) {}

int32_t TImageSprite::CurrentPattern() const {
  return SpriteAdd(FirstFrame, SpriteTrunc(FramePos));
}

void TImageSprite::MoveStep(int32_t moveCount) {
  FramePos = FramePos + moveCount * FrameRate;
  if (FrameLoop) {
    if (FrameCount > 0) {
      FramePos = FramePos - std::trunc(FramePos / FrameCount) * FrameCount;
      if (FramePos < 0) FramePos = FramePos + FrameCount;
    } else {
      FramePos = 0;
    }
  } else {
    if (FramePos >= FrameCount) {
      // The animation stops on its last pattern.
      FramePos = FrameCount - 1;
      FrameRate = 0;
    }
    if (FramePos < 0) {
      FramePos = 0;
      FrameRate = 0;
    }
  }
}

TRect TImageSprite::GetBounds() {
  int32_t x = SpriteTrunc(AbsX());
  int32_t y = SpriteTrunc(AbsY());
  if (WrapAround && Engine()) {
    const TRect view = Engine()->ViewRect();
    // A sprite leaving one edge comes back at the opposite one. Without a view to wrap around
    // (nothing attached yet) the position is left alone rather than divided by zero.
    const int32_t spanX = SpriteAdd(view.Right, Width);
    const int32_t spanY = SpriteAdd(view.Bottom, Height);
    if (spanX > 0) {
      x = PositiveMod(x, spanX);
      if (x > view.Right) x = x - spanX;
    }
    if (spanY > 0) {
      y = PositiveMod(y, spanY);
      if (y > view.Bottom) y = y - spanY;
    }
  }
  return TRect{x, y, SpriteAdd(x, Width), SpriteAdd(y, Height)};
}

bool TImageSprite::BoundsFollowFields() const { return !WrapAround; }

TRect TImageSprite::DrawRect() {
  TRect r = GetBounds();
  const int32_t imageW = Image ? Image->Width() : 0;
  const int32_t imageH = Image ? Image->Height() : 0;
  const int32_t dx = (Width - imageW) / 2;  // C++ division truncates toward zero, like div
  const int32_t dy = (Height - imageH) / 2;
  return TRect{r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
}

void TImageSprite::DrawSelf() {
  if (!Image || !Engine()) return;
  const TRect r = DrawRect();
  Image->Draw(Engine()->Surface(), r.Left, r.Top, CurrentPattern());
}

bool TImageSprite::CollidesWith(TSprite* other) {
  auto* o = dynamic_cast<TImageSprite*>(other);
  if (!o || !PixelExact) return true;
  // A sprite without a picture has nothing to compare: the rectangle overlap stands.
  if (!Image || !o->Image) return true;
  const int32_t pa = CurrentPattern();
  const int32_t pb = o->CurrentPattern();
  const TRect da = DrawRect();
  const TRect db = o->DrawRect();
  return PixelOverlap(Image->PatternSurface(pa), o->Image->PatternSurface(pb),
                      Image->PatternRect(pa), o->Image->PatternRect(pb), da.Left, da.Top, db.Left,
                      db.Top, true);
}

// ---------------------------------------------------------------------------------------------
// TBackgroundSprite

TBackgroundSprite::TBackgroundSprite(TSprite* parent) : TSprite(parent) { CanCollide = false; }

TBackgroundSprite::~TBackgroundSprite() { ResizeMap(0, 0); }

void TBackgroundSprite::ResizeMap(int32_t columns, int32_t rows) {
  if (columns == mapColumns_ && rows == mapRows_) return;
  if (columns <= 0 || rows <= 0) {
    columns = 0;
    rows = 0;
  }
  const size_t count = static_cast<size_t>(columns) * static_cast<size_t>(rows);
  // Allocate before storing the size, so a map too large to hold leaves the old one intact.
  std::vector<int32_t> cells(count, 0);
  std::vector<uint8_t> solid(count, 1);
  cells_.swap(cells);
  solidCells_.swap(solid);
  mapColumns_ = columns;
  mapRows_ = rows;
}

int32_t TBackgroundSprite::CellPattern(int32_t col, int32_t row) const {
  if (!InMap(col, row)) return -1;
  return cells_[CellIndex(col, row)];
}

void TBackgroundSprite::SetCellPattern(int32_t col, int32_t row, int32_t pattern) {
  if (InMap(col, row)) cells_[CellIndex(col, row)] = pattern;
}

uint8_t TBackgroundSprite::CellSolid(int32_t col, int32_t row) const {
  if (!InMap(col, row)) return 0;
  return solidCells_[CellIndex(col, row)];
}

void TBackgroundSprite::SetCellSolid(int32_t col, int32_t row, uint8_t solid) {
  if (InMap(col, row)) solidCells_[CellIndex(col, row)] = solid;
}

void TBackgroundSprite::DrawSelf() {
  if (!BackImage || !Engine() || mapColumns_ <= 0 || mapRows_ <= 0) return;
  const TRect pattern0 = BackImage->PatternRect(0);
  const int32_t w = pattern0.Width();
  const int32_t h = pattern0.Height();
  // A picture whose surfaces are not built yet has no tile size to step by.
  if (w <= 0 || h <= 0) return;
  const TRect view = Engine()->ViewRect();
  TDirectDrawSurface* surface = Engine()->Surface();
  const int32_t columns = (view.Right + w) / w + 1;
  const int32_t rows = (view.Bottom + h) / h + 1;

  const int32_t x = SpriteTrunc(AbsX());
  const int32_t y = SpriteTrunc(AbsY());
  const int32_t ox = x % w;  // remainders keep the sign of x and y
  const int32_t oy = y % h;
  int32_t cx = x / w;
  int32_t cy = y / h;
  int32_t sx = 0, sy = 0;
  if (cx < 0) {
    sx = -cx;
    cx = 0;
  }
  if (cy < 0) {
    sy = -cy;
    cy = 0;
  }

  if (RepeatMap) {
    for (int32_t r = -1; r <= rows; ++r) {
      for (int32_t c = -1; c <= columns; ++c) {
        const int32_t col = PositiveMod(c - cx + sx, mapColumns_);
        const int32_t row = PositiveMod(r - cy + sy, mapRows_);
        const int32_t p = CellPattern(col, row);
        if (p >= 0) BackImage->Draw(surface, c * w + ox, r * h + oy, p);
      }
    }
    return;
  }
  const int32_t ex = std::min(cx + mapColumns_ - sx, columns);
  const int32_t ey = std::min(cy + mapRows_ - sy, rows);
  for (int32_t r = cy; r < ey; ++r) {
    for (int32_t c = cx; c < ex; ++c) {
      const int32_t p = CellPattern(c - cx + sx, r - cy + sy);
      if (p >= 0) BackImage->Draw(surface, c * w + ox, r * h + oy, p);
    }
  }
}

bool TBackgroundSprite::BoundsFollowFields() const { return false; }

TRect TBackgroundSprite::GetBounds() {
  if (RepeatMap) return Engine() ? Engine()->ViewRect() : TRect{};
  if (!BackImage) return TRect{};
  const int32_t x = SpriteTrunc(AbsX());
  const int32_t y = SpriteTrunc(AbsY());
  const int64_t w = static_cast<int64_t>(BackImage->Width()) * mapColumns_;
  const int64_t h = static_cast<int64_t>(BackImage->Height()) * mapRows_;
  return TRect{x, y, static_cast<int32_t>(x + w), static_cast<int32_t>(y + h)};
}

bool TBackgroundSprite::CollidesWith(TSprite* other) {
  if (!BackImage || mapColumns_ <= 0 || mapRows_ <= 0) return true;
  const TRect pattern0 = BackImage->PatternRect(0);
  const int32_t w = pattern0.Width();
  const int32_t h = pattern0.Height();
  // No tile size (surfaces not built): no cells to test, the rectangle overlap stands.
  if (w <= 0 || h <= 0) return true;

  const int32_t mx = SpriteTrunc(AbsX());
  const int32_t my = SpriteTrunc(AbsY());
  const TRect b = GetBounds();
  TRect r = other->GetBounds();
  TRect i{std::max(r.Left, b.Left), std::max(r.Top, b.Top), std::min(r.Right, b.Right),
          std::min(r.Bottom, b.Bottom)};
  // Into map coordinates.
  r = TRect{r.Left - mx, r.Top - my, r.Right - mx, r.Bottom - my};
  i = TRect{i.Left - mx, i.Top - my, i.Right - mx, i.Bottom - my};

  for (int32_t row = (i.Top - h + 1) / h; row <= i.Bottom / h; ++row) {
    for (int32_t col = (i.Left - w + 1) / w; col <= i.Right / w; ++col) {
      if (CellSolid(PositiveMod(col, mapColumns_), PositiveMod(row, mapRows_)) != 0 &&
          RectsOverlap(Bounds(col * w, row * h, w, h), r)) {
        return true;
      }
    }
  }
  return false;
}
