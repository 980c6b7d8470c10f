// A scripted player for whole-game tests: it looks at the sprites on the field the way a person
// looks at the screen and steers with the same keys a person holds (left, right, space), one
// frame at a time. It reads the game's state but never writes it: every change it makes goes
// through the headless keyboard, the event queue or the mouse.
//
//   GameHarness g;  g.Start();  g.NewGameFromMenu();
//   ScriptedPlayer p(g);
//   while (Level == 1) p.Play();
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "game/game_sprites.h"
#include "game/globals.h"
#include "game/main_form.h"
#include "game/score_entry_window.h"
#include "platform/keys.h"
#include "sprites/dx_sprite_engine.h"
#include "support/game_harness.h"
#include "toolkit/application.h"

class ScriptedPlayer {
 public:
  struct Options {
    uint32_t lagMs = 16;        // milliseconds per frame
    bool launch = true;         // press space to launch a waiting ball / end the intro
    bool fireGun = true;        // hold space while the gun is armed
    bool chaseBonuses = false;  // go for falling bonuses when the ball leaves time for it
    bool dodgeLoseBall = true;  // keep the paddle away from bonus 1 when it can
    bool giveUp = false;        // steer away from the balls, to lose the game on purpose
    std::function<bool(int kind)> wanted;  // which bonuses to chase (default: all but kind 1)
  };

  // What the player decided for the last frame: the x the paddle was steered to and why.
  enum class Aim { None, Ball, Bonus, Serve };

  explicit ScriptedPlayer(GameHarness& g) : ScriptedPlayer(g, Options{}) {}
  ScriptedPlayer(GameHarness& g, Options o) : g_(g), o_(std::move(o)) {}
  ~ScriptedPlayer() { LetGo(); }
  ScriptedPlayer(const ScriptedPlayer&) = delete;
  ScriptedPlayer& operator=(const ScriptedPlayer&) = delete;

  // Looks at the field, holds or releases the keys, and runs one frame. False when no frame ran.
  bool Play() {
    Think();
    ++frames_;
    return g_.Frame(o_.lagMs);
  }
  // Runs frames until `done()` holds or `maxFrames` frames have run; returns the frames run.
  int PlayUntil(const std::function<bool()>& done, int maxFrames) {
    int n = 0;
    while (n < maxFrames && !done()) {
      Play();
      ++n;
    }
    return n;
  }
  // Lets go of every key the player may hold.
  void LetGo() {
    for (int vk : {platform::VK_LEFT, platform::VK_RIGHT, platform::VK_SPACE}) g_.Release(vk);
    left_ = right_ = space_ = false;
  }

  // Decides the keys for the next frame (Play calls it; tests may call it alone).
  void Think() {
    bool left = false, right = false, space = false;
    aim_ = Aim::None;
    const int state = GameState;
    if (state != gsMenu && state != 0) {
      if ((state == gsServe || state == gsLevelIntro) && o_.launch) {
        // A tap: held for one frame, let go for the next, so each launch is a fresh press.
        space = !space_;
        aim_ = Aim::Serve;
      }
      if (state == gsPlaying && GunArmed && o_.fireGun) space = true;
      const double target = ChooseTarget();
      if (!std::isnan(target)) {
        target_ = target;
        const double dx = target - PaddleX;
        // Half a step of dead band, so the paddle settles instead of shaking.
        if (dx < -kStep / 2) left = true;
        if (dx > kStep / 2) right = true;
      }
    }
    Set(platform::VK_LEFT, left, left_);
    Set(platform::VK_RIGHT, right, right_);
    Set(platform::VK_SPACE, space, space_);
  }

  // ---- commands a person gives with the keyboard and the mouse (between two frames)

  // A left click at screen point (x, y): move, press, release.
  void Click(int x, int y) {
    for (auto kind : {platform::EventKind::MouseMove, platform::EventKind::MouseDown,
                      platform::EventKind::MouseUp}) {
      platform::Event e;
      e.kind = kind;
      e.x = x;
      e.y = y;
      e.button = 1;
      g_.hl.events->Push(e);
    }
    g_.Pump();
  }
  // The cheat keys: "0" turns cheat mode on (when it is off), "9" skips the level.
  void SkipLevelWithCheatKeys() {
    if (!CheatMode) g_.Type("0");
    g_.Type("9");
  }
  // Opens the console with the grave accent, clicks into its field, clears it, types `code` and
  // closes it with Escape. False (and nothing typed) when the console did not open.
  bool EnterConsoleCode(const std::string& code) {
    g_.Type("`");
    if (!MainForm->Panel1->Visible()) return false;
    TEdit* edit = MainForm->Edit1;
    const TPoint o = edit->ScreenOrigin();
    Click(o.X + edit->Width() / 2, o.Y + edit->Height() / 2);
    g_.Press(platform::VK_END);
    for (size_t i = edit->Text().size(); i > 0; --i) g_.Press(platform::VK_BACK);
    g_.Type(code);
    const bool typed = edit->Text() == code;
    g_.Press(platform::VK_ESCAPE);
    return typed && !MainForm->Panel1->Visible();
  }
  // Alt+Enter: full screen to window and back (in the menu it also starts a game).
  void SwitchDisplay() { g_.Press(platform::VK_RETURN, /*alt=*/true); }

