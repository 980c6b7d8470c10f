// The game's sprites: paddle, ball, brick, bonus, gun barrel and bullet. Each overrides the image
// sprite's hooks; all of them live directly under the engine root.
#pragma once

#include <cstdint>

#include "sprites/image_sprite.h"

class TMonoSprite;

// The paddle. Steered by the keyboard states or the joystick; launches the ball, fires the gun,
// breaks the bricks it touches and catches bonuses.
class TPlayerSprite : public TImageSprite {
 public:
  // The image sprite's creation under `parent`; the game sets picture, place and Z.
  explicit TPlayerSprite(TSprite* parent);
  // Picture from PaddleSize; outside the menu: keyboard or joystick steering, fire, collisions.
  void MoveStep(int32_t moveCount) override;
  // Breaks a touched brick, applies a touched bonus; Done := false.
  void HandleCollision(TSprite* other, bool& Done) override;
  // One shot of the armed gun: two bullets (left at PaddleX - 10, right at the barrel offset),
  // GunReady := false, "las" per bullet. Called by MoveStep when fire, GunArmed and GunReady hold.
  void FireGun();
};

// A ball: rides on the paddle while serving, flies along Angle while playing.
class TsharSprite : public TImageSprite {
 public:
  // The image sprite's creation under `parent`; the game sets picture, place and Z.
  explicit TsharSprite(TSprite* parent);
  double Angle = 0.0;  // direction in radians: moves by (sin, cos); 0 down, pi up
  // Rides on the paddle, flies and bounces off the edges, falls out, hands off a lost life or a
  // finished level, then checks its collisions.
  void MoveStep(int32_t moveCount) override;
  // Bricks: break (or harden type 5) and turn, maybe drop a bonus; paddle: bounce a ball that
  // moves down, lift, push out; every collision: BallSpeed + 0.01 while below 6.
  void HandleCollision(TSprite* other, bool& Done) override;
};

// A brick of type 1..9.
class TMonoSprite : public TImageSprite {
 public:
  // The image sprite's creation under `parent`; the game sets picture, place and Z.
  explicit TMonoSprite(TSprite* parent);
  int32_t BrickType = 1;   // 1..9
  int32_t BrickFrame = 1;  // 1..5, the picture variant
  int32_t BrickTick = 0;   // 0..49, steps towards the next picture
  // Breaks the brick: sound, pulse, blast point for type 3, kill, BricksBroken + 1, score.
  void Hit();
  // Level skip, blast test, picture animation, removal on the return to the menu.
  void MoveStep(int32_t moveCount) override;
};

// A falling bonus of kind 1..12.
class TBonSprite : public TImageSprite {
 public:
  // The image sprite's creation under `parent`; the game sets picture, place and Z.
  explicit TBonSprite(TSprite* parent);
  int32_t BonusKind = 1;   // 1..12: the effect and the picture "b" + kind
  double FallSpeed = 1.0;  // 1..4: tenths of a pixel per move unit
  // Falls; killed past the bottom, outside play, or once more bricks broke than the level has.
  void MoveStep(int32_t moveCount) override;
};

// Gun barrels (GunMode 1 left, 2 right; ride on the paddle) and bullets (GunMode 3).
class TPulSprite : public TImageSprite {
 public:
  // The image sprite's creation under `parent`; the game sets picture, place and Z.
  explicit TPulSprite(TSprite* parent);
  int32_t GunMode = 3;  // 1 left barrel, 2 right barrel, 3 flying bullet
  // Killed when the gun is unarmed or above the top; bullets rise, barrels follow the paddle.
  void MoveStep(int32_t moveCount) override;
  // A bullet breaks a collidable brick it touches and dies; barrels touch nothing.
  void HandleCollision(TSprite* other, bool& Done) override;
};

// x offset of the right gun barrel from PaddleX, by PaddleSize 1..5 (39, 54, 110, 156, 207);
// sizes outside 1..5 take the nearest end of the table.
int32_t BarrelOffset(int32_t paddleSize);

// A brick a ball has just handled may release a bonus at (bx, by): Random(100) > 70 and the
// brick not of type 4.
void BonusDrop(double bx, double by, TMonoSprite* brick);
// The paddle caught `bonus`: kill it, apply its effect, add its kind to Score. Kinds 2 and 3
// shift `paddle`'s X (when null, the first paddle under the engine root).
void ApplyBonus(TBonSprite* bonus, TSprite* paddle = nullptr);
// Angle of an extra ball for the draw d = Random(6): pi / d - pi/2 for d = 1..5; d = 0 (where
// that has no value) gives 3*pi/4, up and to the right, away from the paddle.
double ExtraBallAngle(int d);
