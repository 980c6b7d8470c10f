// Bonuses: the drop after a ball's hit, the fall, the twelve effects of a catch, and the gun's
// barrels and bullets.
#include <cmath>

#include "game/sprites_fixture.h"

namespace {

using BonusTest = SpritesTest;

TEST_F(BonusTest, DropNeedsADrawAboveSeventy) {
  StartOnEmptyField();
  TMonoSprite* brick = AddBrick(1, 300.0, 200.0);
  PushScriptedRandom(70);
  BonusDrop(310.0, 205.0, brick);
  EXPECT_TRUE(Alive<TBonSprite>().empty());
  EXPECT_EQ(ScriptedRandomLeft(), 0u);

  PushScriptedRandom(71);
  PushScriptedRandom(2);  // kind 3
  PushScriptedRandom(2);  // falls at 3
  BonusDrop(310.0, 205.0, brick);
  auto bonuses = Alive<TBonSprite>();
  ASSERT_EQ(bonuses.size(), 1u);
  TBonSprite* b = bonuses[0];
  EXPECT_EQ(b->BonusKind, 3);
  EXPECT_EQ(b->FallSpeed, 3.0);
  EXPECT_EQ(b->X, 310.0);
  EXPECT_EQ(b->Y, 205.0);
  EXPECT_EQ(b->Z(), 2);
  EXPECT_EQ(b->Image, MainForm->GameImage("b3"));
  EXPECT_EQ(b->Width, MainForm->GameImage("b3")->Width());
  EXPECT_EQ(b->Height, MainForm->GameImage("b3")->Height());
}

TEST_F(BonusTest, NinetyForcesTheLevelSkipBonus) {
  StartOnEmptyField();
  TMonoSprite* brick = AddBrick(2, 300.0, 200.0);
  PushScriptedRandom(90);
  PushScriptedRandom(0);  // would be kind 1
  PushScriptedRandom(3);  // falls at 4
  BonusDrop(300.0, 200.0, brick);
  auto bonuses = Alive<TBonSprite>();
  ASSERT_EQ(bonuses.size(), 1u);
  EXPECT_EQ(bonuses[0]->BonusKind, 12);
  EXPECT_EQ(bonuses[0]->Image, MainForm->GameImage("b12"));
  EXPECT_EQ(bonuses[0]->FallSpeed, 4.0);
  // Any other draw keeps the random kind.
  PushScriptedRandom(99);
  PushScriptedRandom(11);
  PushScriptedRandom(0);
  BonusDrop(300.0, 200.0, brick);
  EXPECT_EQ(Alive<TBonSprite>().back()->BonusKind, 12);
  PushScriptedRandom(91);
  PushScriptedRandom(4);
  PushScriptedRandom(0);
  BonusDrop(300.0, 200.0, brick);
  EXPECT_EQ(Alive<TBonSprite>().back()->BonusKind, 5);
}

TEST_F(BonusTest, TypeFourBricksDropNothing) {
  StartOnEmptyField();
  TMonoSprite* brick = AddBrick(4, 300.0, 200.0);
  PushScriptedRandom(99);
  BonusDrop(300.0, 200.0, brick);
  EXPECT_TRUE(Alive<TBonSprite>().empty());
  EXPECT_EQ(ScriptedRandomLeft(), 0u);  // the draw is taken all the same
}

TEST_F(BonusTest, ABallsHitDropsTheBonusAtTheBallsPosition) {
  StartOnEmptyField();
  AddBrick(1, 400.0, 300.0);
  TsharSprite* ball = AddBall(415.0, 300.0, kPi / 2);
  BallsInPlay = 1;
  PushScriptedRandom(80);
  PushScriptedRandom(6);  // kind 7
  PushScriptedRandom(0);
  Step();
  auto bonuses = Alive<TBonSprite>();
  ASSERT_EQ(bonuses.size(), 1u);
  EXPECT_EQ(bonuses[0]->BonusKind, 7);
  EXPECT_EQ(bonuses[0]->X, ball->X);
  EXPECT_EQ(bonuses[0]->Y, ball->Y);
}

TEST_F(BonusTest, FallAndRemoval) {
  StartOnEmptyField();
  TBonSprite* b = AddBonus(4, 300.0, 100.0, 4.0);
  Step(10);
  EXPECT_NEAR(b->Y, 104.0, 1e-12);
  Step(25);
  EXPECT_NEAR(b->Y, 114.0, 1e-12);
  // At the window's height it is still there; below it, gone.
  b->Y = MainForm->H() - 4.0;
  Step(10);
  ASSERT_EQ(Alive<TBonSprite>().size(), 1u);
  EXPECT_EQ(b->Y, MainForm->H());
  Step(1);
  EXPECT_TRUE(Alive<TBonSprite>().empty());

  AddBonus(4, 300.0, 100.0);
  BricksBroken = BrickCount;
  Step();
  EXPECT_EQ(Alive<TBonSprite>().size(), 1u);
  BricksBroken = BrickCount + 1;
  Step();
  EXPECT_TRUE(Alive<TBonSprite>().empty());

  BricksBroken = 0;
  AddBonus(4, 300.0, 100.0);
  GameState = gsServe;
  Step();
  EXPECT_TRUE(Alive<TBonSprite>().empty());
}

TEST_F(BonusTest, PaddleSizeBonusesShiftTheSpriteOnlyWhenTheSizeChanges) {
  StartOnEmptyField();
  PlacePaddle(200.0);
  PaddleSize = 1;
  ApplyBonus(AddBonus(2, 0.0, 0.0));
  EXPECT_EQ(PaddleSize, 1);
  EXPECT_EQ(Paddle()->X, 200.0);
  EXPECT_EQ(Score, 2);

  PaddleSize = 3;
  ApplyBonus(AddBonus(2, 0.0, 0.0));
  EXPECT_EQ(PaddleSize, 2);
  EXPECT_EQ(Paddle()->X, 225.0);
  EXPECT_EQ(PaddleX, 200.0);

  PlacePaddle(200.0);
  PaddleSize = 5;
  ApplyBonus(AddBonus(3, 0.0, 0.0));
  EXPECT_EQ(PaddleSize, 5);
  EXPECT_EQ(Paddle()->X, 200.0);
  EXPECT_EQ(Score, 2 + 2 + 3);
}

TEST_F(BonusTest, LargerPaddleMovesTheRightBarrel) {
  StartOnEmptyField();
  PlacePaddle(200.0);
  PaddleSize = 4;
  GunArmed = true;
  TPulSprite* right = AddPul(2, 0.0, 0.0);
  ApplyBonus(AddBonus(3, 0.0, 0.0));
  EXPECT_EQ(PaddleSize, 5);
  EXPECT_EQ(Paddle()->X, 180.0);
  Step();
  EXPECT_EQ(Paddle()->Image, MainForm->GameImage("pod5"));
  EXPECT_EQ(Paddle()->X, 200.0);  // back on PaddleX
  EXPECT_EQ(right->X, 200.0 + 207);
  EXPECT_EQ(right->Y, PaddleY - 5);
}

TEST_F(BonusTest, SimpleEffects) {
  StartOnEmptyField();
  const int lives = Lives;
  ApplyBonus(AddBonus(5, 0.0, 0.0));
  EXPECT_EQ(Lives, lives + 1);
  EXPECT_EQ(Score, 5);

  BallSpeed = 1.0;
  ApplyBonus(AddBonus(4, 0.0, 0.0));
  EXPECT_EQ(BallSpeed, -3.0);
  ApplyBonus(AddBonus(8, 0.0, 0.0));
  EXPECT_EQ(BallSpeed, 6.0);

  ApplyBonus(AddBonus(7, 0.0, 0.0));
  EXPECT_EQ(BallKind, 3);
  ApplyBonus(AddBonus(9, 0.0, 0.0));
  EXPECT_EQ(BallKind, 2);
  EXPECT_FALSE(PierceMode);
  ApplyBonus(AddBonus(6, 0.0, 0.0));
  EXPECT_EQ(BallKind, 4);
  EXPECT_TRUE(PierceMode);

  EXPECT_FALSE(SkipLevel);
  ApplyBonus(AddBonus(12, 0.0, 0.0));
  EXPECT_TRUE(SkipLevel);
  EXPECT_FALSE(LoseBall);
  ApplyBonus(AddBonus(1, 0.0, 0.0));
  EXPECT_TRUE(LoseBall);
  EXPECT_EQ(Score, 5 + 4 + 8 + 7 + 9 + 6 + 12 + 1);
  Step();
  EXPECT_TRUE(Alive<TBonSprite>().empty());
}

TEST_F(BonusTest, BallKindChangesTheFlyingBallsPicture) {
  StartOnEmptyField();
  TsharSprite* b = AddBall(300.0, 300.0, kPi / 2);
  BallsInPlay = 1;
  ApplyBonus(AddBonus(7, 0.0, 0.0));
  Step();
  EXPECT_EQ(b->Image, MainForm->GameImage("shar3"));
}

TEST_F(BonusTest, ExtraBallGetsAFiniteAngleForEveryDraw) {
  StartOnEmptyField();
  BallX = 300;
  BallY = 250;
  BallsInPlay = 1;
  for (int d = 0; d <= 5; ++d) {
    PushScriptedRandom(d);
    ApplyBonus(AddBonus(10, 0.0, 0.0));
    TsharSprite* ball = Alive<TsharSprite>().back();
    EXPECT_TRUE(std::isfinite(ball->Angle)) << d;
    EXPECT_EQ(ball->Angle, ExtraBallAngle(d));
    EXPECT_EQ(ball->X, 305.0);
    EXPECT_EQ(ball->Y, 255.0);
    EXPECT_EQ(ball->Z(), 2);
    EXPECT_EQ(ball->Image, MainForm->GameImage("shar1"));
  }
  EXPECT_EQ(BallsInPlay, 7);
  EXPECT_EQ(Alive<TsharSprite>().size(), 6u);
  EXPECT_EQ(Score, 60);
  EXPECT_NEAR(ExtraBallAngle(1), kPi / 2, 1e-15);
  EXPECT_NEAR(ExtraBallAngle(2), 0.0, 1e-15);
  EXPECT_NEAR(ExtraBallAngle(3), -kPi / 6, 1e-15);
  EXPECT_NEAR(ExtraBallAngle(4), -kPi / 4, 1e-15);
  EXPECT_NEAR(ExtraBallAngle(5), -3 * kPi / 10, 1e-15);
  // The draw of 0 sends the ball up and to the right, away from the paddle.
  EXPECT_GT(std::sin(ExtraBallAngle(0)), 0.5);
  EXPECT_LT(std::cos(ExtraBallAngle(0)), -0.5);
}

TEST_F(BonusTest, ExtraBallReseedsAndFlies) {
  StartOnEmptyField();
  G().hl.clock->Set(777777);
  SetRandSeed(1);
  BallX = 300;
  BallY = 250;
  ApplyBonus(AddBonus(10, 0.0, 0.0));
  EXPECT_NE(RandSeed(), 1u);  // re-seeded from the clock, then one draw
  SetRandSeed(777777);
  const int expected = Random(6);
  TsharSprite* ball = Alive<TsharSprite>().back();
  EXPECT_EQ(ball->Angle, ExtraBallAngle(expected));
}

TEST_F(BonusTest, GunBonusAddsTwoBarrelsThatJumpOntoThePaddle) {
  StartOnEmptyField();
  PlacePaddle(300.0);
  BallX = 120;
  BallY = 80;
  ApplyBonus(AddBonus(11, 0.0, 0.0));
  EXPECT_TRUE(GunArmed);
  EXPECT_EQ(Score, 11);
  auto guns = Alive<TPulSprite>();
  ASSERT_EQ(guns.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(guns[static_cast<size_t>(i)]->GunMode, i + 1);
    EXPECT_EQ(guns[static_cast<size_t>(i)]->X, 125.0);
    EXPECT_EQ(guns[static_cast<size_t>(i)]->Y, 85.0);
    EXPECT_EQ(guns[static_cast<size_t>(i)]->Z(), 5);
    EXPECT_EQ(guns[static_cast<size_t>(i)]->Image, MainForm->GameImage("b13"));
  }
  Step();
  EXPECT_EQ(guns[0]->X, 290.0);
  EXPECT_EQ(guns[1]->X, 300.0 + 110);
  EXPECT_EQ(guns[0]->Y, PaddleY - 5);
  EXPECT_EQ(guns[1]->Y, PaddleY - 5);
  // A second gun bonus adds two more.
  ApplyBonus(AddBonus(11, 0.0, 0.0));
  EXPECT_EQ(Alive<TPulSprite>().size(), 4u);
}

TEST_F(BonusTest, BulletRisesHalfAPixelPerUnitAndDiesAboveTheTop) {
  StartOnEmptyField();
  PlacePaddle(300.0);
  GunArmed = true;
  GunReady = true;
  ASSERT_EQ(PaddleY - 5, 525.0);
  Paddle()->FireGun();
  ASSERT_EQ(Alive<TPulSprite>().size(), 2u);
  TPulSprite* bullet = Alive<TPulSprite>()[0];
  for (int frame = 1; frame <= 106; ++frame) {
    Step(10);
    ASSERT_EQ(Alive<TPulSprite>().size(), 2u) << frame;
  }
  EXPECT_EQ(bullet->Y, -5.0);
  Step(10);
  EXPECT_TRUE(Alive<TPulSprite>().empty());
}

TEST_F(BonusTest, LosingALifeWhileArmedRemovesBarrelsAndBullets) {
  StartOnEmptyField();
  PlacePaddle(300.0);
  Lives = 3;
  BallX = 100;
  BallY = 100;
  ApplyBonus(AddBonus(11, 0.0, 0.0));
  GunReady = true;
  Paddle()->FireGun();
  ASSERT_EQ(Alive<TPulSprite>().size(), 4u);
  AddBall(400.0, MainForm->H() + 25.0, kPi / 2);
  BallsInPlay = 1;
  Step();
  EXPECT_EQ(Lives, 2);
  EXPECT_FALSE(GunArmed);
  Step();
  EXPECT_TRUE(Alive<TPulSprite>().empty());
}

TEST_F(BonusTest, BulletsPassThroughBonusesBallsAndThePaddle) {
  StartOnEmptyField();
  GunArmed = true;
  PlacePaddle(300.0);
  AddBonus(4, 200.0, 300.0);
  AddBall(200.0, 280.0, kPi / 2);
  BallsInPlay = 1;
  TPulSprite* bullet = AddPul(3, 205.0, 300.0);
  TPulSprite* low = AddPul(3, 320.0, PaddleY + 10);  // starts on the paddle
  Step();
  auto guns = Alive<TPulSprite>();
  ASSERT_EQ(guns.size(), 2u);
  EXPECT_EQ(guns[0], bullet);
  EXPECT_EQ(guns[1], low);
  EXPECT_EQ(Score, 0);
}

}  // namespace
