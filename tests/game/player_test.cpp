// Whole games played by the scripted player on the headless platform: it steers with the keys a
// person holds, watching the balls and bonuses on the field.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "support/game_harness.h"
#include "support/scripted_player.h"

using platform::VK_ESCAPE;
using platform::VK_RETURN;

namespace {

// The lowest bottom edge of any live brick (0 when none).
double LowestBrickBottom() {
  double y = 0;
  for (TMonoSprite* b : ScriptedPlayer::Live<TMonoSprite>()) y = std::max(y, b->Y + b->Height);
  return y;
}

}  // namespace

TEST(ScriptedPlayer, ClearsTheFirstLevel) {
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  ASSERT_EQ(Level, 1);
  ScriptedPlayer p(g);
  const int livesAtStart = Lives;
  const int frames = p.PlayUntil([] { return Level == 2 || GameState == gsMenu; }, 60000);
  std::printf("[ player   ] level 1 cleared after %d frames of 16 ms, %d of %d lives lost\n",
              frames, livesAtStart - Lives, livesAtStart);
  EXPECT_EQ(Level, 2) << "after " << frames << " frames, lives " << Lives;
  EXPECT_EQ(GameState, gsLevelIntro);
  EXPECT_EQ(BricksBroken, 0);  // the next level is set up, nothing broken yet
  EXPECT_GT(BrickCount, 0);
  EXPECT_TRUE(g.hl.dialogs->Messages().empty());
  // The ball of the new level waits on the paddle; the player's space launches it.
  EXPECT_EQ(ScriptedPlayer::Live<TsharSprite>().size(), 1u);
  p.Play();
  EXPECT_EQ(GameState, gsPlaying);
}

// The player's forecast of where a falling ball meets the paddle holds in the real game: below
// the bricks, nothing but the side walls turns the ball.
TEST(ScriptedPlayer, ForeseesWhereAFallingBallMeetsThePaddle) {
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  ScriptedPlayer p(g);
  struct Watch {
    TsharSprite* ball = nullptr;
    double predicted = 0;
    bool wall = false;  // a side wall lies on the way
    int frame = 0;
    double angle = 0, x = 0, y = 0;
  } w;
  int straight = 0, bounced = 0;
  double worstStraight = 0, worstBounced = 0;
  for (int f = 0; f < 60000 && (straight < 20 || bounced < 5) && GameState != gsMenu; ++f) {
    const auto balls = ScriptedPlayer::Live<TsharSprite>();
    if (GameState == gsPlaying && balls.size() == 1) {
      TsharSprite* b = balls.front();
      const double floorY = PaddleY - b->Height;
      if (w.ball == b && b->Y >= floorY) {
        // Between two frames the ball covers one step; the forecast is for the crossing.
        const double err = std::abs(b->X - w.predicted);
        const double step = ScriptedPlayer::BallStep(16);
        if (w.wall) {
          ++bounced;
          worstBounced = std::max(worstBounced, err);
          // Each wall turns the ball by up to 0.05 radians of jitter, which the forecast cannot
          // know: over the remaining fall that moves the landing by at most 0.05 * travel / cos^2.
          const double c = std::cos(w.angle);
          const double jitter = 0.05 * (floorY - w.y) / (c * c);
          EXPECT_LT(err, step + 1 + jitter)
              << "forecast over a wall " << w.predicted << " got " << b->X << " frame " << f
              << " since " << w.frame << " angle " << w.angle << " now " << b->Angle << " from "
              << w.x << "," << w.y;
        } else {
          ++straight;
          worstStraight = std::max(worstStraight, err);
          EXPECT_LT(err, step + 1) << "forecast " << w.predicted << " got " << b->X;
        }
        w = Watch{};
      } else if (w.ball != b && std::cos(b->Angle) > 0.6 && b->Y > LowestBrickBottom() + 2 &&
                 b->Y < floorY - 100) {
        const double raw = ScriptedPlayer::UnfoldedLandingX(*b);
        w = Watch{b,
                  ScriptedPlayer::LandingX(*b),
                  raw < 0 || raw > MainForm->W() - 20,
                  f,
                  b->Angle,
                  b->X,
                  b->Y};
      }
    } else {
      w = Watch{};
    }
    p.Play();
  }
  std::printf(
      "[ player   ] landing forecasts: %d straight (worst %.2f px), %d over a wall (worst %.2f "
      "px)\n",
      straight, worstStraight, bounced, worstBounced);
  EXPECT_GE(straight, 20);
  EXPECT_GE(bounced, 5);
}

