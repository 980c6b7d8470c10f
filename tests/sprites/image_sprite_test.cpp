// Image sprites: animation, bounds with wrap-around, drawing and pixel-exact collisions.
#include "sprites/image_sprite.h"

#include <gtest/gtest.h>

#include "display/surface.h"
#include "display_fixture.h"

using sprite_test::DisplayTest;

namespace {

// An engine with an 800 x 600 view, no display.
struct View {
  TDirectDrawSurface surface{16};
  TSpriteEngine engine;
  View() {
    surface.SetSize(800, 600);
    engine.AttachSurface(&surface);
  }
};

}  // namespace

// ---- animation ------------------------------------------------------------------------------

TEST(ImageSpriteAnimation, DefaultsStayOnTheFirstFrame) {
  View v;
  auto* s = new TImageSprite(&v.engine);
  EXPECT_EQ(s->FrameCount, 0);
  EXPECT_FALSE(s->FrameLoop);
  EXPECT_EQ(s->Image, nullptr);
  EXPECT_FALSE(s->PixelExact);
  EXPECT_FALSE(s->WrapAround);
  s->FirstFrame = 4;
  s->FramePos = 0.7;
  s->MoveStep(10);
  EXPECT_EQ(s->FramePos, 0.0);
  EXPECT_EQ(s->CurrentPattern(), 4);
}

TEST(ImageSpriteAnimation, NonLoopingStopsOnTheLastPattern) {
  View v;
  auto* s = new TImageSprite(&v.engine);
  s->FrameCount = 4;
  s->FrameRate = 0.25;
  s->FirstFrame = 10;
  s->MoveStep(6);  // 1.5
  EXPECT_DOUBLE_EQ(s->FramePos, 1.5);
  EXPECT_EQ(s->CurrentPattern(), 11);
  EXPECT_DOUBLE_EQ(s->FrameRate, 0.25);
  s->MoveStep(10);  // 4.0 reaches FrameCount
  EXPECT_DOUBLE_EQ(s->FramePos, 3.0);
  EXPECT_EQ(s->FrameRate, 0.0);
  EXPECT_EQ(s->CurrentPattern(), 13);
  s->MoveStep(100);
  EXPECT_DOUBLE_EQ(s->FramePos, 3.0);
}

TEST(ImageSpriteAnimation, NonLoopingBackwardsStopsAtZero) {
  View v;
  auto* s = new TImageSprite(&v.engine);
  s->FrameCount = 4;
  s->FramePos = 1.0;
  s->FrameRate = -0.5;
  s->MoveStep(3);
  EXPECT_EQ(s->FramePos, 0.0);
  EXPECT_EQ(s->FrameRate, 0.0);
}

TEST(ImageSpriteAnimation, LoopingWrapsAroundBothWays) {
  View v;
  auto* s = new TImageSprite(&v.engine);
  s->FrameLoop = true;
  s->FrameCount = 3;
  s->FramePos = 7.5;
  s->MoveStep(1);  // rate 0: only the wrap
  EXPECT_DOUBLE_EQ(s->FramePos, 1.5);
  EXPECT_EQ(s->CurrentPattern(), 1);
  s->FrameRate = 0.5;
  s->MoveStep(4);  // 3.5 -> 0.5
  EXPECT_DOUBLE_EQ(s->FramePos, 0.5);
  s->FrameRate = -1.0;
  s->MoveStep(2);  // -1.5 -> 1.5
  EXPECT_DOUBLE_EQ(s->FramePos, 1.5);
  EXPECT_DOUBLE_EQ(s->FrameRate, -1.0);  // a loop never stops by itself
  s->FrameCount = 0;
  s->MoveStep(1);
  EXPECT_EQ(s->FramePos, 0.0);
}

// ---- bounds ---------------------------------------------------------------------------------

TEST(ImageSpriteBounds, WrapAroundBringsTheSpriteBackAtTheOppositeEdge) {
  View v;
  auto* s = new TImageSprite(&v.engine);
  s->Width = 20;
  s->Height = 20;
  s->WrapAround = true;
  s->Y = 100;
  s->X = 801;  // 801 mod 820 = 801 > 800: 801 - 800 - 20
  EXPECT_EQ(s->GetBounds(), Rect(-19, 100, 1, 120));
  s->X = 800;
  EXPECT_EQ(s->GetBounds().Left, 800);
  s->X = -5;  // wraps to 815 > 800, which brings it back to -5
  EXPECT_EQ(s->GetBounds().Left, -5);
  s->X = 1650.9;  // 1650 mod 820 = 10
  EXPECT_EQ(s->GetBounds().Left, 10);
  s->X = 0;
  s->Y = 601;
  EXPECT_EQ(s->GetBounds(), Rect(0, -19, 20, 1));
  s->WrapAround = false;
  s->X = 801;
  EXPECT_EQ(s->GetBounds().Left, 801);
}

TEST(ImageSpriteBounds, WrapAroundWithoutAViewLeavesThePositionAlone) {
  TSpriteEngine engine;  // no surface: ViewRect (0, 0, 0, 0)
  auto* s = new TImageSprite(&engine);
  s->WrapAround = true;
  s->X = 37;
  EXPECT_EQ(s->GetBounds(), Rect(37, 0, 37, 0));
}

