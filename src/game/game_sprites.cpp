#include "game/game_sprites.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>

#include "display/imagelist.h"
#include "game/globals.h"
#include "game/main_form.h"
#include "input/input_states.h"
#include "toolkit/random.h"

namespace {

constexpr double kPi = std::numbers::pi;

// The picture `prefix` + number of the game's image list.
TPictureCollectionItem* Picture(const char* prefix, int32_t number) {
  return MainForm->GameImage(prefix, number);
}

// Image plus the box taken from its size, the way every game sprite is dressed at creation.
void Dress(TImageSprite* s, TPictureCollectionItem* image) {
  s->Image = image;
  s->Width = image->Width();
  s->Height = image->Height();
}

// The paddle: the first TPlayerSprite directly under the engine root.
TSprite* FindPaddle(TSprite* anyInTree) {
  TSprite* root = anyInTree->Engine();
  if (!root) return nullptr;
  for (int32_t i = 0; i < root->ChildCount(); ++i)
    if (auto* p = dynamic_cast<TPlayerSprite*>(root->Child(i))) return p;
  return nullptr;
}

// A ball bounce: the speed grows by 0.01 until it reaches 6.
void SpeedUp() {
  if (BallSpeed < 6) BallSpeed = BallSpeed + 0.01;
}

// Random jitter of an edge or paddle bounce: uniform in +-0.05 radians.
double Jitter() { return (Random() - 0.5) * 0.1; }

// A random turn of 90 to 180 degrees (corners and hardened bricks).
double QuarterTurn() { return (Random() + 1) * kPi / 2; }

}  // namespace

int32_t BarrelOffset(int32_t paddleSize) {
  static constexpr std::array<int32_t, 5> kOffsets = {39, 54, 110, 156, 207};
  if (paddleSize < 1) paddleSize = 1;
  if (paddleSize > 5) paddleSize = 5;
  return kOffsets[static_cast<size_t>(paddleSize - 1)];
}

double ExtraBallAngle(int d) {
  if (d == 0) return 3 * kPi / 4;
  return kPi / d - kPi / 2;
}

// ---------------------------------------------------------------------------------------------
// Paddle

TPlayerSprite::TPlayerSprite(TSprite* parent) : TImageSprite(parent) {}

void TPlayerSprite::MoveStep(int32_t moveCount) {
  TImageSprite::MoveStep(moveCount);
  // The picture follows PaddleSize even in the menu; the height stays that of "pod1".
  Image = Picture("pod", PaddleSize);
  Width = Image->Width();
  if (GameState == gsMenu) return;

  TDXInput* input = MainForm->DXInput;
  const int ax = input->Joystick().AxisX();
  const int ay = input->Joystick().AxisY();
  const double mouse = MainForm->TakeMouseMotion();
  if (ax == 0 && ay == 0) {
    PaddleBounceDone = false;
    const TInputStates& states = input->States();
    // The left mouse button serves and fires as Space does.
    if (states.Contains(isButton1) || MainForm->MouseButtonHeld()) {
      GameState = gsPlaying;
      if (GunArmed && GunReady) FireGun();
    }
    // The limits test the sprite's X, which still holds the previous step's PaddleX.
    if (states.Contains(isLeft) && X > 0) PaddleX = PaddleX - 7.5;
    if (states.Contains(isRight) && (MainForm->W() - Image->Width()) > X) PaddleX = PaddleX + 7.5;
    // The mouse's motion stops at the walls; a paddle the keys left a little beyond one is not
    // pulled back by it.
    const double right = MainForm->W() - Image->Width();
    if (mouse < 0) PaddleX = std::max(PaddleX + mouse, std::min(PaddleX, 0.0));
    if (mouse > 0) PaddleX = std::min(PaddleX + mouse, std::max(PaddleX, right));
    X = PaddleX;
    CheckCollisions();
  } else {
    // A deflected stick steers the sprite itself; PaddleX waits for the keyboard again.
    X = X + (ax / 1000.0) * moveCount;
    Y = Y + (ay / 1000.0) * moveCount;
    CheckCollisions();
  }
}

