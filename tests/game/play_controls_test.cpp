// Playing it one's own way: the pause that stops the play (by hand and without the focus), the
// mouse and the gamepad at the paddle, the help and victory screens, the console's Enter. Whole
// games on the headless platform with a manual clock.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "game/game_sprites.h"
#include "game/settings.h"
#include "support/game_harness.h"
#include "support/reference_frame.h"

using platform::EventKind;
using platform::VK_ESCAPE;
using platform::VK_F1;
using platform::VK_RETURN;
using platform::VK_SPACE;

namespace {

// Everything of the play that moves, one line per sprite plus the counters, to compare frames.
struct PlayState {
  std::vector<double> values;
  bool operator==(const PlayState&) const = default;
};

PlayState Snapshot() {
  PlayState s;
  TSprite* root = MainForm->DXSpriteEngine->Engine();
  for (int32_t i = 0; i < root->ChildCount(); ++i) {
    TSprite* c = root->Child(i);
    s.values.push_back(c->X);
    s.values.push_back(c->Y);
    if (auto* b = dynamic_cast<TsharSprite*>(c)) s.values.push_back(b->Angle);
    if (auto* k = dynamic_cast<TMonoSprite*>(c)) {
      s.values.push_back(k->BrickTick);
      s.values.push_back(k->BrickFrame);
    }
  }
  for (double v : {double(GameState), double(Score), double(Lives), double(Level), PaddleX,
                   BallSpeed, double(BricksBroken), double(GunReady)})
    s.values.push_back(v);
  return s;
}

// A game from the menu with its ball launched, then `frames` frames of 16 ms. The generator
// gives the same fixed draws to every run, whatever the clock says when the ball re-seeds it.
void Launch(GameHarness& g, int frames) {
  for (int i = 0; i < 20000; ++i) PushScriptedRandom(0.37);
  g.NewGameFromMenu();
  g.Hold(VK_SPACE);
  g.Frame(16);
  g.Release(VK_SPACE);
  g.Frames(frames, 16);
}

void Deactivate(GameHarness& g, bool inactive) {
  platform::Event e;
  e.kind = inactive ? EventKind::AppDeactivate : EventKind::AppActivate;
  g.hl.events->Push(e);
  g.Pump();
}

void MouseEvent(GameHarness& g, EventKind kind, int dx, int button = 0) {
  platform::Event e;
  e.kind = kind;
  e.x = 400;
  e.y = 300;
  e.dx = dx;
  e.button = button;
  g.hl.events->Push(e);
  g.Pump();
}

int PaddleWidth() { return MainForm->GameImage("pod", PaddleSize)->Width(); }

enum class Stop { ByHand, FocusLost };

// The frame after a stop of any length is the frame that would have followed without it.
void ExpectStopFreezesFrameForFrame(Stop how) {
  PlayState expectedState;
  platform::headless::CapturedFrame expectedFrame;
  {
    GameHarness g;
    g.Start();
    Launch(g, 60);
    g.Frame(16);
    expectedState = Snapshot();
    expectedFrame = g.hl.video->LastFrame();
  }
  GameHarness g;
  g.Start();
  Launch(g, 60);
  ASSERT_EQ(GameState, gsPlaying);
  const PlayState before = Snapshot();
  if (how == Stop::ByHand) {
    g.Press('P');
    EXPECT_TRUE(MainForm->PausedByHand());
  } else {
    Deactivate(g, true);
    EXPECT_EQ(g.hl.video->Caption(), "Kobaltix  [Pause]");
  }
  // Frozen frames, some long: nothing moves, the serve and gun timers stand.
  g.Frames(50, 16);
  EXPECT_TRUE(g.Frame(5000));
  EXPECT_EQ(Snapshot(), before);
  EXPECT_FALSE(MainForm->Timer3->Due(g.hl.clock->Milliseconds()));
  if (how == Stop::ByHand) {
    g.Press('P');
  } else {
    Deactivate(g, false);
    EXPECT_EQ(g.hl.video->Caption(), "Kobaltix");
  }
  EXPECT_FALSE(MainForm->Frozen());
  g.Frame(16);
  EXPECT_EQ(g.lastLag, 16);
  EXPECT_EQ(Snapshot(), expectedState);
  const auto& shown = g.hl.video->LastFrame();
  EXPECT_TRUE(shown.pixels == expectedFrame.pixels) << "the frame after the pause differs";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The pause

TEST(Pause, PFreezesThePlayFrameForFrame) { ExpectStopFreezesFrameForFrame(Stop::ByHand); }

TEST(Pause, LosingTheFocusFreezesThePlayFrameForFrame) {
  ExpectStopFreezesFrameForFrame(Stop::FocusLost);
}

TEST(Pause, TheServeTimerCountsOnlyUnpausedTime) {
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  ASSERT_EQ(GameState, gsServe);
  g.Frames(100, 16);  // 1600 ms of the serve's 5000
  g.Press('P');
  g.Frames(500, 16);  // 8000 ms paused
  EXPECT_EQ(GameState, gsServe);
  g.Press('P');
  g.Frames(200, 16);  // 3200 ms more: 4800 in all
  EXPECT_EQ(GameState, gsServe);
  g.Frames(20, 16);  // past 5000
  EXPECT_EQ(GameState, gsPlaying);
}

TEST(Pause, TheLabelShowsOverTheFrozenFieldAndTheMenuIsNotPaused) {
  GameHarness g;
  g.Start();
  // In the menu P does nothing and the menu goes on animating without the focus.
  g.Press('P');
  EXPECT_FALSE(MainForm->PausedByHand());
  Deactivate(g, true);
  const int32_t pulse = MenuPulse;
  g.Frames(5, 16);
  EXPECT_NE(MenuPulse, pulse);
  Deactivate(g, false);

  Launch(g, 30);
  g.Press('P');
  g.Frame(16);
  EXPECT_TRUE(reference::MatchesReference(g.hl.video->LastFrame(), "pause_label"));
  // Escape still leaves the game, and the pause ends with it.
  g.Press(VK_ESCAPE);
  g.Frames(3, 16);
  EXPECT_EQ(GameState, gsMenu);
  EXPECT_FALSE(MainForm->PausedByHand());
}

// ---------------------------------------------------------------------------------------------
// The mouse

TEST(Mouse, MotionMovesThePaddleBySensitivityAndStopsAtTheWalls) {
  GameHarness g;
  g.Start();
  // In the menu the mouse is the player's: nothing captured, nothing moved.
  EXPECT_FALSE(g.hl.video->MouseCaptured());
  g.NewGameFromMenu();
  g.Frame(16);
  ASSERT_EQ(GameState, gsServe);
  EXPECT_TRUE(g.hl.video->MouseCaptured());
  const double sensitivity = Settings.MouseSensitivity;
  Settings.MouseSensitivity = 1.5;
  const double x0 = PaddleX;
  MouseEvent(g, EventKind::MouseMove, 40);
  MouseEvent(g, EventKind::MouseMove, 20);
  g.Frame(16);
  EXPECT_DOUBLE_EQ(PaddleX, x0 + 90.0);
  MouseEvent(g, EventKind::MouseMove, -30);
  g.Frame(16);
  EXPECT_DOUBLE_EQ(PaddleX, x0 + 45.0);
  // The walls stop it, whatever the motion.
  MouseEvent(g, EventKind::MouseMove, 5000);
  g.Frame(16);
  EXPECT_DOUBLE_EQ(PaddleX, MainForm->W() - PaddleWidth());
  MouseEvent(g, EventKind::MouseMove, -5000);
  g.Frame(16);
  EXPECT_DOUBLE_EQ(PaddleX, 0.0);
  Settings.MouseSensitivity = sensitivity;

  // The left button serves as Space does.
  EXPECT_EQ(GameState, gsServe);
  MouseEvent(g, EventKind::MouseDown, 0, 1);
  g.Frame(16);
  EXPECT_EQ(GameState, gsPlaying);
  MouseEvent(g, EventKind::MouseUp, 0, 1);

  // A pause gives the pointer back, and motion then moves nothing.
  g.Press('P');
  g.Frame(16);
  EXPECT_FALSE(g.hl.video->MouseCaptured());
  MouseEvent(g, EventKind::MouseMove, 100);
  g.Press('P');
  g.Frame(16);
  EXPECT_TRUE(g.hl.video->MouseCaptured());
  EXPECT_DOUBLE_EQ(PaddleX, 0.0);
}

TEST(Mouse, APlayerWhoNeverTouchesItSeesTheKeysAsBefore) {
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  g.Frame(16);
  const double x0 = PaddleX;
  g.Hold(platform::VK_RIGHT);
  g.Frames(4, 16);
  g.Release(platform::VK_RIGHT);
  EXPECT_DOUBLE_EQ(PaddleX, x0 + 4 * 7.5);
}

// ---------------------------------------------------------------------------------------------
// The gamepad

TEST(Gamepad, AScriptedPadStartsServesSteersPausesAndLeaves) {
  GameHarness g;
  g.Start();
  platform::headless::HeadlessJoysticks& js = *g.hl.joysticks;
  const int pad = js.PlugGamepad();
  g.Pump();
  g.Frame(16);
  auto set = [&](uint32_t buttons, int leftX = 0) {
    platform::GamepadState st;
    st.buttons = buttons;
    st.leftX = leftX;
    js.SetGamepad(pad, st);
    g.Pump();
  };
  // A in the menu starts a game, as Enter does.
  set(1u << platform::kPadA);
  set(0);
  ASSERT_EQ(GameState, gsServe);
  g.Frame(16);
  // The d-pad and the left stick steer.
  const double x0 = PaddleX;
  set(1u << platform::kPadRight);
  g.Frames(4, 16);
  EXPECT_DOUBLE_EQ(PaddleX, x0 + 30.0);
  set(0, -30000);
  g.Frames(2, 16);
  EXPECT_DOUBLE_EQ(PaddleX, x0 + 15.0);
  set(0, 5000);  // inside the stick's dead band
  g.Frames(2, 16);
  EXPECT_DOUBLE_EQ(PaddleX, x0 + 15.0);
  // A serves; the ball flies.
  set(1u << platform::kPadA);
  g.Frame(16);
  set(0);
  EXPECT_EQ(GameState, gsPlaying);
  TsharSprite* ball = nullptr;
  TSprite* root = MainForm->DXSpriteEngine->Engine();
  for (int32_t i = 0; i < root->ChildCount(); ++i)
    if (auto* b = dynamic_cast<TsharSprite*>(root->Child(i))) ball = b;
  ASSERT_NE(ball, nullptr);
  const double y0 = ball->Y;
  g.Frames(10, 16);
  EXPECT_NE(ball->Y, y0);
  // Start pauses and resumes.
  set(1u << platform::kPadStart);
  set(0);
  EXPECT_TRUE(MainForm->PausedByHand());
  set(1u << platform::kPadStart);
  set(0);
  EXPECT_FALSE(MainForm->PausedByHand());
  // A hit's pulse rumbles the pad.
  js.ClearEffects();
  MainForm->PlayEffect("pop");
  ASSERT_FALSE(js.Effects().empty());
  EXPECT_TRUE(js.Effects().back().gamepad);
  EXPECT_FLOAT_EQ(js.Effects().back().strength, 1.0f);
  EXPECT_EQ(js.Effects().back().ms, 50u);
  // Back leaves the game, as Escape does.
  set(1u << platform::kPadBack);
  set(0);
  g.Frames(3, 16);
  EXPECT_EQ(GameState, gsMenu);
}

TEST(Gamepad, PluggedInAndOutWhileTheGameRuns) {
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  g.Frame(16);
  platform::headless::HeadlessJoysticks& js = *g.hl.joysticks;
  const int pad = js.PlugGamepad(/*rumble=*/false);
  g.Pump();
  platform::GamepadState right;
  right.buttons = 1u << platform::kPadRight;
  js.SetGamepad(pad, right);
  const double x0 = PaddleX;
  g.Frames(2, 16);
  EXPECT_EQ(MainForm->DXInput->Gamepad().Count(), 1);
  EXPECT_DOUBLE_EQ(PaddleX, x0 + 15.0);
  js.UnplugGamepad(pad);
  g.Pump();
  g.Frames(2, 16);
  EXPECT_EQ(MainForm->DXInput->Gamepad().Count(), 0);
  EXPECT_DOUBLE_EQ(PaddleX, x0 + 15.0);
  // A pad without rumble takes no pulse, and the game does not mind.
  js.ClearEffects();
  js.PlugGamepad(/*rumble=*/false);
  g.Pump();
  MainForm->PlayEffect("pop");
  EXPECT_TRUE(js.Effects().empty());
}

// ---------------------------------------------------------------------------------------------
// Help, victory and the console

TEST(Help, F1ShowsTheKeysOverTheFrozenFrameAndAnyKeyClosesIt) {
  GameHarness g;
  g.Start();
  g.Frames(40, 16);
  g.Press(VK_F1);
  ASSERT_TRUE(MainForm->HelpShown());
  const int32_t pulse = MenuPulse;
  g.Frames(5, 16);
  EXPECT_EQ(MenuPulse, pulse);
  EXPECT_TRUE(reference::MatchesReference(g.hl.video->LastFrame(), "help"));
  // The key that closes it does nothing else: Enter starts no game.
  g.Press(VK_RETURN);
  EXPECT_FALSE(MainForm->HelpShown());
  EXPECT_EQ(GameState, gsMenu);

  // In play it freezes the play too.
  Launch(g, 20);
  g.Press(VK_F1);
  const PlayState before = Snapshot();
  g.Frames(30, 16);
  EXPECT_EQ(Snapshot(), before);
  g.Press('Q');
  EXPECT_FALSE(MainForm->HelpShown());
  g.Frame(16);
  EXPECT_NE(Snapshot(), before);
}

TEST(Victory, ClearingLevelTwentyShowsTheScoreBeforePlayGoesOn) {
  GameHarness g;
  g.Start();
  Launch(g, 5);
  Level = 20;
  Score = 4321;
  SkipLevel = true;  // every brick breaks at its next step
  g.Frame(16);
  ASSERT_TRUE(MainForm->VictoryShowing());
  EXPECT_EQ(Level, 20);
  const PlayState held = Snapshot();
  g.Frames(100, 16);  // 1600 ms: still showing, nothing moves
  EXPECT_TRUE(MainForm->VictoryShowing());
  EXPECT_EQ(Snapshot(), held);
  EXPECT_TRUE(reference::MatchesReference(g.hl.video->LastFrame(), "victory"));
  // A pause does not eat the victory screen's time.
  g.Press('P');
  g.Frames(300, 16);
  EXPECT_TRUE(MainForm->VictoryShowing());
  g.Press('P');
  int frames = 0;
  while (MainForm->VictoryShowing() && frames < 1000) {
    g.Frame(16);
    ++frames;
  }
  EXPECT_NEAR(frames * 16, TMainForm::kVictoryMs - 1600, 32);
  g.Frame(16);
  EXPECT_EQ(GameState, gsLevelIntro);
  EXPECT_EQ(Level, 20);
}

TEST(Console, EnterSubmitsAndTheFieldStartsEmpty) {
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  g.Frame(16);
  g.Type("`");
  ASSERT_TRUE(MainForm->Panel1->Visible());
  EXPECT_EQ(MainForm->Edit1->Text(), "");
  g.Type("bluewhalesix");
  g.Press(VK_RETURN);
  EXPECT_FALSE(MainForm->Panel1->Visible());
  EXPECT_EQ(Lives, 100);
  EXPECT_EQ(GameState, gsServe);  // Enter went to the console, not to the game
  // Opened again, it is empty again.
  g.Type("`");
  EXPECT_EQ(MainForm->Edit1->Text(), "");
  g.Press(VK_ESCAPE);
  EXPECT_FALSE(MainForm->Panel1->Visible());
}

// Without the focus the flip shows nothing and never waits: each frame the loop runs then asks
// the platform to sleep until its time, instead of spinning. A frame loop running flat out (the
// clock standing still between frames) shows it best.
TEST(Pause, FramesWithoutTheFocusOrFrozenWaitForTheirTimeAndPlayDoesNot) {
  GameHarness g;
  g.Start();
  auto sleepsOver = [&](int frames) {
    const int calls = g.hl.clock->SleepCalls();
    const uint64_t slept = g.hl.clock->SleptMs();
    for (int i = 0; i < frames; ++i) EXPECT_TRUE(g.Frame(0));
    return std::pair<int, uint64_t>(g.hl.clock->SleepCalls() - calls,
                                    g.hl.clock->SleptMs() - slept);
  };
  // The menu, then the play, without the focus: about a sixtieth of a second per frame.
  Deactivate(g, true);
  auto [menuCalls, menuMs] = sleepsOver(120);
  EXPECT_GE(menuCalls, 119);
  EXPECT_GE(menuMs, 119u * 16);
  EXPECT_LE(menuMs, 121u * 17);
  Deactivate(g, false);
  Launch(g, 30);
  // The game in front does not wait: its flip does.
  EXPECT_EQ(sleepsOver(60).first, 0);
  Deactivate(g, true);
  EXPECT_GE(sleepsOver(60).first, 59);
  Deactivate(g, false);
  EXPECT_EQ(sleepsOver(10).first, 0);
  // Paused by hand, in front: the frozen frames wait too.
  g.Press('P');
  ASSERT_TRUE(MainForm->Frozen());
  EXPECT_GE(sleepsOver(60).second, 59u * 16);
}