// A whole game through the twenty levels by level skips, alternating the cheat keys and the
// console code, then Escape: the high score goes to the score-entry window, which the player
// answers with the mouse, and the game is back in an empty menu with no error shown.
TEST(ScriptedPlayer, SkipsThroughAllTwentyLevelsAndReturnsToTheMenu) {
  GameHarness g;
  g.Start();
  ScoreEntryAnswerer answer(g, "Skipper");
  g.NewGameFromMenu();
  ScriptedPlayer p(g);
  std::vector<int> levels = {Level};
  for (int round = 0; round < 21; ++round) {
    p.PlayUntil([] { return GameState == gsPlaying; }, 100);
    p.PlayUntil([] { return false; }, 20);  // a little play first
    ASSERT_NE(GameState, gsMenu) << "lost the game on level " << Level;
    const int before = Level;
    // Every brick left breaks with its normal points.
    int32_t points = 0;
    for (TMonoSprite* b : ScriptedPlayer::Live<TMonoSprite>()) points += 3 * b->BrickType + 1;
    const int32_t score = Score;
    const bool bonusesAround = !ScriptedPlayer::Live<TBonSprite>().empty();
    if (round % 2 == 0) {
      p.SkipLevelWithCheatKeys();
      EXPECT_TRUE(CheatMode);
    } else {
      ASSERT_TRUE(p.EnterConsoleCode("turnipvase"));
    }
    ASSERT_TRUE(SkipLevel);
    p.Play();
    if (before == 20) {
      // The last level's clearing waits for the victory screen, then goes on as before.
      ASSERT_TRUE(MainForm->VictoryShowing()) << "round " << round;
      EXPECT_EQ(ScriptedPlayer::Live<TMonoSprite>().size(), 0u);
      EXPECT_GT(p.PlayUntil([] { return !MainForm->VictoryShowing(); }, 1000), 200);
      p.Play();
    }
    ASSERT_EQ(GameState, gsLevelIntro) << "round " << round;
    if (!bonusesAround) {
      EXPECT_EQ(Score, score + points) << "round " << round;
    }
    EXPECT_EQ(Level, before < 20 ? before + 1 : 20);
    // The next level is laid out: as many bricks on the field as its file announced.
    EXPECT_EQ(BricksBroken, 0);
    EXPECT_EQ(static_cast<int>(ScriptedPlayer::Live<TMonoSprite>().size()), BrickCount);
    EXPECT_EQ(ScriptedPlayer::Live<TsharSprite>().size(), 1u);
    levels.push_back(Level);
  }
  std::vector<int> expected;
  for (int l = 1; l <= 20; ++l) expected.push_back(l);
  expected.push_back(20);
  expected.push_back(20);  // level 20 cleared again stays level 20
  EXPECT_EQ(levels, expected);

  const int32_t finalScore = Score;
  ASSERT_GT(finalScore, RecordScores[5]);
  p.LetGo();
  g.Press(VK_ESCAPE);
  EXPECT_EQ(GameState, gsMenu);
  ASSERT_TRUE(g.Frame());  // the clearing pass: the ball hands over the game over
  EXPECT_EQ(answer.Shown(), 1);
  EXPECT_EQ(answer.Missed(), 0);
  EXPECT_EQ(answer.LastShownScore(), std::to_string(finalScore));
  // The window is centred in the 800 x 600 frame; its " OK " sits at (184, 48), 34 x 24.
  EXPECT_EQ(answer.LastClick().X, (800 - 232) / 2 + 184 + 17);
  EXPECT_EQ(answer.LastClick().Y, (600 - 77) / 2 + 48 + 12);
  EXPECT_EQ(Score, -1000);
  EXPECT_EQ(RecordScores[1], finalScore);
  EXPECT_EQ(RecordNames[1], "Skipper");  // the offered name is selected: typing replaces it
  g.Frames(3);
  EXPECT_EQ(GameState, gsMenu);
  EXPECT_TRUE(MainForm->DXTimer->Enabled());
  EXPECT_EQ(ScriptedPlayer::Root()->SpriteCount(), 2);
  EXPECT_EQ(ScriptedPlayer::Root()->Validate(), "");
  EXPECT_TRUE(g.hl.dialogs->Messages().empty()) << g.hl.dialogs->Messages().front().text;
}

// A player who gives up: every ball falls past the paddle, the lives run out and the game is
// over by itself; the menu is back with an empty field, and the score entry comes up only for a
// score above the fifth record.
TEST(ScriptedPlayer, LosesEveryLifeWhenGivingUp) {
  GameHarness g;
  g.Start();
  ScoreEntryAnswerer answer(g);
  g.NewGameFromMenu();
  ScriptedPlayer::Options o;
  o.giveUp = true;
  ScriptedPlayer p(g, o);
  std::vector<int> lives = {Lives};
  const int frames = p.PlayUntil(
      [&] {
        if (Lives != lives.back()) lives.push_back(Lives);
        return GameState == gsMenu;
      },
      20000);
  std::printf("[ player   ] gave up: game over after %d frames, score %d\n", frames, Score);
  EXPECT_EQ(GameState, gsMenu);
  EXPECT_EQ(lives, (std::vector<int>{3, 2, 1, 0}));
  const int32_t fifth = RecordScores[5];
  g.Frames(2);
  EXPECT_EQ(ScriptedPlayer::Root()->SpriteCount(), 2);
  EXPECT_EQ(ScriptedPlayer::Root()->Validate(), "");
  EXPECT_EQ(answer.Shown(), Score == -1000 ? 1 : 0);
  if (answer.Shown() == 0) {
    EXPECT_LE(Score, fifth);
  }
  EXPECT_TRUE(g.hl.dialogs->Messages().empty());
  // Enter starts the next game from this menu.
  g.NewGameFromMenu();
  EXPECT_EQ(GameState, gsServe);
  EXPECT_EQ(Lives, 3);
  EXPECT_EQ(Score, 0);
}
