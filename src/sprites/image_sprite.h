// Sprites that draw pictures of an image list: TImageSprite shows one pattern of one picture, with
// an animation position and an optional pixel-exact collision test; TBackgroundSprite covers an
// area (or, repeated, the whole surface) with a map of cells, each showing one pattern.
#pragma once

#include <cstdint>
#include <vector>

#include "sprites/sprite.h"

class TDirectDrawSurface;
class TPictureCollectionItem;

// Pixel-exact overlap of two patterns: rect A of surface A drawn at (xa, ya) and rect B of
// surface B at (xb, yb). Without a surface: the rectangle overlap. With `comparePixels`, true
// only when some pixel of both patterns is opaque (differs from its surface's colour key) in the
// common area; a failed lock answers false, different bit depths answer true.
bool PixelOverlap(TDirectDrawSurface* surfaceA, TDirectDrawSurface* surfaceB, const TRect& rectA,
                  const TRect& rectB, int32_t xa, int32_t ya, int32_t xb, int32_t yb,
                  bool comparePixels);

class TImageSprite : public TSprite {
 public:
  // The base creation; the fields below start at zero/false/none.
  explicit TImageSprite(TSprite* parent);

  // Slot 1: draws CurrentPattern of Image at DrawRect's top-left on the engine's surface
  // (nothing without an Image or an engine).
  void DrawSelf() override;
  // Slot 2: advances the animation by moveCount x FrameRate (wrapping or stopping at the end).
  void MoveStep(int32_t moveCount) override;
  // Slot 3: the base bounds, wrapped around the engine's view when WrapAround is set.
  TRect GetBounds() override;
  // Slot 4: true unless both are image sprites, this one PixelExact, and no opaque pixels meet.
  bool CollidesWith(TSprite* other) override;
  // True unless WrapAround (the wrapped bounds also follow the engine's view).
  bool BoundsFollowFields() const override;

  // FirstFrame + Trunc(FramePos): the pattern shown.
  int32_t CurrentPattern() const;
  // GetBounds moved so that the picture is centred in the Width x Height box.
  TRect DrawRect();

  // Fields, in declaration order.
  int32_t FrameCount = 0;                   // number of animation patterns
  bool FrameLoop = false;                   // the animation wraps around
  double FramePos = 0.0;                    // animation position
  double FrameRate = 0.0;                   // animation advance per move unit
  int32_t FirstFrame = 0;                   // pattern index added to the animation position
  TPictureCollectionItem* Image = nullptr;  // the picture shown (not owned)
  bool PixelExact = false;                  // collision tests against image sprites compare pixels
  SpriteField<bool> WrapAround{this, false};  // the position wraps around the surface
};

class TBackgroundSprite : public TSprite {
 public:
  // The base creation with CanCollide false; an empty map.
  explicit TBackgroundSprite(TSprite* parent);
  // Sizes the map to 0 x 0 (releasing both arrays) before the base destruction.
  ~TBackgroundSprite() override;

  // Slot 1: draws the map's cells on the engine's surface (repeated over it with RepeatMap).
  void DrawSelf() override;
  // Slot 3: the whole view with RepeatMap; else the map's area; (0, 0, 0, 0) without BackImage.
  TRect GetBounds() override;
  // Slot 4: true when a solid cell overlaps the other's bounds (or there is no image or map).
  bool CollidesWith(TSprite* other) override;
  // False: the bounds follow the picture, the map and the engine's view.
  bool BoundsFollowFields() const override;

  // Sizes the map (both <= 0: empty). A new size refills every cell: pattern 0, solid 1.
  void ResizeMap(int32_t columns, int32_t rows);
  // Map width in cells.
  int32_t MapColumns() const { return mapColumns_; }
  // Map height in cells.
  int32_t MapRows() const { return mapRows_; }
  // The pattern of a cell; -1 outside the map. A negative pattern is an empty cell.
  int32_t CellPattern(int32_t col, int32_t row) const;
  // Sets the pattern of a cell; ignored outside the map.
  void SetCellPattern(int32_t col, int32_t row, int32_t pattern);
  // The collision byte of a cell; 0 outside the map.
  uint8_t CellSolid(int32_t col, int32_t row) const;
  // Sets the collision byte of a cell; ignored outside the map.
  void SetCellSolid(int32_t col, int32_t row, uint8_t solid);

  // Fields, in declaration order (the map arrays and size are reached through the calls above).
  TPictureCollectionItem* BackImage = nullptr;  // the picture whose patterns fill the cells

 private:
  bool InMap(int32_t col, int32_t row) const {
    return col >= 0 && col < mapColumns_ && row >= 0 && row < mapRows_;
  }
  size_t CellIndex(int32_t col, int32_t row) const {
    return static_cast<size_t>(col) + static_cast<size_t>(row) * static_cast<size_t>(mapColumns_);
  }

  std::vector<uint8_t> solidCells_;  // MapColumns x MapRows, row-major
  std::vector<int32_t> cells_;       // MapColumns x MapRows, row-major
  int32_t mapColumns_ = 0;
  int32_t mapRows_ = 0;

 public:
  bool RepeatMap = false;  // the map repeats endlessly and covers the whole surface
};