TEST(ImageSpriteBounds, DrawRectWithoutImageCentresAZeroSizedPicture) {
  View v;
  auto* s = new TImageSprite(&v.engine);
  s->X = 10;
  s->Width = 30;
  s->Height = 7;
  EXPECT_EQ(s->DrawRect(), Rect(25, 3, 55, 10));
}

// ---- with a display -------------------------------------------------------------------------

using ImageSpriteDisplay = DisplayTest;

TEST_F(ImageSpriteDisplay, DrawRectCentresTheImageInTheBox) {
  auto* img = AddSolid("pic", 20, 10, clRed);
  auto* s = new TImageSprite(Root());
  s->Image = img;
  s->X = 100;
  s->Y = 50;
  s->Width = 20;
  s->Height = 10;
  EXPECT_EQ(s->DrawRect(), s->GetBounds());
  s->Width = 30;
  s->Height = 13;
  EXPECT_EQ(s->DrawRect(), Rect(105, 51, 135, 64));
  s->Width = 17;  // (17 - 20) div 2 = -1, truncated toward zero
  s->Height = 9;  // (9 - 10) div 2 = 0
  EXPECT_EQ(s->DrawRect(), Rect(99, 50, 116, 59));
}

TEST_F(ImageSpriteDisplay, DrawsItsPatternAtTheDrawRectKeyedByTheImage) {
  // 4 x 2: red except a transparent (black) pixel at (1, 0).
  std::vector<TColor> px(8, clRed);
  px[1] = clBlack;
  auto* img = AddImage("pic", 4, 2, px);
  TDirectDrawSurface* back = draw->Back();
  back->Fill(0x001F);  // blue
  auto* s = new TImageSprite(Root());
  s->Image = img;
  s->X = 10.9;
  s->Y = 20;
  s->Width = 4;
  s->Height = 2;
  sprites->DrawAll();
  EXPECT_EQ(Root()->DrawnCount(), 1);
  const uint32_t red = back->ColorMatch(clRed);
  EXPECT_EQ(back->Pixels(10, 20), red);
  EXPECT_EQ(back->Pixels(11, 20), 0x001Fu);  // keyed out
  EXPECT_EQ(back->Pixels(13, 21), red);
  EXPECT_EQ(back->Pixels(14, 20), 0x001Fu);
  EXPECT_EQ(back->Pixels(9, 20), 0x001Fu);
}

TEST_F(ImageSpriteDisplay, PixelExactPairCollidesOnlyWhereBothAreOpaque) {
  // A 50 x 20 brick opaque only in its left half; a 20 x 20 solid ball.
  std::vector<TColor> brickPx(50 * 20, clBlack);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 25; ++x) brickPx[static_cast<size_t>(y * 50 + x)] = clYellow;
  }
  auto* brickImg = AddImage("brick", 50, 20, brickPx);
  auto* ballImg = AddSolid("ball", 20, 20, clWhite);
  auto* brick = new TImageSprite(Root());
  brick->Image = brickImg;
  brick->X = 100;
  brick->Y = 100;
  brick->Width = 50;
  brick->Height = 20;
  auto* ball = new TImageSprite(Root());
  ball->Image = ballImg;
  ball->Width = 20;
  ball->Height = 20;
  ball->X = 128;  // over the brick's transparent right half only
  ball->Y = 110;

  EXPECT_EQ(ball->CheckCollisions(), 1);  // nobody compares pixels yet
  brick->PixelExact = true;
  EXPECT_FALSE(brick->CollidesWith(ball));
  EXPECT_TRUE(ball->CollidesWith(brick));  // the ball itself is not pixel-exact
  EXPECT_EQ(ball->CheckCollisions(), 0);   // but the brick is asked too
  ball->X = 124;                           // one column over the opaque half
  EXPECT_EQ(ball->CheckCollisions(), 1);
  EXPECT_TRUE(brick->CollidesWith(ball));

  // Against a sprite that is not an image sprite the rectangle overlap stands.
  TSprite plain(Root());
  plain.X = 140;
  plain.Y = 100;
  plain.Width = 5;
  plain.Height = 5;
  EXPECT_TRUE(brick->CollidesWith(&plain));
  EXPECT_FALSE(brickImg->PatternSurface(0)->Locked());
}

TEST_F(ImageSpriteDisplay, PatternOutOfRangeAnswersTheRectangleResult) {
  auto* img = AddSolid("pic", 10, 10, clWhite);
  auto* a = new TImageSprite(Root());
  auto* b = new TImageSprite(Root());
  for (auto* s : {a, b}) {
    s->Image = img;
    s->Width = 10;
    s->Height = 10;
  }
  a->PixelExact = true;
  a->FirstFrame = 5;  // no such pattern: no surface, rectangle (0, 0, 0, 0)
  b->X = 500;
  EXPECT_FALSE(a->CollidesWith(b));
  // Without a picture at all the rectangle overlap that the check found stands.
  a->Image = nullptr;
  EXPECT_TRUE(a->CollidesWith(b));
}
