// Scenes of the whole game for the speed benchmarks: a started game on the headless platform with
// a play field of chosen sprites that can be put back to the same state before every measured
// tick, and the same field composed with SDL's own blits for comparison.
#pragma once

#include <SDL.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "game/game_sprites.h"
#include "support/game_harness.h"

namespace bench {

// A started game (assets loaded, menu shown) whose play field is built by hand. Every sprite the
// scene places is remembered with its starting place, so Rearm can undo one tick's motion.
class PlayScene {
 public:
  // Starts the whole game: windows, assets, display, menu.
  PlayScene() : game_(true) { game_.Start(); }
  PlayScene(const PlayScene&) = delete;
  PlayScene& operator=(const PlayScene&) = delete;

  GameHarness& Game() { return game_; }
  TMainForm& Form() { return *MainForm; }
  TSpriteEngine& Root() { return *MainForm->DXSpriteEngine->Engine(); }

  // Leaves the menu the way Enter does (NewGame, NewBall), then clears the field of everything but
  // the background and the paddle, so the scene decides what is on it.
  void EnterPlay() {
    game_.NewGameFromMenu();
    KillAll([](TSprite* s) {
      return dynamic_cast<TPlayerSprite*>(s) == nullptr &&
             dynamic_cast<TBackgroundSprite*>(s) == nullptr;
    });
    BallsInPlay = 0;
    GameState = gsPlaying;
  }

  // Kills the root's children for which `pick` says yes and frees them at once.
  template <class Pick>
  void KillAll(Pick pick) {
    TSpriteEngine& root = Root();
    for (int32_t i = 0; i < root.ChildCount(); ++i)
      if (pick(root.Child(i))) root.Child(i)->Kill();
    root.PurgeDead();
  }

  // The bricks of level `level`, made by the game's own LoadLevel.
  void LoadLevelBricks(int level) {
    Level = level;
    MainForm->LoadLevel();
    GameState = gsPlaying;
  }

  // `n` bricks of level 20's grid, the k-th on cell k mod 196 (stacked once the grid is full):
  // made the way LoadLevel makes them, types cycling through 1..9.
  void AddBricks(int n) {
    for (int k = 0; k < n; ++k) {
      auto* brick = new TMonoSprite(&Root());
      brick->BrickType = 1 + k % 9;
      brick->BrickTick = k % 50;
      brick->BrickFrame = 1;
      brick->Image = MainForm->GameImage("kirp" + std::to_string(brick->BrickType) + "1");
      const int cell = k % 196;
      brick->Width = brick->Image->Width();
      brick->Height = brick->Image->Height();
      brick->X = 100.0 + brick->Width * (cell % 14);
      brick->Y = 100.0 + brick->Height * (cell / 14);
      brick->SetZ(1);
    }
    BrickCount += n;
  }

  // A flying ball at (x, y) heading `angle`.
  TsharSprite* AddBall(double x, double y, double angle) {
    auto* ball = new TsharSprite(&Root());
    Dress(ball, MainForm->GameImage("shar1"));
    ball->X = x;
    ball->Y = y;
    ball->Angle = angle;
    ball->SetZ(2);
    ball->WrapAround = false;
    balls_.push_back({ball, x, y, angle});
    ++BallsInPlay;
    return ball;
  }

  // `n` balls spread over the empty band between the bricks (which end at y = 380) and the
  // paddle (y = 530): they move about 6 pixels a tick and meet neither.
  void AddBalls(int n) {
    for (int k = 0; k < n; ++k) {
      const double x = 20.0 + (k * 97) % 740;
      const double y = 400.0 + (k * 37) % 90;
      AddBall(x, y, 1.0 + 0.7 * (k % 4));
    }
  }

  // A falling bonus of kind `kind` at (x, y), falling at `speed`.
  TBonSprite* AddBonus(int kind, double x, double y, double speed) {
    auto* bonus = new TBonSprite(&Root());
    bonus->BonusKind = kind;
    Dress(bonus, MainForm->GameImage("b" + std::to_string(kind)));
    bonus->X = x;
    bonus->Y = y;
    bonus->FallSpeed = speed;
    bonus->SetZ(2);
    others_.push_back({bonus, x, y});
    return bonus;
  }

  // Arms the paddle's gun: the two barrels ride on the paddle.
  void ArmGun() {
    GunArmed = true;
    GunReady = true;
    for (int32_t i = 1; i <= 2; ++i) {
      auto* barrel = new TPulSprite(&Root());
      Dress(barrel, MainForm->GameImage("b13"));
      barrel->GunMode = i;
      barrel->X = PaddleX;
      barrel->Y = PaddleY - 5;
      barrel->SetZ(5);
      standing_.push_back(barrel);
    }
  }

  // A bullet in flight at (x, y) (below the bricks, so it hits nothing during one tick).
  TPulSprite* AddBullet(double x, double y) {
    auto* bullet = new TPulSprite(&Root());
    Dress(bullet, MainForm->GameImage("b14"));
    bullet->GunMode = 3;
    bullet->X = x;
    bullet->Y = y;
    bullet->SetZ(2);
    others_.push_back({bullet, x, y});
    standing_.push_back(bullet);
    return bullet;
  }

