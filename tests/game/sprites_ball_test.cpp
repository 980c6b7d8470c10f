// The ball: serving on the paddle, flight, edges and corners, loss, lives, level completion and
// its collisions with bricks and the paddle.
#include <cmath>

#include "game/levels.h"
#include "game/sprites_fixture.h"

namespace {

using BallTest = SpritesTest;

TEST_F(BallTest, NewBallWaitsOnThePaddleAndRidesAlong) {
  StartOnEmptyField();
  PlacePaddle(100.0);
  GunArmed = true;
  SkipLevel = true;
  PierceMode = true;
  BallKind = 3;
  BlastCount = 7;
  MainForm->NewBall();
  auto balls = Alive<TsharSprite>();
  ASSERT_EQ(balls.size(), 1u);
  TsharSprite* b = balls[0];
  EXPECT_EQ(b->X, 130.0);
  EXPECT_EQ(b->Y, PaddleY - 10);
  EXPECT_EQ(GameState, gsServe);
  EXPECT_EQ(BallsInPlay, 1);
  EXPECT_FALSE(GunArmed);
  EXPECT_FALSE(SkipLevel);
  EXPECT_FALSE(PierceMode);
  EXPECT_EQ(BallKind, 1);
  EXPECT_EQ(BlastCount, 0);

  Step();
  ASSERT_EQ(Alive<TsharSprite>().size(), 1u);
  EXPECT_EQ(b->X, 165.0);
  EXPECT_EQ(b->Y, PaddleY - 10);
  // The ball follows the paddle in the level intro too.
  PlacePaddle(200.0);
  GameState = gsLevelIntro;
  Step();
  EXPECT_EQ(b->X, 265.0);
}

TEST_F(BallTest, FlightCoversSpeedPlusFiveTimesPoint065PerMoveUnit) {
  StartOnEmptyField();
  TsharSprite* down = AddBall(300.0, 200.0, 0.0);
  TsharSprite* up = AddBall(500.0, 200.0, kPi);
  BallsInPlay = 2;
  BallSpeed = 1.0;
  Step(10);
  EXPECT_NEAR(down->Y, 203.9, 1e-9);
  EXPECT_NEAR(down->X, 300.0, 1e-9);
  EXPECT_NEAR(up->Y, 196.1, 1e-9);
  EXPECT_EQ(BallSpeed, 1.0);  // free flight never speeds up
  // The position of the ball that moved last, taken before its move.
  EXPECT_EQ(BallX, 500);
  EXPECT_EQ(BallY, 200);

  BallSpeed = 6.0;
  const double y0 = down->Y;
  Step(3);
  EXPECT_NEAR(down->Y - y0, 11 * 0.065 * 3, 1e-9);
  // Slow balls (bonus 4) still move forwards at 2 units.
  BallSpeed = -3.0;
  const double y1 = down->Y;
  Step(10);
  EXPECT_NEAR(down->Y - y1, 1.3, 1e-9);
}

TEST_F(BallTest, EveryStepReseedsTheGeneratorFromTheClock) {
  StartOnEmptyField();
  AddBall(300.0, 200.0, 0.0);
  BallsInPlay = 1;
  G().hl.clock->Set(123456);
  SetRandSeed(99);
  Step();
  EXPECT_EQ(RandSeed(), 123456u);
}

TEST_F(BallTest, RightAndLeftEdgesMirrorTheAngleWithJitter) {
  StartOnEmptyField();
  const int w = MainForm->W();
  TsharSprite* right = AddBall(w - 23.0, 300.0, kPi / 2);
  BallsInPlay = 1;
  BallSpeed = 1.0;
  PushScriptedRandom(0.75);  // jitter +0.025
  Step();
  EXPECT_NEAR(right->Angle, 2 * kPi - kPi / 2 + 0.025, 1e-12);
  EXPECT_EQ(right->X, w - 21.0);
  EXPECT_NEAR(BallSpeed, 1.01, 1e-12);
  EXPECT_EQ(Plays("pop"), 1);
  right->Kill();

  TsharSprite* left = AddBall(2.0, 300.0, -kPi / 2);
  PushScriptedRandom(0.25);  // jitter -0.025
  Step();
  EXPECT_NEAR(left->Angle, 2 * kPi + kPi / 2 - 0.025, 1e-12);
  EXPECT_EQ(left->X, 1.0);
  EXPECT_NEAR(BallSpeed, 1.02, 1e-12);
  EXPECT_EQ(Plays("pop"), 2);
}

TEST_F(BallTest, RightEdgeStartsAtWidthMinusTwenty) {
  StartOnEmptyField();
  const int w = MainForm->W();
  // Moving straight down at X = W - 20 exactly: the right edge applies.
  TsharSprite* at = AddBall(w - 20.0, 300.0, 0.0);
  BallsInPlay = 1;
  PushScriptedRandom(0.5);
  Step();
  EXPECT_EQ(at->X, w - 21.0);
  EXPECT_NEAR(at->Angle, 2 * kPi, 1e-12);
  at->Kill();
  // Just inside, nothing happens.
  TsharSprite* inside = AddBall(w - 20.5, 300.0, 0.0);
  Step();
  EXPECT_EQ(inside->X, w - 20.5);
  EXPECT_EQ(inside->Angle, 0.0);
  EXPECT_EQ(Plays("pop"), 1);
}

TEST_F(BallTest, TopEdgeTurnsTheVerticalDirection) {
  StartOnEmptyField();
  TsharSprite* b = AddBall(400.0, 2.0, kPi);
  BallsInPlay = 1;
  BallSpeed = 5.995;
  PushScriptedRandom(0.5);  // no jitter
  Step();
  EXPECT_NEAR(b->Angle, 0.0, 1e-12);
  EXPECT_EQ(b->Y, 1.0);
  EXPECT_NEAR(BallSpeed, 6.005, 1e-12);
  // At 6 and above bounces add nothing.
  b->Y = 2.0;
  b->Angle = kPi;
  PushScriptedRandom(0.5);
  Step();
  EXPECT_NEAR(BallSpeed, 6.005, 1e-12);
  EXPECT_EQ(Plays("pop"), 2);
}

TEST_F(BallTest, BeyondTheTopLeftCornerOnlyTheCornerTurnApplies) {
  StartOnEmptyField();
  TsharSprite* b = AddBall(2.0, 2.0, 5 * kPi / 4);
  BallsInPlay = 1;
  BallSpeed = 1.0;
  PushScriptedRandom(0.5);  // a turn of 0.75 pi
  Step();
  const double d = std::sin(5 * kPi / 4) * 3.9;
  EXPECT_NEAR(b->X, 2.0 + d, 1e-9);  // no reset to 1.0
  EXPECT_NEAR(b->Y, 2.0 + d, 1e-9);
  EXPECT_NEAR(b->Angle, 5 * kPi / 4 + 0.75 * kPi, 1e-12);
  EXPECT_EQ(BallSpeed, 1.0);
  EXPECT_EQ(Plays("pop"), 0);
}

TEST_F(BallTest, TopRightCornerTurnsAndThenStillBouncesOffBothEdges) {
  StartOnEmptyField();
  const int w = MainForm->W();
  TsharSprite* b = AddBall(w - 15.0, 2.0, 3 * kPi / 4);
  BallsInPlay = 1;
  BallSpeed = 1.0;
  PushScriptedRandom(0.0);  // corner: + pi/2
  PushScriptedRandom(0.5);  // right edge, no jitter
  PushScriptedRandom(0.5);  // top edge, no jitter
  Step();
  const double afterCorner = 3 * kPi / 4 + kPi / 2;
  const double afterRight = 2 * kPi - afterCorner;
  EXPECT_NEAR(b->Angle, kPi - afterRight, 1e-12);
  EXPECT_EQ(b->X, w - 21.0);
  EXPECT_EQ(b->Y, 1.0);
  EXPECT_NEAR(BallSpeed, 1.02, 1e-12);
  EXPECT_EQ(Plays("pop"), 2);
  EXPECT_EQ(ScriptedRandomLeft(), 0u);
}

TEST_F(BallTest, FallingOutCostsALifeAndServesANewBall) {
  StartOnEmptyField();
  const int h = MainForm->H();
  Lives = 3;
  PaddleSize = 5;
  PlacePaddle(40.0);
  // At H + 20 the ball is still in play; sideways flight keeps Y where it is.
  TsharSprite* edge = AddBall(400.0, h + 20.0, kPi / 2);
  BallsInPlay = 1;
  Step();
  ASSERT_EQ(Alive<TsharSprite>().size(), 1u);
  EXPECT_EQ(Lives, 3);
  edge->Kill();
  Step();

  AddBall(400.0, h + 21.0, kPi / 2);
  BallsInPlay = 1;
  MainForm->Timer2->SetEnabled(false);
  Step();
  EXPECT_EQ(Lives, 2);
  EXPECT_EQ(GameState, gsServe);
  EXPECT_EQ(PaddleSize, 3);
  EXPECT_FALSE(LoseBall);
  EXPECT_EQ(BallsInPlay, 1);
  EXPECT_TRUE(MainForm->Timer2->Enabled());
  auto balls = Alive<TsharSprite>();
  ASSERT_EQ(balls.size(), 1u);  // the lost one is gone, the new one waits
  EXPECT_EQ(balls[0]->X, 70.0);
  EXPECT_EQ(balls[0]->Y, PaddleY - 10);
}

TEST_F(BallTest, OneOfSeveralBallsFallingOutCostsNothing) {
  StartOnEmptyField();
  Lives = 3;
  AddBall(400.0, MainForm->H() + 50.0, kPi / 2);
  TsharSprite* kept = AddBall(300.0, 300.0, kPi / 2);
  BallsInPlay = 2;
  Step();
  auto balls = Alive<TsharSprite>();
  ASSERT_EQ(balls.size(), 1u);
  EXPECT_EQ(balls[0], kept);
  EXPECT_EQ(BallsInPlay, 1);
  EXPECT_EQ(Lives, 3);
  EXPECT_FALSE(LoseBall);
  EXPECT_EQ(GameState, gsPlaying);
}

TEST_F(BallTest, LastLifeLostEndsTheGame) {
  StartOnEmptyField();
  Lives = 1;
  Score = 10;  // below every record: no score entry
  AddBall(400.0, MainForm->H() + 30.0, kPi / 2);
  AddBall(300.0, 300.0, kPi / 2);
  BallsInPlay = 1;
  Step();
  EXPECT_EQ(Lives, 0);
  EXPECT_TRUE(LoseBall);
  EXPECT_TRUE(ReturnToMenu);
  EXPECT_EQ(GameState, gsMenu);
  // The other ball saw ReturnToMenu (gsReset) and took the lost-life step as well, without a
  // second game over; it is gone too.
  EXPECT_TRUE(Alive<TsharSprite>().empty());
  EXPECT_EQ(Score, 10);
}

TEST_F(BallTest, BonusOneEndsTheLifeWhileOtherBallsFlyOn) {
  StartOnEmptyField();
  Lives = 3;
  AddBall(200.0, 200.0, kPi / 2);
  TsharSprite* b = AddBall(300.0, 200.0, kPi / 2);
  TsharSprite* c = AddBall(400.0, 200.0, kPi / 2);
  BallsInPlay = 3;
  PlacePaddle(100.0);
  AddBonus(1, 130.0, PaddleY + 2);  // on the paddle: caught in the paddle's step
  Step();
  EXPECT_EQ(Score, 1);
  EXPECT_EQ(Lives, 2);
  auto balls = Alive<TsharSprite>();
  ASSERT_EQ(balls.size(), 3u);  // b, c and the new serve ball
  EXPECT_EQ(balls[0], b);
  EXPECT_EQ(balls[1], c);
  EXPECT_EQ(BallsInPlay, 1);
  EXPECT_EQ(GameState, gsServe);
}

TEST_F(BallTest, AFinishedLevelAdvancesOneLevelWhateverTheBalls) {
  StartOnEmptyField();
  Level = 5;
  BrickCount = 1;
  // One ball breaks the level's last brick; with three balls in play the next level is 6.
  AddBrick(1, 400.0, 300.0);
  AddBall(415.0, 300.0, kPi / 2);
  AddBall(100.0, 200.0, kPi / 2);
  AddBall(200.0, 200.0, kPi / 2);
  BallsInPlay = 3;
  PushScriptedRandom(0);  // no bonus from the hit
  Step();
  EXPECT_EQ(BricksBroken, 1);
  Step();
  EXPECT_EQ(Level, 6);
  EXPECT_EQ(GameState, gsLevelIntro);
  EXPECT_TRUE(MainForm->Timer2->Enabled());
  EXPECT_EQ(BrickCount, static_cast<int32_t>(game::ReadLevelFile(game::LevelFileName(6)).size()));
  EXPECT_EQ(BricksBroken, 0);
  EXPECT_EQ(BallsInPlay, 1);
  auto balls = Alive<TsharSprite>();
  ASSERT_EQ(balls.size(), 1u);
  EXPECT_EQ(balls[0]->X, PaddleX + 30);
  EXPECT_EQ(static_cast<int32_t>(Alive<TMonoSprite>().size()), BrickCount);
}

TEST_F(BallTest, TwoAndFiveBallsOnAClearedLevelAdvanceExactlyOneLevel) {
  for (int balls : {2, 5}) {
    SCOPED_TRACE(balls);
    StartOnEmptyField();
    Level = 8;
    BrickCount = 1;
    AddBrick(1, 400.0, 300.0);
    AddBall(415.0, 300.0, kPi / 2);  // breaks the last brick
    for (int b = 1; b < balls; ++b) AddBall(60.0 * b, 200.0, kPi / 2);
    BallsInPlay = balls;
    PushScriptedRandom(0);  // no bonus from the hit
    Step();
    ASSERT_EQ(BricksBroken, 1);
    // However many steps the balls take to leave, the level is raised once.
    for (int k = 0; k < 4; ++k) Step();
    EXPECT_EQ(Level, 9);
    EXPECT_EQ(GameState, gsLevelIntro);
    EXPECT_EQ(BallsInPlay, 1);
    EXPECT_EQ(Alive<TsharSprite>().size(), 1u);
    EXPECT_EQ(BrickCount, static_cast<int32_t>(game::ReadLevelFile(game::LevelFileName(9)).size()));
  }
}

TEST_F(BallTest, LevelTwentyIsPlayedAgain) {
  StartOnEmptyField();
  Level = 20;
  BrickCount = 0;  // an empty level completes at the first ball step
  AddBall(300.0, 300.0, kPi / 2);
  BallsInPlay = 1;
  Step();
  EXPECT_EQ(Level, 20);
  EXPECT_EQ(GameState, gsLevelIntro);
  EXPECT_EQ(BrickCount, static_cast<int32_t>(game::ReadLevelFile(game::LevelFileName(20)).size()));
}

TEST_F(BallTest, ALevelFinishedWithNoBallCountedKeepsTheBall) {
  StartOnEmptyField();
  Level = 3;
  BrickCount = 0;
  TsharSprite* stray = AddBall(300.0, 300.0, kPi / 2);
  BallsInPlay = 0;  // a ball left over from an earlier serve is not counted
  Step();
  EXPECT_EQ(Level, 4);
  EXPECT_EQ(GameState, gsLevelIntro);
  auto balls = Alive<TsharSprite>();
  ASSERT_EQ(balls.size(), 2u);
  EXPECT_EQ(balls[0], stray);
}

TEST_F(BallTest, TheGameEndsOnlyOnce) {
  StartOnEmptyField();
  // Already in the menu with the clearing pass done: a ball that still finds LoseBall only
  // counts the life down.
  AddBall(300.0, 300.0, kPi / 2);
  BallsInPlay = 1;
  Lives = 1;
  LoseBall = true;
  ReturnToMenu = false;
  GameState = gsMenu;
  Step();
  EXPECT_TRUE(Alive<TsharSprite>().empty());
  EXPECT_EQ(Lives, 0);
  EXPECT_FALSE(LoseBall);
  EXPECT_FALSE(ReturnToMenu);
  EXPECT_EQ(GameState, gsMenu);
}

TEST_F(BallTest, BrickHitReversesTheVerticalDirection) {
  StartOnEmptyField();
  AddBrick(2, 400.0, 300.0);
  TsharSprite* b = AddBall(415.0, 300.0, 0.3);
  BallsInPlay = 1;
  BallSpeed = 1.0;
  PushScriptedRandom(70);  // n = 70: no bonus
  Step();
  EXPECT_TRUE(Alive<TMonoSprite>().empty());
  EXPECT_EQ(Score, 7);
  EXPECT_EQ(BricksBroken, 1);
  EXPECT_NEAR(b->Angle, kPi - 0.3, 1e-12);
  EXPECT_NEAR(BallSpeed, 1.01, 1e-12);
  EXPECT_TRUE(Alive<TBonSprite>().empty());
}

TEST_F(BallTest, TwoBricksAtOnceKeepTheDirection) {
  StartOnEmptyField();
  AddBrick(1, 380.0, 300.0);
  AddBrick(1, 430.0, 300.0);
  TsharSprite* b = AddBall(420.0, 300.0, 0.0);
  BallsInPlay = 1;
  PushScriptedRandom(0);
  PushScriptedRandom(0);
  Step();
  EXPECT_EQ(BricksBroken, 2);
  EXPECT_NEAR(std::remainder(b->Angle, 2 * kPi), 0.0, 1e-12);
  EXPECT_NEAR(BallSpeed, 1.02, 1e-12);
}

TEST_F(BallTest, PierceModeBreaksWithoutTurning) {
  StartOnEmptyField();
  PierceMode = true;
  AddBrick(1, 380.0, 300.0);
  AddBrick(9, 430.0, 300.0);
  TsharSprite* b = AddBall(420.0, 300.0, 0.3);
  BallsInPlay = 1;
  PushScriptedRandom(0);
  PushScriptedRandom(0);
  Step();
  EXPECT_EQ(BricksBroken, 2);
  EXPECT_EQ(Score, 4 + 28);
  EXPECT_EQ(b->Angle, 0.3);
  EXPECT_TRUE(Alive<TMonoSprite>().empty());
}

TEST_F(BallTest, HardenedBrickTurnsIntoTypeFourAndPushesTheBallBack) {
  StartOnEmptyField();
  TMonoSprite* brick = AddBrick(5, 400.0, 300.0);
  TsharSprite* b = AddBall(415.0, 300.0, 0.3);
  BallsInPlay = 1;
  BallSpeed = 1.0;
  PushScriptedRandom(0.5);  // the random turn: 0.75 pi
  PushScriptedRandom(99);   // n = 99 would drop a bonus from any other brick
  Step();
  ASSERT_EQ(Alive<TMonoSprite>().size(), 1u);
  EXPECT_TRUE(brick->CanCollide);
  EXPECT_EQ(brick->BrickType, 4);
  EXPECT_EQ(Score, 0);
  EXPECT_EQ(BricksBroken, 0);
  EXPECT_EQ(Plays("morf"), 1);
  // Moved by 3.9 along 0.3, then pushed back 6 along the same angle.
  EXPECT_NEAR(b->X, 415.0 + std::sin(0.3) * 3.9 - std::sin(0.3) * 6.0, 1e-9);
  EXPECT_NEAR(b->Y, 300.0 + std::cos(0.3) * 3.9 - std::cos(0.3) * 6.0, 1e-9);
  EXPECT_NEAR(b->Angle, 0.3 + 0.75 * kPi, 1e-12);
  EXPECT_TRUE(Alive<TBonSprite>().empty());
  // Its next step shows the type-4 picture (the ball is taken away first).
  b->Kill();
  Step();
  EXPECT_EQ(brick->Image, MainForm->GameImage("kirp41"));
}

TEST_F(BallTest, PiercingBallStillOnlyHardensTypeFiveAndThenBreaksItForThirteen) {
  StartOnEmptyField();
  PierceMode = true;
  TMonoSprite* brick = AddBrick(5, 400.0, 300.0);
  TsharSprite* b = AddBall(415.0, 300.0, 0.3);
  BallsInPlay = 1;
  BallSpeed = 1.0;
  PushScriptedRandom(0);
  Step();
  EXPECT_EQ(brick->BrickType, 4);
  EXPECT_EQ(b->Angle, 0.3);
  EXPECT_NEAR(b->Y, 300.0 + std::cos(0.3) * 3.9 - std::cos(0.3) * 6.0, 1e-9);
  PushScriptedRandom(0);
  Step();
  EXPECT_EQ(Score, 13);
  EXPECT_EQ(BricksBroken, 1);
  EXPECT_TRUE(Alive<TMonoSprite>().empty());
}

TEST_F(BallTest, PaddleBounceTurnsOnlyTheFirstBallPerFrame) {
  StartOnEmptyField();
  PlacePaddle(100.0);
  TsharSprite* b = AddBall(150.0, PaddleY - 6.0, 0.0);
  TsharSprite* b2 = AddBall(180.0, PaddleY - 6.0, 0.0);
  BallsInPlay = 2;
  BallSpeed = 1.0;
  PushScriptedRandom(0.5);  // no jitter for the first ball
  Step();
  EXPECT_NEAR(b->Angle, kPi, 1e-12);
  EXPECT_TRUE(PaddleBounceDone);
  // The second ball touched the paddle in the same frame and kept its direction.
  EXPECT_EQ(b2->Angle, 0.0);
  EXPECT_NEAR(BallSpeed, 1.02, 1e-12);
  // The paddle's next keyboard step clears the flag again.
  b2->Kill();
  b->Y = 200.0;
  Step();
  EXPECT_FALSE(PaddleBounceDone);
}

TEST_F(BallTest, PaddleHandlerLiftsAndPushesOutToTheSides) {
  StartOnEmptyField();
  PlacePaddle(100.0);
  TsharSprite* b = AddBall(0.0, 0.0, 0.0);
  bool done = false;
  auto hit = [&](double x, double y) {
    b->X = x;
    b->Y = y;
    PaddleBounceDone = true;  // no turn: positions only
    b->HandleCollision(Paddle(), done);
  };
  hit(150.0, PaddleY + 5);
  EXPECT_EQ(b->Y, PaddleY - 5);
  EXPECT_EQ(b->X, 150.0);
  hit(150.0, PaddleY + 10);  // neither inside nor below
  EXPECT_EQ(b->Y, PaddleY + 10);
  EXPECT_EQ(b->X, 150.0);
  hit(150.0, PaddleY + 11);
  EXPECT_EQ(b->X, 95.0);
  hit(200.0, PaddleY + 11);
  EXPECT_EQ(b->X, 245.0);
  hit(170.0, PaddleY + 11);  // exactly on the split: stays
  EXPECT_EQ(b->X, 170.0);
  hit(240.0, PaddleY + 11);  // the far end is fixed at 140 whatever the size
  EXPECT_EQ(b->X, 240.0);
  hit(100.0, PaddleY + 11);
  EXPECT_EQ(b->X, 100.0);

  PaddleBounceDone = false;
  b->Angle = 0.4;
  PushScriptedRandom(1.0);  // the largest jitter, +0.05
  b->X = 150.0;
  b->Y = 300.0;
  b->HandleCollision(Paddle(), done);
  EXPECT_NEAR(b->Angle, kPi - 0.4 + 0.05, 1e-12);
  EXPECT_TRUE(PaddleBounceDone);
  // A ball on its way up keeps its direction; the flag and the speed-up stay.
  PaddleBounceDone = false;
  BallSpeed = 1.0;
  b->Angle = kPi - 0.4;
  b->HandleCollision(Paddle(), done);
  EXPECT_EQ(b->Angle, kPi - 0.4);
  EXPECT_TRUE(PaddleBounceDone);
  EXPECT_NEAR(BallSpeed, 1.01, 1e-12);
}

// Every starting direction Random(6) gives, 1000 serves each from a still paddle at many places,
// after waits of 0 to 4 frames and at many clock times (the jitter's seeds), 2 s at 60 Hz: by the
// sixth frame the ball rises above its serve height, and once it has left the paddle it does not
// touch it again. The paddle clears PaddleBounceDone in its step before the ball's, so the flag
// tells a touch.
TEST_F(BallTest, AServedBallLeavesThePaddleUpwardAndCostsNoLife) {
  StartOnEmptyField();
  int lost = 0, late = 0, back = 0;
  for (int d = 0; d < 6; ++d) {
    for (int i = 0; i < 1000; ++i) {
      Lives = 3;
      PlacePaddle(5.0 + (i * 37) % 640);
      G().hl.clock->Set(200000u + 7919u * static_cast<uint32_t>(i));
      PushScriptedRandom(d);
      MainForm->NewBall();
      TsharSprite* b = Alive<TsharSprite>().back();
      ASSERT_EQ(b->Angle, d);
      for (int w = 0; w < i % 5; ++w) Step(16);
      GameState = gsPlaying;  // the Space key's launch
      bool left = false;
      for (int f = 1; f <= 120; ++f) {
        Step(f % 3 == 0 ? 16 : 17);
        if (Lives != 3) break;  // the ball is gone
        if (f == 6 && !(std::cos(b->Angle) < 0 && b->Y < PaddleY - 10)) ++late;
        if (left && PaddleBounceDone) ++back;
        left = left || !PaddleBounceDone;
      }
      if (Lives != 3) ++lost;
      for (TsharSprite* s : Alive<TsharSprite>()) s->Kill();
      MainForm->DXSpriteEngine->PurgeDead();
    }
  }
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(late, 0);
  EXPECT_EQ(back, 0);
}

TEST_F(BallTest, EveryCollisionSpeedsUpBelowSix) {
  StartOnEmptyField();
  TsharSprite* b = AddBall(0.0, 0.0, 0.0);
  TBonSprite* bonus = AddBonus(4, 500.0, 100.0);
  bool done = false;
  BallSpeed = 5.995;
  b->HandleCollision(bonus, done);
  EXPECT_NEAR(BallSpeed, 6.005, 1e-12);
  b->HandleCollision(bonus, done);
  EXPECT_NEAR(BallSpeed, 6.005, 1e-12);
  EXPECT_EQ(b->Angle, 0.0);
  EXPECT_FALSE(done);
  BallSpeed = 6.0;
  b->HandleCollision(bonus, done);
  EXPECT_EQ(BallSpeed, 6.0);
  BallSpeed = -3.0;
  b->HandleCollision(bonus, done);
  EXPECT_NEAR(BallSpeed, -2.99, 1e-12);
}

TEST_F(BallTest, BrickAlreadyHitIsNotHitAgainButStillTurnsTheBall) {
  StartOnEmptyField();
  TMonoSprite* brick = AddBrick(2, 400.0, 300.0);
  TsharSprite* b = AddBall(0.0, 0.0, 0.3);
  brick->CanCollide = false;
  bool done = false;
  PushScriptedRandom(0);
  b->HandleCollision(brick, done);
  EXPECT_EQ(Score, 0);
  EXPECT_EQ(BricksBroken, 0);
  EXPECT_FALSE(brick->IsDead());
  EXPECT_NEAR(b->Angle, kPi - 0.3, 1e-12);
}

TEST_F(BallTest, MenuKillsTheBall) {
  StartOnEmptyField();
  AddBall(300.0, 300.0, 0.0);
  BallsInPlay = 1;
  GameState = gsMenu;
  Step();
  EXPECT_TRUE(Alive<TsharSprite>().empty());
  EXPECT_EQ(Lives, 3);
}

}  // namespace