void TPlayerSprite::FireGun() {
  for (int i = 1; i <= 2; ++i) {
    auto* bullet = new TPulSprite(Engine());
    GunReady = false;
    MainForm->PlayEffect("las");
    Dress(bullet, MainForm->GameImage("b", 14));
    bullet->X = i == 1 ? PaddleX - 10 : PaddleX + BarrelOffset(PaddleSize);
    bullet->Y = PaddleY - 5;
    bullet->GunMode = 3;
    bullet->SetZ(2);
  }
}

void TPlayerSprite::HandleCollision(TSprite* other, bool& Done) {
  if (auto* brick = dynamic_cast<TMonoSprite*>(other)) brick->Hit();
  if (auto* bonus = dynamic_cast<TBonSprite*>(other)) ApplyBonus(bonus, this);
  Done = false;
}

// ---------------------------------------------------------------------------------------------
// Ball

TsharSprite::TsharSprite(TSprite* parent) : TImageSprite(parent) {}

void TsharSprite::MoveStep(int32_t moveCount) {
  Randomize();
  BallX = SpriteTrunc(X);
  BallY = SpriteTrunc(Y);
  if (ReturnToMenu) GameState = gsReset;
  TImageSprite::MoveStep(moveCount);
  if (GameState == gsMenu) Kill();
  if (GameState == gsServe || GameState == gsLevelIntro) X = PaddleX + 65;

  const int w = MainForm->W();
  const int h = MainForm->H();
  if (GameState == gsPlaying) {
    X = X + std::sin(Angle) * (BallSpeed + 5.0) * 0.065 * moveCount;
    Y = Y + std::cos(Angle) * (BallSpeed + 5.0) * 0.065 * moveCount;
    Image = Picture("shar", BallKind);

    // Corner turns, each with a fresh draw.
    if (X <= 0 && Y <= 0) Angle = Angle + QuarterTurn();
    if (X >= w - 20 && Y <= 0) Angle = Angle + QuarterTurn();

    // Beyond a corner of the window the turn above is all the ball gets in this step.
    const bool beyondCorner =
        (X <= 0 && Y <= 0) || (X >= w && Y <= 0) || (X <= 0 && Y >= h) || (X >= w && Y >= h);
    if (!beyondCorner) {
      if (X >= w - 20) {
        Angle = (2 * kPi - Angle) + Jitter();
        MainForm->PlayEffect("pop");
        SpeedUp();
        X = w - 21;
      }
      if (X <= 0) {
        Angle = (2 * kPi - Angle) + Jitter();
        MainForm->PlayEffect("pop");
        SpeedUp();
        X = 1.0;
      }
      if (Y <= 0) {
        Angle = (kPi - Angle) + Jitter();
        MainForm->PlayEffect("pop");
        SpeedUp();
        Y = 1.0;
      }
    }
  }

  // Fall-out at the bottom: there is no bottom edge.
  if (Y > h + 20) {
    BallsInPlay = BallsInPlay - 1;
    Kill();
    Y = 100.0;
    if (BallsInPlay <= 0) LoseBall = true;
  }

  // A lost life: the first ball to get here handles it.
  if (LoseBall) {
    BallsInPlay = 0;
    Kill();
    LoseBall = false;
    Y = 100.0;
    Lives = Lives - 1;
    if (Lives > 0) {
      MainForm->NewBall();
      GameState = gsServe;
      PaddleSize = 3;
      LoseBall = false;
      MainForm->RestartTimer2();
    } else if (GameState != gsMenu) {
      Lives = 0;
      LoseBall = true;
      ReturnToMenu = true;
      GameState = gsMenu;
      MainForm->GameOver();
      // The score-entry window runs modally from here and the step goes on when it closes.
      if (Score > RecordScores[5]) MainForm->OfferScoreEntry();
    }
  }

  // Level complete: each ball leaves, and the last one raises the level and sets up the next,
  // so a level cleared with several balls in play advances one level. The clearing of level 20
  // waits for the victory screen first.
  if (BricksBroken >= BrickCount && !MainForm->HoldForVictory()) {
    if (BallsInPlay > 0) {
      Kill();
      BallsInPlay = BallsInPlay - 1;
    }
    if (BallsInPlay == 0) {
      if (Level < 20) Level = Level + 1;
      MainForm->LoadLevel();
      MainForm->NewBall();
      GameState = gsLevelIntro;
      MainForm->RestartTimer2();
    }
  }

  CheckCollisions();
}

