// The background sprite: its map, tiled drawing, bounds and cell collisions.
#include <gtest/gtest.h>

#include "display/surface.h"
#include "display_fixture.h"
#include "sprites/image_sprite.h"

using sprite_test::DisplayTest;

TEST(BackgroundMap, ResizeFillsPatternZeroAndSolidCells) {
  TSpriteEngine engine;
  auto* bg = new TBackgroundSprite(&engine);
  EXPECT_FALSE(bg->CanCollide);
  EXPECT_TRUE(bg->CanMove);
  EXPECT_EQ(bg->MapColumns(), 0);
  EXPECT_EQ(bg->CellPattern(0, 0), -1);
  EXPECT_EQ(bg->CellSolid(0, 0), 0);

  bg->ResizeMap(3, 2);
  EXPECT_EQ(bg->MapColumns(), 3);
  EXPECT_EQ(bg->MapRows(), 2);
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(bg->CellPattern(c, r), 0);
      EXPECT_EQ(bg->CellSolid(c, r), 1);
    }
  }
  EXPECT_EQ(bg->CellPattern(3, 0), -1);
  EXPECT_EQ(bg->CellPattern(0, 2), -1);
  EXPECT_EQ(bg->CellPattern(-1, 0), -1);
  EXPECT_EQ(bg->CellSolid(0, -1), 0);

  bg->SetCellPattern(2, 1, 7);
  bg->SetCellSolid(1, 1, 0);
  bg->SetCellPattern(5, 5, 9);  // outside: ignored
  EXPECT_EQ(bg->CellPattern(2, 1), 7);
  EXPECT_EQ(bg->CellPattern(1, 2), -1);
  EXPECT_EQ(bg->CellSolid(1, 1), 0);

  bg->ResizeMap(3, 2);  // the same size keeps the cells
  EXPECT_EQ(bg->CellPattern(2, 1), 7);
  bg->ResizeMap(2, 3);  // a new size refills them
  EXPECT_EQ(bg->CellPattern(1, 2), 0);
  EXPECT_EQ(bg->CellSolid(1, 1), 1);
  bg->ResizeMap(5, 0);
  EXPECT_EQ(bg->MapColumns(), 0);
  EXPECT_EQ(bg->MapRows(), 0);
  EXPECT_EQ(bg->CellPattern(0, 0), -1);
}

using BackgroundDisplay = DisplayTest;

TEST_F(BackgroundDisplay, RepeatedFullScreenPictureIsDrawnOnceAtTheOrigin) {
  // An 800 x 600 picture with a different colour at every corner region.
  std::vector<TColor> px(800 * 600, RGB(0, 128, 0));
  auto at = [&px](int x, int y) -> TColor& { return px[static_cast<size_t>(y * 800 + x)]; };
  at(0, 0) = RGB(255, 0, 0);
  at(799, 0) = RGB(0, 0, 255);
  at(0, 599) = RGB(255, 255, 0);
  at(799, 599) = RGB(255, 0, 255);
  auto* img = AddImage("background", 800, 600, px);
  auto* bg = new TBackgroundSprite(Root());
  bg->ResizeMap(1, 1);
  bg->BackImage = img;
  bg->SetZ(-2);
  bg->RepeatMap = true;
  TDirectDrawSurface* back = draw->Back();
  back->Fill(0);
  sprites->DrawAll();
  EXPECT_EQ(Root()->DrawnCount(), 1);
  EXPECT_EQ(back->Pixels(0, 0), back->ColorMatch(RGB(255, 0, 0)));
  EXPECT_EQ(back->Pixels(799, 0), back->ColorMatch(RGB(0, 0, 255)));
  EXPECT_EQ(back->Pixels(0, 599), back->ColorMatch(RGB(255, 255, 0)));
  EXPECT_EQ(back->Pixels(799, 599), back->ColorMatch(RGB(255, 0, 255)));
  EXPECT_EQ(back->Pixels(400, 300), back->ColorMatch(RGB(0, 128, 0)));
  EXPECT_EQ(bg->GetBounds(), Rect(0, 0, 800, 600));
}

TEST_F(BackgroundDisplay, RepeatedTileFollowsTheSpritesOffset) {
  // A 64 x 64 tile: red at its own (0, 0), blue at (54, 0), green elsewhere.
  std::vector<TColor> px(64 * 64, RGB(0, 255, 0));
  px[0] = RGB(255, 0, 0);
  px[54] = RGB(0, 0, 255);
  auto* img = AddImage("tile", 64, 64, px);
  auto* bg = new TBackgroundSprite(Root());
  bg->ResizeMap(1, 1);
  bg->BackImage = img;
  bg->RepeatMap = true;
  bg->X = 10;
  bg->Y = 10;
  TDirectDrawSurface* back = draw->Back();
  back->Fill(0);
  sprites->DrawAll();
  const uint32_t red = back->ColorMatch(RGB(255, 0, 0));
  const uint32_t blue = back->ColorMatch(RGB(0, 0, 255));
  EXPECT_EQ(back->Pixels(10, 10), red);
  EXPECT_EQ(back->Pixels(74, 74), red);
  EXPECT_EQ(back->Pixels(0, 10), blue);  // the tile to the left starts at -54
  EXPECT_EQ(back->Pixels(768 + 10, 576 + 10), red);
  EXPECT_EQ(back->Pixels(11, 10), back->ColorMatch(RGB(0, 255, 0)));
  // Nothing of the surface is left uncovered (the row above starts at -54 too).
  for (int y = 0; y < 600; y += 37) {
    for (int x = 0; x < 800; x += 41) ASSERT_NE(back->Pixels(x, y), 0u) << x << "," << y;
  }
}