  // Puts the scene back to its starting state after a tick: frees the bullets the gun fired,
  // returns balls, bonuses and bullets to their places, re-arms the gun, moves the clock on (so
  // sound channels come free) and forgets what the headless platform recorded.
  void Rearm() {
    if (fireHeld_) {
      KillAll([this](TSprite* s) {
        auto* p = dynamic_cast<TPulSprite*>(s);
        return p && p->GunMode == 3 && !IsStanding(p);
      });
    }
    for (BallPlace& b : balls_) {
      b.ball->X = b.x;
      b.ball->Y = b.y;
      b.ball->Angle = b.angle;
    }
    for (Place& p : others_) {
      p.sprite->X = p.x;
      p.sprite->Y = p.y;
    }
    GameState = gsPlaying;
    GunReady = GunArmed;
    BallSpeed = 1.0;
    BallsInPlay = static_cast<int32_t>(balls_.size());
    LoseBall = false;
    game_.hl.clock->Advance(16);
    game_.hl.audio->ClearPlays();
  }

  // Holds the fire key (Space): the paddle fires the armed gun every tick.
  void HoldFire() {
    fireHeld_ = true;
    game_.Hold(platform::VK_SPACE);
  }

  // One frame of the game's frame loop with a 16 ms lag.
  void Tick() { MainForm->DXTimerTimer(nullptr, 16); }

  int BallCount() const { return static_cast<int>(balls_.size()); }

  // Dresses `s` the way the game does: image plus the box taken from its size.
  static void Dress(TImageSprite* s, TPictureCollectionItem* image) {
    s->Image = image;
    s->Width = image->Width();
    s->Height = image->Height();
  }

 private:
  struct BallPlace {
    TsharSprite* ball;
    double x, y, angle;
  };
  struct Place {
    TSprite* sprite;
    double x, y;
  };
  bool IsStanding(const TSprite* s) const {
    for (const TSprite* t : standing_)
      if (t == s) return true;
    return false;
  }

  GameHarness game_;
  std::vector<BallPlace> balls_;
  std::vector<Place> others_;
  std::vector<const TSprite*> standing_;
  bool fireHeld_ = false;
};

// SDL copies of the pictures of the game's image lists, each an RGB565 surface made from the
// pixels of the picture's first pattern, colour-keyed like the picture.
class SdlPictures {
 public:
  SdlPictures() = default;
  SdlPictures(const SdlPictures&) = delete;
  SdlPictures& operator=(const SdlPictures&) = delete;
  ~SdlPictures() {
    for (auto& [item, surface] : surfaces_) SDL_FreeSurface(surface);
  }

  // Copies every picture of `list`; with `rle` the colour-keyed copies are run-length encoded.
  void AddList(TDXImageList& list, bool rle = false) {
    for (int i = 0; i < list.Items.Count(); ++i) Add(list.Items.Items(i), rle);
  }

  // The copy of `item` (nullptr when it has no pattern).
  SDL_Surface* Of(const TPictureCollectionItem* item) const {
    auto it = surfaces_.find(item);
    return it == surfaces_.end() ? nullptr : it->second;
  }

 private:
  void Add(TPictureCollectionItem* item, bool rle) {
    if (item->PatternCount() == 0) return;
    TDirectDrawSurface* src = item->PatternSurface(0);
    const TRect r = item->PatternRect(0);
    const PixelBuffer buf = src->Buffer();
    SDL_Surface* s =
        SDL_CreateRGBSurfaceWithFormat(0, r.Width(), r.Height(), 16, SDL_PIXELFORMAT_RGB565);
    for (int y = 0; y < r.Height(); ++y) {
      const uint8_t* from = buf.bits + static_cast<size_t>(r.Top + y) * buf.pitch + r.Left * 2;
      std::memcpy(static_cast<uint8_t*>(s->pixels) + static_cast<size_t>(y) * s->pitch, from,
                  static_cast<size_t>(r.Width()) * 2);
    }
    if (item->Transparent && src->HasColorKey()) {
      SDL_SetColorKey(s, SDL_TRUE, src->ColorKey());
      if (rle) SDL_SetSurfaceRLE(s, 1);
    }
    surfaces_[item] = s;
  }

  std::unordered_map<const TPictureCollectionItem*, SDL_Surface*> surfaces_;
};

// Level 20 in play with balls, bonuses, the armed gun firing and bullets in flight: the scene the
// play-tick benchmarks measure.
inline void BuildDenseField(PlayScene& s) {
  s.EnterPlay();
  s.LoadLevelBricks(20);
  PaddleX = 300.0;
  PaddleSize = 3;
  Lives = 3;
  Score = 1234567;
  s.AddBalls(3);
  const double bonusX[6] = {20, 140, 460, 560, 660, 740};
  for (int k = 0; k < 6; ++k) s.AddBonus(1 + (k * 5) % 12, bonusX[k], 400.0 + 10 * k, 1 + k % 4);
  s.ArmGun();
  for (int k = 0; k < 8; ++k) s.AddBullet(40.0 + 95 * k, 400.0 + 12 * k);
  s.HoldFire();
  s.Rearm();
}

}  // namespace bench