void TsharSprite::HandleCollision(TSprite* other, bool& /*Done*/) {
  if (auto* brick = dynamic_cast<TMonoSprite*>(other)) {
    const double hitX = X;
    const double hitY = Y;
    if (brick->BrickType != 5) {
      if (brick->CanCollide) brick->Hit();
      brick->CanCollide = false;
      if (!PierceMode) Angle = kPi - Angle;
    }
    if (brick->BrickType == 5) {
      // The hardened brick only turns into type 4 and pushes the ball back one unit step.
      brick->BrickType = 4;
      MainForm->PlayEffect("morf");
      X = X - std::sin(Angle) * (BallSpeed + 5.0);
      Y = Y - std::cos(Angle) * (BallSpeed + 5.0);
      if (!PierceMode) Angle = Angle + QuarterTurn();
    }
    BonusDrop(hitX, hitY, brick);
  }
  if (dynamic_cast<TPlayerSprite*>(other)) {
    // Only a ball on its way down is turned: a served ball starts inside the paddle and touches
    // it for several steps, and turning it on every one of them made it jitter, slide along the
    // paddle and drop off its end.
    if (!PaddleBounceDone && std::cos(Angle) > 0) Angle = (kPi - Angle) + Jitter();
    if (PaddleY < Y && Y < PaddleY + 10) Y = PaddleY - 5;
    if (Y > PaddleY + 10) {
      // Come in from the side: pushed out to the nearer end (the 140 width is fixed).
      if (PaddleX < X && X < PaddleX + 70) {
        X = PaddleX - 5;
      } else if (PaddleX + 70 < X && X < PaddleX + 140) {
        X = PaddleX + 145;
      }
    }
    PaddleBounceDone = true;
  }
  SpeedUp();
}

// ---------------------------------------------------------------------------------------------
// Brick

TMonoSprite::TMonoSprite(TSprite* parent) : TImageSprite(parent) {}

void TMonoSprite::Hit() {
  CanCollide = false;
  MainForm->PlayEffect("snd");
  if (BrickType == 3) {
    if (BlastCount < 255) BlastCount = BlastCount + 1;
    if (BlastCount >= 255) BlastCount = 1;
    const auto i = static_cast<size_t>(BlastCount - 1);
    BlastX[i] = SpriteTrunc(std::nearbyint(X));
    BlastY[i] = SpriteTrunc(std::nearbyint(Y));
  }
  Kill();
  BricksBroken = BricksBroken + 1;
  Score = Score + 3 * BrickType + 1;
}

void TMonoSprite::MoveStep(int32_t moveCount) {
  if (SkipLevel) Hit();

  // The bound is taken once: points recorded by this very test wait for the next steps. It is
  // held inside the arrays so that a stray count can never read past them.
  int32_t live = BlastCount;
  if (live > static_cast<int32_t>(BlastX.size())) live = static_cast<int32_t>(BlastX.size());
  for (int32_t i = 0; i < live; ++i) {
    const double bx = BlastX[static_cast<size_t>(i)];
    const double by = BlastY[static_cast<size_t>(i)];
    if (bx - 51 < X && X < bx + 51 && by - 21 < Y && Y < by + 21) {
      if (CanCollide) Hit();
      CanCollide = false;
    }
  }

  TImageSprite::MoveStep(moveCount);
  PixelExact = true;

  if (BrickType != 1 && BrickType != 4 && BrickType != 5) {
    BrickTick = BrickTick + 1;
    if (BrickTick >= 50) {
      BrickTick = 0;
      BrickFrame = BrickFrame + 1;
      if (BrickFrame >= 6) BrickFrame = 1;
    }
  } else {
    BrickFrame = 1;
  }

  // The intro and the menu freeze the pictures (the frames still advance).
  if (GameState != gsMenu && GameState != gsLevelIntro)
    Image =
        (BrickType >= 1 && BrickType <= 9 && BrickFrame >= 0 && BrickFrame <= 9)
            ? MainForm->GameImage("kirp", BrickType * 10 + BrickFrame)
            : MainForm->GameImage("kirp" + std::to_string(BrickType) + std::to_string(BrickFrame));

  if (GameState == gsMenu) Kill();
  if (ReturnToMenu) Kill();
}

