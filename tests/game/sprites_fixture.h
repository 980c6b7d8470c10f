// Shared set-up of the game-sprite tests: the whole game on the headless platform, started into a
// running game whose field has been emptied, so each test lays out exactly the sprites it needs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <numbers>
#include <vector>

#include "game/game_sprites.h"
#include "sprites/dx_sprite_engine.h"
#include "support/game_harness.h"
#include "toolkit/random.h"

constexpr double kPi = std::numbers::pi;

class SpritesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_ = std::make_unique<GameHarness>();
    g_->Start();
    ASSERT_EQ(GameState, gsMenu);
    // The game's hits start the joystick effect "eff1"; give the input component its stored
    // properties if the main window has not (yet) done so.
    if (!HasEffect("eff1")) {
      ReadGameInputProperties(*MainForm->DXInput);
      MainForm->DXInput->Loaded();
    }
  }
  static bool HasEffect(const char* name) {
    try {
      MainForm->DXInput->Joystick().Effects().FindEffect(name);
      return true;
    } catch (const Exception&) {
      return false;
    }
  }
  void TearDown() override { g_.reset(); }

  GameHarness& G() { return *g_; }
  static TSpriteEngine* Root() { return MainForm->DXSpriteEngine->Engine(); }

  // The live sprites of class T directly under the root, in creation order.
  template <class T>
  static std::vector<T*> Alive() {
    std::vector<T*> out;
    for (int32_t i = 0; i < Root()->ChildCount(); ++i)
      if (auto* s = dynamic_cast<T*>(Root()->Child(i)); s && !s->IsDead()) out.push_back(s);
    return out;
  }
  static TPlayerSprite* Paddle() {
    auto all = Alive<TPlayerSprite>();
    return all.empty() ? nullptr : all.front();
  }

  // Enter in the menu (a new game with its serve ball), then every brick and ball removed: the
  // game plays on an empty field whose level cannot complete by itself.
  void StartOnEmptyField() {
    g_->NewGameFromMenu();
    ASSERT_EQ(GameState, gsServe);
    for (int32_t i = 0; i < Root()->ChildCount(); ++i) {
      TSprite* s = Root()->Child(i);
      if (!dynamic_cast<TPlayerSprite*>(s) && !dynamic_cast<TBackgroundSprite*>(s)) s->Kill();
    }
    MainForm->DXSpriteEngine->PurgeDead();
    BrickCount = 1000;
    BricksBroken = 0;
    BallsInPlay = 0;
    Score = 0;
    BlastCount = 0;
    GameState = gsPlaying;
    ClearScriptedRandom();
  }

  // One move pass and purge, as a frame runs them (the input states stay as they are).
  static void Step(int32_t moveCount = 10) {
    MainForm->DXSpriteEngine->MoveAll(moveCount);
    MainForm->DXSpriteEngine->PurgeDead();
  }

  static TMonoSprite* AddBrick(int32_t type, double x, double y) {
    auto* b = new TMonoSprite(Root());
    b->BrickType = type;
    b->Image = MainForm->GameImage("kirp" + std::to_string(type) + "1");
    b->X = x;
    b->Y = y;
    b->SetZ(1);
    b->Width = b->Image->Width();
    b->Height = b->Image->Height();
    return b;
  }
  static TsharSprite* AddBall(double x, double y, double angle) {
    auto* s = new TsharSprite(Root());
    s->Image = MainForm->GameImage("shar1");
    s->X = x;
    s->Y = y;
    s->Angle = angle;
    s->SetZ(2);
    s->Width = s->Image->Width();
    s->Height = s->Image->Height();
    return s;
  }
  static TBonSprite* AddBonus(int32_t kind, double x, double y, double fallSpeed = 1.0) {
    auto* s = new TBonSprite(Root());
    s->BonusKind = kind;
    s->FallSpeed = fallSpeed;
    s->Image = MainForm->GameImage("b" + std::to_string(kind));
    s->X = x;
    s->Y = y;
    s->SetZ(2);
    s->Width = s->Image->Width();
    s->Height = s->Image->Height();
    return s;
  }
  static TPulSprite* AddPul(int32_t mode, double x, double y) {
    auto* s = new TPulSprite(Root());
    s->GunMode = mode;
    s->Image = MainForm->GameImage(mode == 3 ? "b14" : "b13");
    s->X = x;
    s->Y = y;
    s->SetZ(mode == 3 ? 2 : 5);
    s->Width = s->Image->Width();
    s->Height = s->Image->Height();
    return s;
  }
  // Puts the paddle sprite on PaddleX (as its keyboard step would).
  static void PlacePaddle(double x) {
    PaddleX = x;
    Paddle()->X = x;
  }

  // How often the wave `name` has been started on the sound device so far.
  int Plays(const char* name) {
    TWaveCollectionItem* item = MainForm->DXWaveList->FindWave(name);
    if (!item->Buffer()) return 0;  // never played: no buffer made yet
    const platform::ChunkId id = item->Buffer()->ChunkId();
    int n = 0;
    for (const auto& p : g_->hl.audio->Plays())
      if (p.chunk == id) ++n;
    return n;
  }

 private:
  std::unique_ptr<GameHarness> g_;
};
