// Bricks: breaking and scoring, blast points and chains, the level-skip cheat, the hardened
// brick under bullets, the animation and the removal on the way back to the menu.
#include "game/sprites_fixture.h"

namespace {

using BrickTest = SpritesTest;

TEST_F(BrickTest, HitScoresThreeTimesTypePlusOne) {
  StartOnEmptyField();
  for (int type = 1; type <= 9; ++type) {
    TMonoSprite* b = AddBrick(type, 100.0 + 50 * type, 100.0);
    const int score = Score;
    const int broken = BricksBroken;
    b->Hit();
    EXPECT_EQ(Score - score, 3 * type + 1) << "type " << type;
    EXPECT_EQ(BricksBroken - broken, 1);
    EXPECT_FALSE(b->CanCollide);
    EXPECT_TRUE(b->IsDead());
  }
  EXPECT_EQ(Plays("snd"), 9);
  Step();
  EXPECT_TRUE(Alive<TMonoSprite>().empty());
  EXPECT_EQ(Score, 4 + 7 + 10 + 13 + 16 + 19 + 22 + 25 + 28);
}

TEST_F(BrickTest, BlastBreaksTheBricksAroundStrictly) {
  StartOnEmptyField();
  TMonoSprite* inner[] = {AddBrick(1, 250.0, 140.0), AddBrick(1, 350.0, 180.0),
                          AddBrick(1, 300.0, 140.0)};
  TMonoSprite* outer[] = {AddBrick(1, 351.0, 160.0), AddBrick(1, 300.0, 181.0),
                          AddBrick(1, 249.0, 160.0), AddBrick(1, 300.0, 139.0)};
  TMonoSprite* bomb = AddBrick(3, 300.0, 160.0);
  bomb->Hit();
  EXPECT_EQ(BlastCount, 1);
  EXPECT_EQ(BlastX[0], 300);
  EXPECT_EQ(BlastY[0], 160);
  // Nothing happens before the bricks' next steps.
  for (TMonoSprite* b : inner) EXPECT_TRUE(b->CanCollide);
  Step();
  auto alive = Alive<TMonoSprite>();
  ASSERT_EQ(alive.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(alive[static_cast<size_t>(i)], outer[i]);
  EXPECT_EQ(BricksBroken, 1 + 3);
  EXPECT_EQ(Score, 10 + 3 * 4);
}

TEST_F(BrickTest, BlastPointIsTheRoundedCorner) {
  StartOnEmptyField();
  TMonoSprite* bomb = AddBrick(3, 300.6, 159.6);
  bomb->Hit();
  EXPECT_EQ(BlastX[0], 301);
  EXPECT_EQ(BlastY[0], 160);
  AddBrick(3, 200.4, 99.4)->Hit();
  EXPECT_EQ(BlastX[1], 200);
  EXPECT_EQ(BlastY[1], 99);
}

TEST_F(BrickTest, NeighbouringExplosiveBricksChain) {
  StartOnEmptyField();
  // Made first, so it steps before the second bomb records its point.
  AddBrick(1, 400.0, 160.0);
  TMonoSprite* first = AddBrick(3, 300.0, 160.0);
  AddBrick(3, 350.0, 160.0);
  first->Hit();
  Step();
  EXPECT_EQ(BlastCount, 2);
  EXPECT_EQ(BlastX[1], 350);
  EXPECT_EQ(BlastY[1], 160);
  EXPECT_EQ(Alive<TMonoSprite>().size(), 1u);  // the plain one is out of the first blast's reach
  Step();
  EXPECT_TRUE(Alive<TMonoSprite>().empty());
  EXPECT_EQ(BricksBroken, 3);
  EXPECT_EQ(Score, 10 + 10 + 4);
}

TEST_F(BrickTest, BlastPointsWrapAfter254) {
  StartOnEmptyField();
  for (size_t i = 0; i < BlastX.size(); ++i) {
    BlastX[i] = -10000;
    BlastY[i] = -10000;
  }
  BlastX[5] = 600;  // an old point that is forgotten by the wrap
  BlastY[5] = 300;
  BlastCount = 254;
  TMonoSprite* bomb = AddBrick(3, 300.0, 160.0);
  bomb->Hit();
  EXPECT_EQ(BlastCount, 1);
  EXPECT_EQ(BlastX[0], 300);
  EXPECT_EQ(BlastY[0], 160);
  EXPECT_EQ(BlastX[254], -10000);  // the last entry is never written
  TMonoSprite* nearOld = AddBrick(1, 600.0, 300.0);
  AddBrick(1, 300.0, 140.0);
  Step();
  auto alive = Alive<TMonoSprite>();
  ASSERT_EQ(alive.size(), 1u);
  EXPECT_EQ(alive[0], nearOld);

  // From one, the count simply grows again.
  AddBrick(3, 700.0, 400.0)->Hit();
  EXPECT_EQ(BlastCount, 2);
  EXPECT_EQ(BlastX[1], 700);
}

TEST_F(BrickTest, LevelSkipBreaksEveryBrickAndCountsPaddleBreaksTwice) {
  StartOnEmptyField();
  PlacePaddle(100.0);
  AddBrick(1, 400.0, 100.0);
  AddBrick(5, 450.0, 100.0);
  AddBrick(9, 500.0, 100.0);
  AddBrick(2, 120.0, PaddleY);  // the paddle moves first and breaks this one
  SkipLevel = true;
  Step();
  EXPECT_TRUE(Alive<TMonoSprite>().empty());
  EXPECT_EQ(BricksBroken, 3 + 2);
  EXPECT_EQ(Score, 4 + 16 + 28 + 2 * 7);
}

TEST_F(BrickTest, HardenedBrickBreaksForSixteenUnderABullet) {
  StartOnEmptyField();
  GunArmed = true;
  AddBrick(5, 300.0, 200.0);
  AddPul(3, 315.0, 210.0);
  Step();
  EXPECT_TRUE(Alive<TMonoSprite>().empty());
  EXPECT_EQ(Score, 16);
  EXPECT_EQ(BricksBroken, 1);
  EXPECT_TRUE(Alive<TPulSprite>().empty());
  EXPECT_TRUE(Alive<TBonSprite>().empty());  // bullets never shake bonuses out
}

TEST_F(BrickTest, BulletBreaksEveryBrickItOverlapsAndBarrelsNone) {
  StartOnEmptyField();
  GunArmed = true;
  PlacePaddle(500.0);
  AddBrick(1, 280.0, 200.0);
  AddBrick(2, 330.0, 200.0);
  AddPul(3, 320.0, 210.0);  // straddles both
  Step();
  EXPECT_EQ(BricksBroken, 2);
  EXPECT_TRUE(Alive<TPulSprite>().empty());
  // A barrel lying on a brick does nothing to it (it also jumps back to the paddle).
  AddBrick(1, 100.0, 100.0);
  TPulSprite* barrel = AddPul(1, 110.0, 105.0);
  barrel->CheckCollisions();
  EXPECT_EQ(BricksBroken, 2);
  Step();
  EXPECT_EQ(Alive<TMonoSprite>().size(), 1u);
  EXPECT_EQ(barrel->X, 490.0);
  // A brick already hit in this check is not hit again, but the bullet still dies on it.
  TMonoSprite* spent = AddBrick(1, 600.0, 100.0);
  spent->CanCollide = false;
  TPulSprite* bullet = AddPul(3, 0.0, 0.0);
  bool done = false;
  bullet->HandleCollision(spent, done);
  EXPECT_EQ(BricksBroken, 2);
  EXPECT_FALSE(spent->IsDead());
  EXPECT_TRUE(bullet->IsDead());
}

TEST_F(BrickTest, AnimationCyclesEveryFiftySteps) {
  StartOnEmptyField();
  TMonoSprite* b = AddBrick(2, 100.0, 100.0);
  b->BrickFrame = 5;
  b->BrickTick = 48;
  TMonoSprite* plain = AddBrick(4, 200.0, 100.0);
  plain->BrickFrame = 3;
  TMonoSprite* hard = AddBrick(5, 300.0, 100.0);
  hard->BrickFrame = 2;
  hard->BrickTick = 49;
  TMonoSprite* fourth = AddBrick(6, 400.0, 100.0);
  fourth->BrickFrame = 4;
  fourth->BrickTick = 49;
  Step();
  EXPECT_EQ(hard->BrickFrame, 1);
  EXPECT_EQ(hard->BrickTick, 49);
  EXPECT_EQ(hard->Image, MainForm->GameImage("kirp51"));
  EXPECT_EQ(fourth->BrickFrame, 5);
  EXPECT_EQ(fourth->Image, MainForm->GameImage("kirp65"));
  EXPECT_EQ(b->BrickTick, 49);
  EXPECT_EQ(b->BrickFrame, 5);
  EXPECT_EQ(b->Image, MainForm->GameImage("kirp25"));
  EXPECT_TRUE(b->PixelExact);
  EXPECT_EQ(plain->BrickFrame, 1);
  EXPECT_EQ(plain->BrickTick, 0);
  Step();
  EXPECT_EQ(b->BrickTick, 0);
  EXPECT_EQ(b->BrickFrame, 1);
  EXPECT_EQ(b->Image, MainForm->GameImage("kirp21"));
  // In the level intro the frames go on but the picture stays.
  GameState = gsLevelIntro;
  b->BrickTick = 49;
  Step();
  EXPECT_EQ(b->BrickFrame, 2);
  EXPECT_EQ(b->Image, MainForm->GameImage("kirp21"));
  GameState = gsPlaying;
  Step();
  EXPECT_EQ(b->Image, MainForm->GameImage("kirp22"));
}

TEST_F(BrickTest, BricksLeaveOnTheWayToTheMenu) {
  StartOnEmptyField();
  AddBrick(1, 100.0, 100.0);
  AddBrick(2, 200.0, 100.0);
  ReturnToMenu = true;
  GameState = gsServe;
  Step();
  EXPECT_TRUE(Alive<TMonoSprite>().empty());
  EXPECT_EQ(BricksBroken, 0);
  ReturnToMenu = false;
  AddBrick(1, 100.0, 100.0);
  GameState = gsMenu;
  Step();
  EXPECT_TRUE(Alive<TMonoSprite>().empty());
  EXPECT_EQ(Score, 0);
}

}  // namespace