TEST_F(BackgroundDisplay, BoundedMapDrawsItsCellsOnly) {
  // A 20 x 10 picture cut into two 10 x 10 patterns: 0 red, 1 blue.
  std::vector<TColor> px(20 * 10, RGB(255, 0, 0));
  for (int y = 0; y < 10; ++y) {
    for (int x = 10; x < 20; ++x) px[static_cast<size_t>(y * 20 + x)] = RGB(0, 0, 255);
  }
  auto* img = images->Items.AddItem();
  img->SetName("cells");
  img->Picture.SetGraphic(sprite_test::MakeDIB(20, 10, px));
  img->PatternWidth = 10;
  img->PatternHeight = 10;
  img->Restore();
  ASSERT_EQ(img->PatternCount(), 2);

  auto* bg = new TBackgroundSprite(Root());
  bg->BackImage = img;
  bg->ResizeMap(3, 1);
  bg->SetCellPattern(1, 0, 1);
  bg->SetCellPattern(2, 0, -1);  // empty
  bg->X = 100;
  bg->Y = 50;
  EXPECT_EQ(bg->GetBounds(), Rect(100, 50, 130, 60));
  TDirectDrawSurface* back = draw->Back();
  back->Fill(0);
  sprites->DrawAll();
  EXPECT_EQ(back->Pixels(100, 50), back->ColorMatch(RGB(255, 0, 0)));
  EXPECT_EQ(back->Pixels(115, 55), back->ColorMatch(RGB(0, 0, 255)));
  EXPECT_EQ(back->Pixels(125, 55), 0u);
  EXPECT_EQ(back->Pixels(99, 50), 0u);
  EXPECT_EQ(back->Pixels(100, 60), 0u);
  EXPECT_EQ(back->Pixels(100, 49), 0u);

  // Partly off the left edge: the cells that would lie left of 0 are skipped, the rest placed.
  back->Fill(0);
  bg->X = -15;
  sprites->DrawAll();
  EXPECT_EQ(back->Pixels(0, 50), back->ColorMatch(RGB(0, 0, 255)));
  EXPECT_EQ(back->Pixels(4, 50), back->ColorMatch(RGB(0, 0, 255)));
  EXPECT_EQ(back->Pixels(5, 50), 0u);
}

TEST_F(BackgroundDisplay, BoundsWithoutImageAreEmpty) {
  auto* bg = new TBackgroundSprite(Root());
  bg->ResizeMap(2, 2);
  bg->X = 10;
  EXPECT_EQ(bg->GetBounds(), Rect(0, 0, 0, 0));
  bg->RepeatMap = true;
  EXPECT_EQ(bg->GetBounds(), Rect(0, 0, 800, 600));
}

TEST_F(BackgroundDisplay, SolidCellsDecideCollisions) {
  auto* img = AddSolid("tile", 10, 10, clWhite);
  auto* bg = new TBackgroundSprite(Root());
  bg->BackImage = img;
  bg->ResizeMap(2, 2);
  bg->X = 100;
  bg->Y = 100;
  bg->SetCellSolid(0, 0, 0);
  TSprite other(Root());
  other.Width = 4;
  other.Height = 4;

  other.X = 103;  // inside cell (0, 0), which is not solid
  other.Y = 103;
  EXPECT_FALSE(bg->CollidesWith(&other));
  other.X = 108;  // reaches into cell (1, 0)
  EXPECT_TRUE(bg->CollidesWith(&other));
  other.X = 106;  // touches cell (1, 0) at its edge only
  EXPECT_FALSE(bg->CollidesWith(&other));
  other.X = 103;
  other.Y = 107;  // reaches into cell (0, 1)
  EXPECT_TRUE(bg->CollidesWith(&other));
  other.Y = 106;  // touches cell (0, 1) at its edge only
  EXPECT_FALSE(bg->CollidesWith(&other));

  // The background only takes part in checks once its owner lets it.
  other.Y = 103;
  other.X = 108;
  EXPECT_EQ(other.CheckCollisions(), 0);
  bg->CanCollide = true;
  EXPECT_EQ(other.CheckCollisions(), 1);

  // Without an image or map everything collides.
  bg->BackImage = nullptr;
  other.X = 103;
  EXPECT_TRUE(bg->CollidesWith(&other));
}

TEST_F(BackgroundDisplay, RepeatedMapCollisionsWrapTheCells) {
  auto* img = AddSolid("tile", 10, 10, clWhite);
  auto* bg = new TBackgroundSprite(Root());
  bg->BackImage = img;
  bg->ResizeMap(2, 1);
  bg->RepeatMap = true;
  bg->SetCellSolid(1, 0, 0);  // every odd column of cells is open
  TSprite other(Root());
  other.Width = 4;
  other.Height = 4;
  other.Y = 300;
  other.X = 13;  // column 1
  EXPECT_FALSE(bg->CollidesWith(&other));
  other.X = 53;  // column 5: 5 mod 2 = 1
  EXPECT_FALSE(bg->CollidesWith(&other));
  other.X = 43;  // column 4: 4 mod 2 = 0
  EXPECT_TRUE(bg->CollidesWith(&other));
}
