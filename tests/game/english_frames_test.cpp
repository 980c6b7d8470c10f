// The game in English, frame for frame: the menu, a level screen, the score entry and the editor
// with its question, each compared with its picture in tests/reference/ (*_en.png). The texts
// come from the English catalogue the program carries, and longer ones are fitted to their
// places. The language goes back to Russian after each test.
#include <gtest/gtest.h>

#include <filesystem>

#include "game/level_editor.h"
#include "support/reference_frame.h"
#include "support/scripted_player.h"
#include "toolkit/translate.h"

namespace fs = std::filesystem;
using platform::VK_SPACE;
using reference::MatchesReference;

namespace {

// English for the life of the test (declared before the harness, so its windows are made in it).
struct English {
  English() { EXPECT_EQ(toolkit::SetLanguage("en"), "en"); }
  ~English() { toolkit::SetLanguage("ru"); }
};

const platform::headless::CapturedFrame& Shown(GameHarness& g) { return g.hl.video->LastFrame(); }

}  // namespace

TEST(EnglishFrames, Menu) {
  English en;
  GameHarness g;
  g.Start();
  g.Frames(40, 16);
  EXPECT_EQ(MainForm->Caption(), "Kobaltix");
  EXPECT_TRUE(MatchesReference(Shown(g), "menu_en"));
}

TEST(EnglishFrames, LevelScreenAndCheatMessage) {
  English en;
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  ScriptedPlayer p(g, {.launch = false, .wanted = {}});
  g.Type("0");  // the cheat mode's line shows over the level screen too
  ASSERT_TRUE(p.EnterConsoleCode("turnipvase"));
  ASSERT_LT(p.PlayUntil([&] { return GameState == gsLevelIntro && Level == 2; }, 50), 50);
  g.Frames(3, 16);
  ASSERT_EQ(GameState, gsLevelIntro);
  EXPECT_TRUE(MatchesReference(Shown(g), "level_intro_2_en"));
}

TEST(EnglishFrames, ScoreEntry) {
  English en;
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  g.Hold(VK_SPACE);
  g.Frame(16);
  g.Release(VK_SPACE);
  g.Frames(5, 16);
  platform::headless::CapturedFrame shot;
  g.hl.video->OnPresent = [&](const platform::headless::HeadlessVideo& v) {
    if (!Form2->Modal()) return;
    shot = v.LastFrame();
    Form2->SetModalResult(mrCancel);
  };
  Score = 98765;
  Lives = 1;
  LoseBall = true;
  g.Frame(16);
  g.hl.video->OnPresent = nullptr;
  EXPECT_EQ(Form2->Label1->Caption(), "Your score:");
  EXPECT_TRUE(MatchesReference(shot, "score_entry_en"));
}

TEST(EnglishFrames, EditorWithItsQuestion) {
  English en;
  GameHarness g;
  fs::create_directory("set");
  for (int n = 1; n <= 20; ++n) {
    const std::string name = "lev" + std::to_string(n) + ".lev";
    fs::copy_file(fs::path(KX_SOURCE_DIR) / "levels" / name, fs::path("set") / name);
  }
  g.Start();
  MainForm->OpenEditor("set");
  TLevelEditor* ed = MainForm->Editor;
  ASSERT_NE(ed, nullptr);
  g.Press('5');  // the longest words of the palette, on the status line too
  EXPECT_EQ(ed->Status(), "Type 5: 16 points, unbreakable, turns into a 4");
  platform::Event e;
  e.kind = platform::EventKind::MouseMove;
  e.x = 100 + 50 * 3 + 25;
  e.y = 100 + 20 * 12 + 10;
  g.hl.events->Push(e);
  e.kind = platform::EventKind::MouseDown;
  e.button = 1;
  g.hl.events->Push(e);
  e.kind = platform::EventKind::MouseUp;
  g.hl.events->Push(e);
  g.Pump();
  g.Press(platform::VK_ESCAPE);  // a changed level: the question comes
  g.Frames(2, 16);
  ASSERT_TRUE(ed->Asking());
  EXPECT_EQ(ed->QuestionText->Caption(), "Level 1 has unsaved changes. Save before leaving?");
  EXPECT_TRUE(MatchesReference(Shown(g), "editor_en"));
}