// ---------------------------------------------------------------------------------------------
// Bonuses

TBonSprite::TBonSprite(TSprite* parent) : TImageSprite(parent) {}

void TBonSprite::MoveStep(int32_t moveCount) {
  TImageSprite::MoveStep(moveCount);
  Y = Y + moveCount * FallSpeed * 0.1;
  if (BricksBroken > BrickCount) Kill();
  if (GameState != gsPlaying) Kill();
  if (Y > MainForm->H()) Kill();
}

void BonusDrop(double bx, double by, TMonoSprite* brick) {
  const int n = Random(100);
  if (brick->BrickType == 4 || n <= 70) return;
  auto* bonus = new TBonSprite(brick->Engine());
  bonus->BonusKind = Random(12) + 1;
  if (n == 90) bonus->BonusKind = 12;
  Dress(bonus, Picture("b", bonus->BonusKind));
  bonus->X = bx;
  bonus->Y = by;
  bonus->SetZ(2);
  bonus->FallSpeed = Random(4) + 1;
}

void ApplyBonus(TBonSprite* bonus, TSprite* paddle) {
  bonus->Kill();
  const int32_t k = bonus->BonusKind;
  if (!paddle && (k == 2 || k == 3)) paddle = FindPaddle(bonus);
  switch (k) {
    case 1:
      LoseBall = true;
      break;
    case 2:
      if (PaddleSize >= 2) {
        PaddleSize = PaddleSize - 1;
        if (paddle) paddle->X = paddle->X + 25;
      }
      break;
    case 3:
      if (PaddleSize < 5) {
        PaddleSize = PaddleSize + 1;
        if (paddle) paddle->X = paddle->X - 20;
      }
      break;
    case 4:
      BallSpeed = -3.0;
      break;
    case 5:
      Lives = Lives + 1;
      break;
    case 6:
      PierceMode = true;
      BallKind = 4;
      break;
    case 7:
      BallKind = 3;
      break;
    case 8:
      BallSpeed = 6.0;
      break;
    case 9:
      BallKind = 2;
      break;
    case 10: {
      BallsInPlay = BallsInPlay + 1;
      auto* ball = new TsharSprite(bonus->Engine());
      Dress(ball, Picture("shar", BallKind));
      // From the spot of the ball that moved last.
      ball->X = BallX + 5;
      ball->Y = BallY + 5;
      Randomize();
      ball->Angle = ExtraBallAngle(Random(6));
      ball->SetZ(2);
      break;
    }
    case 11:
      GunArmed = true;
      for (int32_t i = 1; i <= 2; ++i) {
        auto* barrel = new TPulSprite(bonus->Engine());
        Dress(barrel, MainForm->GameImage("b", 13));
        barrel->X = BallX + 5;
        barrel->Y = BallY + 5;
        barrel->GunMode = i;
        barrel->SetZ(5);
      }
      break;
    case 12:
      SkipLevel = true;
      break;
    default:
      break;
  }
  Score = Score + k;
}

// ---------------------------------------------------------------------------------------------
// Gun barrels and bullets

TPulSprite::TPulSprite(TSprite* parent) : TImageSprite(parent) {}

void TPulSprite::MoveStep(int32_t moveCount) {
  // No inherited animation step for the gun's sprites.
  // The gun also leaves with the rest of an abandoned game (the menu's clearing pass): GunArmed
  // is cleared only by the next serve, and the menu would otherwise keep the barrels.
  if (!GunArmed || Y < 0 || ReturnToMenu) Kill();
  if (GunMode == 3) Y = Y - moveCount * 0.5;
  if (GunMode == 1) X = PaddleX - 10;
  if (GunMode == 2) X = PaddleX + BarrelOffset(PaddleSize);
  if (GunMode > 2) {
    Image = MainForm->GameImage("b", 14);
  } else {
    Image = MainForm->GameImage("b", 13);
    Y = PaddleY - 5;
  }
  CheckCollisions();
}

void TPulSprite::HandleCollision(TSprite* other, bool& /*Done*/) {
  auto* brick = dynamic_cast<TMonoSprite*>(other);
  if (GunMode != 3 || !brick) return;
  if (brick->CanCollide) brick->Hit();
  brick->CanCollide = false;
  Kill();
}
