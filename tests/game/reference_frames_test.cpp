// What the player sees at named moments of a game, frame for frame: each moment is played on the
// headless platform (manual clock, so the generator's seed and every animation are fixed) and the
// whole 800 x 600 frame is compared with its picture in tests/reference/. After a deliberate
// change to what is drawn: `make references`, then look at every picture that changed.
#include <gtest/gtest.h>

#include "game/game_sprites.h"
#include "support/reference_frame.h"
#include "support/scripted_player.h"

using platform::VK_SPACE;
using reference::MatchesReference;

namespace {
// A new game from the menu, the ball launched with a tap of space, `frames` frames played, each
// of 16 ms (a 60 Hz display).
void Launch(GameHarness& g, int frames) {
  g.NewGameFromMenu();
  g.Hold(VK_SPACE);
  g.Frame(16);
  g.Release(VK_SPACE);
  g.Frames(frames, 16);
}
const platform::headless::CapturedFrame& Shown(GameHarness& g) { return g.hl.video->LastFrame(); }
}  // namespace

TEST(ReferenceFrames, LoadingWindowAtHalf) {
  GameHarness g;
  platform::headless::CapturedFrame half;
  g.hl.video->OnPresent = [&](const platform::headless::HeadlessVideo& v) {
    if (half.pixels.empty() && Form1 && Form1->Visible() && Form1->Gauge1->Progress() * 2 == 50)
      half = v.LastFrame();
  };
  g.Start();
  g.hl.video->OnPresent = nullptr;
  EXPECT_TRUE(MatchesReference(half, "loading_50"));
}

TEST(ReferenceFrames, MenuAfterFortyFrames) {
  GameHarness g;
  g.Start();
  g.Frames(40, 16);
  EXPECT_TRUE(MatchesReference(Shown(g), "menu"));
}

TEST(ReferenceFrames, LevelIntroOfLevelThree) {
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  ScriptedPlayer p(g, {.launch = false, .wanted = {}});
  for (int level = 2; level <= 3; ++level) {
    ASSERT_TRUE(p.EnterConsoleCode("turnipvase"));
    ASSERT_LT(p.PlayUntil([&] { return GameState == gsLevelIntro && Level == level; }, 50), 50);
  }
  g.Frames(3, 16);
  ASSERT_EQ(GameState, gsLevelIntro);
  EXPECT_TRUE(MatchesReference(Shown(g), "level_intro_3"));
}

// The first level's screen right after Enter in the menu, the ball waiting on the paddle: the
// browser build's test compares its own frame with this one.
TEST(ReferenceFrames, FirstLevelBeforeTheServe) {
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  g.Frames(3, 16);
  ASSERT_EQ(GameState, gsServe);
  ASSERT_EQ(Level, 1);
  EXPECT_TRUE(MatchesReference(Shown(g), "level_1_serve"));
}

TEST(ReferenceFrames, PlayWithScore1234AndThreeLives) {
  GameHarness g;
  g.Start();
  Launch(g, 70);
  Score = 1234;
  g.Frame(16);
  ASSERT_EQ(Score, 1234);
  ASSERT_EQ(Lives, 3);
  EXPECT_TRUE(MatchesReference(Shown(g), "play_1234_3_lives"));
}

TEST(ReferenceFrames, GunArmedWithBulletsInFlight) {
  GameHarness g;
  g.Start();
  Launch(g, 5);
  // The gun bonus falls onto the paddle's middle, as one from a broken brick does.
  auto* bonus = new TBonSprite(ScriptedPlayer::Root());
  bonus->BonusKind = 11;
  bonus->FallSpeed = 1.0;
  bonus->Image = MainForm->GameImage("b", 11);
  bonus->Width = bonus->Image->Width();
  bonus->Height = bonus->Image->Height();
  bonus->X = PaddleX + 30;
  bonus->Y = PaddleY - bonus->Height - 5;
  g.Frames(10, 16);
  ASSERT_TRUE(GunArmed);
  g.Hold(VK_SPACE);
  g.Frames(25, 16);
  EXPECT_GE(ScriptedPlayer::Live<TPulSprite>().size(), 4u);  // two barrels, bullets above them
  EXPECT_TRUE(MatchesReference(Shown(g), "gun_bullets"));
}

TEST(ReferenceFrames, CheatMessage) {
  GameHarness g;
  g.Start();
  Launch(g, 5);
  g.Type("0");
  g.Frame(16);
  ASSERT_TRUE(CheatMode);
  EXPECT_TRUE(MatchesReference(Shown(g), "cheat_message"));
}

TEST(ReferenceFrames, ConsoleOpen) {
  GameHarness g;
  g.Start();
  Launch(g, 5);
  g.Type("`");
  g.Type("bluewhale");
  ASSERT_FALSE(g.Frame(16));  // the game stands still; the console is drawn over its last frame
  ASSERT_TRUE(MainForm->Panel1->Visible());
  EXPECT_TRUE(MatchesReference(Shown(g), "console_open"));
}

TEST(ReferenceFrames, ScoreEntryWithARussianName) {
  GameHarness g;
  g.Start();
  Launch(g, 5);
  const std::string name = "Вася Пупкин";
  platform::headless::CapturedFrame shot;
  Form2->OnActivate = [&, inner = Form2->OnActivate](TObject* s) {
    if (inner) inner(s);
    g.hl.events->PushText(name);
  };
  g.hl.video->OnPresent = [&](const platform::headless::HeadlessVideo& v) {
    if (!Form2->Modal() || Form2->Edit1->Text() != name) return;
    shot = v.LastFrame();
    Form2->SetModalResult(mrCancel);
  };
  Score = 98765;
  Lives = 1;
  LoseBall = true;
  g.Frame(16);
  g.hl.video->OnPresent = nullptr;
  EXPECT_TRUE(MatchesReference(shot, "score_entry_russian_name"));
}

TEST(ReferenceFrames, WindowMode) {
  GameHarness g;
  g.Start();
  ScriptedPlayer(g).SwitchDisplay();
  g.Frames(5, 16);
  ASSERT_FALSE(g.hl.video->FullScreen());
  EXPECT_TRUE(MatchesReference(Shown(g), "window_mode"));
}
