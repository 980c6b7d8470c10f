// The paddle: keyboard steering and its limits, the fire input, the gun, the joystick, and what
// its collision check does to bricks and bonuses.
#include "game/sprites_fixture.h"

namespace {

using platform::VK_LEFT;
using platform::VK_RIGHT;
using platform::VK_SPACE;

using PaddleTest = SpritesTest;

TEST_F(PaddleTest, LeftLimitAllowsOneStepPastTheEdge) {
  StartOnEmptyField();
  PlacePaddle(3.0);
  G().Hold(VK_LEFT);
  G().Frame();
  EXPECT_EQ(PaddleX, -4.5);
  EXPECT_EQ(Paddle()->X, -4.5);
  G().Frames(3);
  EXPECT_EQ(PaddleX, -4.5);
  // At 0 exactly the paddle already stands still.
  PlacePaddle(0.0);
  G().Frame();
  EXPECT_EQ(PaddleX, 0.0);
  G().Release(VK_LEFT);
  // The step is 7.5 pixels per frame whatever the frame's lag.
  PlacePaddle(300.0);
  G().Hold(VK_LEFT);
  G().Frame(40);
  EXPECT_EQ(PaddleX, 292.5);
}

TEST_F(PaddleTest, RightLimitDependsOnThePicturesWidth) {
  StartOnEmptyField();
  const int limit = MainForm->W() - MainForm->GameImage("pod3")->Width();
  PlacePaddle(limit - 4.0);
  G().Hold(VK_RIGHT);
  G().Frame();
  EXPECT_EQ(PaddleX, limit + 3.5);
  G().Frames(3);
  EXPECT_EQ(PaddleX, limit + 3.5);
  // Reaching the limit exactly stops the paddle there.
  PlacePaddle(limit - 7.5);
  G().Frames(2);
  EXPECT_EQ(PaddleX, static_cast<double>(limit));
  // A smaller paddle may go further.
  PaddleSize = 1;
  G().Frame();  // the picture changes first, the move uses the new width
  EXPECT_EQ(PaddleX, limit + 7.5);
}

TEST_F(PaddleTest, LeftAndRightTogetherStandStill) {
  StartOnEmptyField();
  PlacePaddle(200.0);
  G().Hold(VK_LEFT);
  G().Hold(VK_RIGHT);
  G().Frames(3);
  EXPECT_EQ(PaddleX, 200.0);
}

TEST_F(PaddleTest, FireLaunchesTheServeAndEndsTheLevelIntro) {
  StartOnEmptyField();
  GameState = gsServe;
  G().Frame();
  EXPECT_EQ(GameState, gsServe);
  G().Hold(VK_SPACE);
  G().Frame();
  EXPECT_EQ(GameState, gsPlaying);
  GameState = gsLevelIntro;
  G().Frame();
  EXPECT_EQ(GameState, gsPlaying);
  // Without the gun no bullet leaves.
  EXPECT_TRUE(Alive<TPulSprite>().empty());
}

TEST_F(PaddleTest, ArmedAndReadyGunFiresExactlyTwoBullets) {
  StartOnEmptyField();
  PlacePaddle(200.0);
  PaddleSize = 4;
  GunArmed = true;
  GunReady = true;
  MainForm->Timer3->SetEnabled(false);
  MainForm->DXInput->States().Include(isButton1);
  Step();
  auto bullets = Alive<TPulSprite>();
  ASSERT_EQ(bullets.size(), 2u);
  EXPECT_EQ(bullets[0]->X, 190.0);
  EXPECT_EQ(bullets[1]->X, 200.0 + 156);
  for (TPulSprite* b : bullets) {
    EXPECT_EQ(b->Y, PaddleY - 5);
    EXPECT_EQ(b->GunMode, 3);
    EXPECT_EQ(b->Z(), 2);
    EXPECT_EQ(b->Image, MainForm->GameImage("b14"));
    EXPECT_EQ(b->Width, MainForm->GameImage("b14")->Width());
  }
  EXPECT_FALSE(GunReady);
  EXPECT_EQ(Plays("las"), 2);
  // Held fire without a new tick of the gun timer fires nothing more.
  Step();
  Step();
  EXPECT_EQ(Alive<TPulSprite>().size(), 2u);
  // Ready but not armed: nothing.
  GunReady = true;
  GunArmed = false;
  Step();
  EXPECT_TRUE(Alive<TPulSprite>().empty());  // the unarmed bullets die as well
  EXPECT_TRUE(GunReady);
}

TEST_F(PaddleTest, GunTimerAllowsOnePairPerHundredMilliseconds) {
  StartOnEmptyField();
  PlacePaddle(200.0);
  GunArmed = true;
  GunReady = false;
  G().Hold(VK_SPACE);
  // 60 frames of 10 ms: the gun timer ticks about six times.
  G().Frames(60);
  const int bullets = static_cast<int>(Alive<TPulSprite>().size());
  EXPECT_EQ(bullets % 2, 0);
  EXPECT_GE(bullets, 2 * 5);
  EXPECT_LE(bullets, 2 * 7);
  EXPECT_EQ(Plays("las"), bullets);
  // With the gun timer stopped the gun falls silent after its last pair.
  MainForm->Timer3->SetEnabled(false);
  G().Frame();
  const size_t after = Alive<TPulSprite>().size();
  G().Frames(30);
  EXPECT_EQ(Alive<TPulSprite>().size(), after);
}

TEST_F(PaddleTest, JoystickOutOfRestSteersTheSpriteAndLocksTheKeys) {
  StartOnEmptyField();
  G().hl.joysticks->Plug();
  G().Frame();
  PlacePaddle(200.0);
  GameState = gsServe;
  G().hl.joysticks->SetAxes(0, 32767, 32767);
  G().Hold(VK_SPACE);
  G().Hold(VK_LEFT);
  PaddleBounceDone = true;
  G().Frame(10);
  const int ax = MainForm->DXInput->Joystick().AxisX();
  const int ay = MainForm->DXInput->Joystick().AxisY();
  ASSERT_GT(ax, 0);
  ASSERT_GT(ay, 0);
  const int lag = G().lastLag;
  EXPECT_NEAR(Paddle()->X, 200.0 + ax / 1000.0 * lag, 1e-9);
  EXPECT_NEAR(Paddle()->Y, PaddleY + ay / 1000.0 * lag, 1e-9);
  EXPECT_EQ(PaddleX, 200.0);      // not changed by the stick
  EXPECT_EQ(GameState, gsServe);  // fire not read
  EXPECT_TRUE(PaddleBounceDone);  // not cleared
  // Back at rest: the keys work again and X returns to PaddleX; Y keeps the stick's change.
  G().hl.joysticks->SetAxes(0, 0, 0);
  G().Release(VK_LEFT);
  const double y = Paddle()->Y;
  G().Frame(10);
  EXPECT_EQ(Paddle()->X, 200.0);
  EXPECT_EQ(Paddle()->Y, y);
  EXPECT_EQ(GameState, gsPlaying);
  EXPECT_FALSE(PaddleBounceDone);
  // One axis out of rest is enough to take the keys away.
  G().hl.joysticks->SetAxes(0, 0, -32768);
  G().Hold(VK_LEFT);
  G().Frame(10);
  ASSERT_EQ(MainForm->DXInput->Joystick().AxisX(), 0);
  ASSERT_LT(MainForm->DXInput->Joystick().AxisY(), 0);
  EXPECT_EQ(PaddleX, 200.0);
  EXPECT_EQ(Paddle()->X, 200.0);
  EXPECT_LT(Paddle()->Y, y);
}

TEST_F(PaddleTest, PictureFollowsPaddleSizeAndTheMenuReadsNoInput) {
  StartOnEmptyField();
  PlacePaddle(100.0);
  PaddleSize = 5;
  GameState = gsMenu;
  TMonoSprite* brick = AddBrick(1, 150.0, PaddleY);  // lies on the paddle
  (void)brick;
  MainForm->DXInput->States().Include(isLeft);
  MainForm->DXInput->States().Include(isButton1);
  PaddleBounceDone = true;
  Step();
  EXPECT_EQ(Paddle()->Image, MainForm->GameImage("pod5"));
  EXPECT_EQ(Paddle()->Width, MainForm->GameImage("pod5")->Width());
  EXPECT_EQ(Paddle()->Height, MainForm->GameImage("pod1")->Height());
  EXPECT_EQ(PaddleX, 100.0);
  EXPECT_EQ(GameState, gsMenu);
  EXPECT_TRUE(PaddleBounceDone);
  EXPECT_EQ(BricksBroken, 0);  // no collision check: the brick only removed itself
  EXPECT_EQ(Score, 0);
  EXPECT_TRUE(Alive<TMonoSprite>().empty());
}

TEST_F(PaddleTest, TouchedBricksBreakAndBonusesAreCaught) {
  StartOnEmptyField();
  PlacePaddle(100.0);
  AddBrick(2, 120.0, PaddleY);
  AddBonus(5, 180.0, PaddleY);
  const int lives = Lives;
  Step();
  EXPECT_EQ(BricksBroken, 1);
  EXPECT_EQ(Score, 7 + 5);
  EXPECT_EQ(Lives, lives + 1);
  EXPECT_TRUE(Alive<TMonoSprite>().empty());
  EXPECT_TRUE(Alive<TBonSprite>().empty());
  EXPECT_EQ(Plays("snd"), 1);
  // A bonus dropped away from the paddle is not caught.
  AddBonus(5, 400.0, 200.0);
  Step();
  EXPECT_EQ(Alive<TBonSprite>().size(), 1u);
  EXPECT_EQ(Lives, lives + 1);
}

TEST_F(PaddleTest, BarrelOffsetsBySize) {
  EXPECT_EQ(BarrelOffset(1), 39);
  EXPECT_EQ(BarrelOffset(2), 54);
  EXPECT_EQ(BarrelOffset(3), 110);
  EXPECT_EQ(BarrelOffset(4), 156);
  EXPECT_EQ(BarrelOffset(5), 207);
}

}  // namespace