  // ---- what the player sees

  static TSpriteEngine* Root() { return MainForm->DXSpriteEngine->Engine(); }
  // Live sprites of class T directly under the root, in creation order.
  template <class T>
  static std::vector<T*> Live() {
    std::vector<T*> out;
    TSpriteEngine* root = Root();
    for (int32_t i = 0; i < root->ChildCount(); ++i)
      if (auto* s = dynamic_cast<T*>(root->Child(i)); s && !s->IsDead()) out.push_back(s);
    return out;
  }
  // Width of the paddle picture for the current PaddleSize.
  static int PaddleWidth() {
    return MainForm->ImageList->FindImage("pod" + std::to_string(PaddleSize))->Width();
  }
  // Pixels a ball covers in one frame of `lagMs`.
  static double BallStep(uint32_t lagMs) { return (BallSpeed + 5.0) * 0.065 * lagMs; }

  // Where the top-left x of `ball` will be when its bottom reaches the paddle's top, following
  // the bounces off the side walls (and off the top when it is rising). Bricks are not foreseen.
  static double LandingX(const TsharSprite& ball) {
    return Fold(UnfoldedLandingX(ball), MainForm->W() - 20);
  }
  // LandingX as if there were no side walls (inside 0 .. W - 20 when no wall is met on the way).
  static double UnfoldedLandingX(const TsharSprite& ball) {
    const double s = std::sin(ball.Angle), c = std::cos(ball.Angle);
    const double floorY = PaddleY - ball.Height;
    double travel;  // vertical distance still to fly
    if (c > 1e-9) {
      travel = std::max(0.0, floorY - ball.Y);
    } else if (c < -1e-9) {
      travel = std::max(0.0, static_cast<double>(ball.Y)) + floorY;
    } else {
      return ball.X;  // flying sideways: stay under it
    }
    return ball.X + s / std::abs(c) * travel;
  }
  // Frames until `ball` reaches the paddle's top at the current speed (large for rising balls).
  double FramesToLand(const TsharSprite& ball) const {
    const double c = std::cos(ball.Angle);
    const double v = std::max(1e-6, BallStep(o_.lagMs));
    const double floorY = PaddleY - ball.Height;
    if (c > 1e-9) return std::max(0.0, floorY - ball.Y) / (c * v);
    if (c < -1e-9) return (std::max(0.0, static_cast<double>(ball.Y)) + floorY) / (-c * v);
    return std::numeric_limits<double>::infinity();
  }
  // Frames until `bonus` reaches the paddle's top.
  double FramesToCatch(const TBonSprite& bonus) const {
    const double v = bonus.FallSpeed * 0.1 * o_.lagMs;
    return std::max(0.0, PaddleY - bonus.Height - bonus.Y) / v;
  }

  Aim LastAim() const { return aim_; }
  double LastTarget() const { return target_; }
  int FramesPlayed() const { return frames_; }
  Options& Settings() { return o_; }

  static constexpr double kStep = 7.5;  // the paddle's step per frame

 private:
  // Folds an unbounded x into [0, len] as the walls reflect it.
  static double Fold(double x, double len) {
    if (len <= 0) return 0;
    double m = std::fmod(x, 2 * len);
    if (m < 0) m += 2 * len;
    return m > len ? 2 * len - m : m;
  }
  // The PaddleX that puts the paddle's middle under `centreX`, kept inside the window.
  static double PaddleXFor(double centreX) {
    const double pw = PaddleWidth();
    return std::clamp(centreX - pw / 2, 0.0, std::max(0.0, MainForm->W() - pw));
  }

  // The PaddleX to steer to this frame: under the ball that will land first, unless a wanted
  // bonus can be caught on the way; NaN when there is nothing to follow.
  double ChooseTarget() {
    const double paddleY = PaddleY;
    const TsharSprite* next = nullptr;
    double nextT = std::numeric_limits<double>::infinity();
    for (TsharSprite* b : Live<TsharSprite>()) {
      if (b->Y > paddleY + 10) continue;  // already past the paddle
      const double t = FramesToLand(*b);
      if (!next || t < nextT) {
        next = b;
        nextT = t;
      }
    }
    double target = std::numeric_limits<double>::quiet_NaN();
    if (next) {
      target = PaddleXFor(LandingX(*next) + next->Width / 2.0);
      aim_ = aim_ == Aim::Serve ? Aim::Serve : Aim::Ball;
      if (o_.giveUp && GameState == gsPlaying) {
        // The far end of the field from where the ball comes down.
        const double far = target < (MainForm->W() - PaddleWidth()) / 2.0 ? 1e9 : 0.0;
        return PaddleXFor(far);
      }
    }
    if (GameState != gsPlaying) return target;

    // A wanted bonus the paddle can reach in time, leaving time to get back under the ball.
    if (o_.chaseBonuses) {
      const TBonSprite* best = nullptr;
      double bestT = std::numeric_limits<double>::infinity();
      double bestX = 0;
      for (TBonSprite* bo : Live<TBonSprite>()) {
        const bool want = o_.wanted ? o_.wanted(bo->BonusKind) : bo->BonusKind != 1;
        if (!want || bo->Y > paddleY) continue;
        const double t = FramesToCatch(*bo);
        const double bx = PaddleXFor(bo->X + bo->Width / 2.0);
        const double reach = std::abs(bx - PaddleX) / kStep;
        if (reach > t + 1) continue;
        if (next && t + std::abs(bx - target) / kStep + 4 > nextT) continue;
        if (!best || t < bestT) {
          best = bo;
          bestT = t;
          bestX = bx;
        }
      }
      if (best) {
        aim_ = Aim::Bonus;
        return bestX;
      }
    }
    // Keep the paddle off a bonus that would cost the life, as long as the ball allows it.
    if (o_.dodgeLoseBall && !std::isnan(target)) {
      const double pw = PaddleWidth();
      for (TBonSprite* bo : Live<TBonSprite>()) {
        if (bo->BonusKind != 1 || bo->Y > paddleY) continue;
        if (FramesToCatch(*bo) > 30) continue;
        const double l = bo->X - pw - 2, r = bo->X + bo->Width + 2;  // PaddleX range it would hit
        if (target > l && target < r) {
          const double alt = (target - l < r - target) ? l : r;
          const double clamped = std::clamp(alt, 0.0, std::max(0.0, MainForm->W() - pw));
          // Only while the ball still lands on the paddle from there.
          if (next) {
            const double ballC = LandingX(*next) + next->Width / 2.0;
            if (ballC < clamped + 4 || ballC > clamped + pw - 4) continue;
          }
          target = clamped;
        }
      }
    }
    return target;
  }

  void Set(int vk, bool want, bool& held) {
    if (want == held) return;
    if (want)
      g_.Hold(vk);
    else
      g_.Release(vk);
    held = want;
  }

  GameHarness& g_;
  Options o_;
  bool left_ = false, right_ = false, space_ = false;
  Aim aim_ = Aim::None;
  double target_ = 0;
  int frames_ = 0;
};

// Answers the score-entry window the way a person does: when it comes up, types a name and
// clicks its " OK " text with the mouse. The window runs its own loop inside a frame, so the
// events are queued as it activates. A sentinel event queued after the click tells whether the
// click closed the window; if not, it is closed so that the test does not hang, and the miss is
// counted.
class ScoreEntryAnswerer {
 public:
  static constexpr int kSentinel = 0x5C0E;

  explicit ScoreEntryAnswerer(GameHarness& g, std::string name = "Bot")
      : g_(g), name_(std::move(name)) {
    inner_ = Form2->OnActivate;
    Form2->OnActivate = [this](TObject* s) {
      if (inner_) inner_(s);
      Answer();
    };
    hook_ = Application->AddEventHook([this](const platform::Event& e) {
      if (e.kind != platform::EventKind::User || e.code != kSentinel) return false;
      if (Form2 && Form2->Modal()) {
        ++missed_;
        Form2->SetModalResult(mrCancel);
      }
      return true;
    });
  }
  ~ScoreEntryAnswerer() {
    if (Application) Application->RemoveEventHook(hook_);
    if (Form2) Form2->OnActivate = inner_;
  }
  ScoreEntryAnswerer(const ScoreEntryAnswerer&) = delete;
  ScoreEntryAnswerer& operator=(const ScoreEntryAnswerer&) = delete;

  int Shown() const { return shown_; }
  int Missed() const { return missed_; }
  // The score the window showed the last time ("" before).
  const std::string& LastShownScore() const { return lastScore_; }
  // Where the last click went (screen coordinates).
  TPoint LastClick() const { return click_; }
  // The name typed next time.
  void SetName(std::string n) { name_ = std::move(n); }

 private:
  void Answer() {
    if (!Form2->Modal()) return;
    ++shown_;
    lastScore_ = Form2->Label2->Caption();
    g_.hl.events->PushText(name_);
    const TPoint o = Form2->StaticText1->ScreenOrigin();
    click_ = TPoint{o.X + Form2->StaticText1->Width() / 2, o.Y + Form2->StaticText1->Height() / 2};
    for (auto kind : {platform::EventKind::MouseMove, platform::EventKind::MouseDown,
                      platform::EventKind::MouseUp}) {
      platform::Event e;
      e.kind = kind;
      e.x = click_.X;
      e.y = click_.Y;
      e.button = 1;
      g_.hl.events->Push(e);
    }
    platform::Event s;
    s.kind = platform::EventKind::User;
    s.code = kSentinel;
    g_.hl.events->Push(s);
  }

  GameHarness& g_;
  std::string name_;
  std::function<void(TObject*)> inner_;
  int hook_ = 0;
  int shown_ = 0, missed_ = 0;
  std::string lastScore_;
  TPoint click_{0, 0};
};
