// The level editor in the game's window on the headless platform: the mouse draws, replaces,
// drags and erases, keys pick types, switch levels, undo, redo and save, F5 plays the level with
// the game's rules and Escape brings the editor back as it was. Damaged files and a read-only set
// folder are opened and saved without harm.
#include "game/level_editor.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "game/game_sprites.h"
#include "game/levels.h"
#include "support/game_harness.h"
#include "support/scripted_player.h"

namespace fs = std::filesystem;
using platform::Event;
using platform::EventKind;
using namespace platform;

namespace {

std::string ReadBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// The centre of a cell in frame coordinates.
int X(int column) { return 100 + 50 * column + 25; }
int Y(int row) { return 100 + 20 * row + 10; }

// The game on the headless platform, turned into the editor of a copy of the shipped levels
// (the folder "set" in the harness's private working directory).
class Editor : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory("set");
    for (int n = 1; n <= 20; ++n) fs::copy_file(Shipped(n), fs::path("set") / Name(n));
    g.Start();
    MainForm->OpenEditor("set");
    ed = MainForm->Editor;
    ASSERT_NE(ed, nullptr);
    g.Frame();
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions("set", fs::perms::owner_all, ec);
  }

  static std::string Name(int n) { return "lev" + std::to_string(n) + ".lev"; }
  static fs::path Shipped(int n) { return fs::path(KX_SOURCE_DIR) / "levels" / Name(n); }

  void Mouse(EventKind kind, int x, int y, int button = 0) {
    Event e;
    e.kind = kind;
    e.x = x;
    e.y = y;
    e.button = button;
    g.hl.events->Push(e);
    g.Pump();
  }
  // A click of `button` (1 left, 3 right) at (x, y).
  void Click(int x, int y, int button = 1) {
    Mouse(EventKind::MouseMove, x, y);
    Mouse(EventKind::MouseDown, x, y, button);
    Mouse(EventKind::MouseUp, x, y, button);
  }
  void Ctrl(int vk) {
    g.hl.events->PushKeyDown(vk, false, false, true);
    g.Pump();
    g.hl.events->PushKeyUp(vk);
    g.Pump();
  }
  int Type(int column, int row) { return ed->Model.TypeAt(column, row); }

  GameHarness g;
  TLevelEditor* ed = nullptr;
};

}  // namespace

TEST_F(Editor, OpensOnLevelOneAndDrawsTheFieldAsTheGameDoes) {
  EXPECT_EQ(ed->Model.Level(), 1);
  EXPECT_TRUE(ed->Editing());
  // Level 1's first brick, a type-1 brick (never animated), stands in column 3, row 2; its picture
  // is drawn there, and nothing in the empty cell at the field's left edge.
  auto cell = [&](int column, int row) {
    std::vector<uint32_t> px;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 50; ++x)
        px.push_back(g.hl.video->PixelRGB(100 + 50 * column + x, 100 + 20 * row + y));
    return px;
  };
  const auto editorBrick = cell(3, 2), editorEmpty = cell(-2, 12);
  ASSERT_EQ(Type(3, 2), 1);
  EXPECT_NE(editorBrick, editorEmpty);

  // The same cells in the game's own frame, in a test play of the same level.
  g.Press(VK_F1 + 4);
  ASSERT_FALSE(ed->Editing());
  g.Frame();
  EXPECT_EQ(cell(-2, 12), editorEmpty);
  EXPECT_EQ(cell(3, 2), editorBrick);
}

TEST_F(Editor, MousePlacesReplacesDragsAndErases) {
  Click(X(0), Y(15));
  EXPECT_EQ(Type(0, 15), 1);
  g.Press('3');
  EXPECT_EQ(ed->Selected(), 3);
  Click(X(0), Y(15));
  EXPECT_EQ(Type(0, 15), 3);
  const size_t count = ed->Model.Bricks().size();

  // A drag along row 16 fills every cell it crosses, as one step.
  Mouse(EventKind::MouseDown, X(0), Y(16), 1);
  for (int c = 0; c <= 4; ++c) Mouse(EventKind::MouseMove, X(c) + 10, Y(16) + 3);
  Mouse(EventKind::MouseUp, X(4), Y(16), 1);
  for (int c = 0; c <= 4; ++c) EXPECT_EQ(Type(c, 16), 3) << c;
  EXPECT_EQ(ed->Model.Bricks().size(), count + 5);

  // A right drag erases.
  Mouse(EventKind::MouseDown, X(1), Y(16), 3);
  Mouse(EventKind::MouseMove, X(2), Y(16));
  Mouse(EventKind::MouseUp, X(2), Y(16), 3);
  EXPECT_EQ(Type(1, 16), 0);
  EXPECT_EQ(Type(2, 16), 0);
  EXPECT_EQ(Type(3, 16), 3);

  Ctrl('Z');  // the erasing drag
  EXPECT_EQ(Type(1, 16), 3);
  Ctrl('Z');  // the drawing drag
  EXPECT_EQ(Type(4, 16), 0);
  EXPECT_EQ(Type(0, 15), 3);
  Ctrl('Y');
  EXPECT_EQ(Type(4, 16), 3);

  // A palette entry picks its type.
  const TRect r = TLevelEditor::PaletteRect(8);
  Click(r.Left + 20, r.Top + 30);
  EXPECT_EQ(ed->Selected(), 8);
  g.Press(VK_NUMPAD1 + 5);
  EXPECT_EQ(ed->Selected(), 6);
}

TEST_F(Editor, CellsTheBallCannotReachAreRefusedWithAReason) {
  const size_t count = ed->Model.Bricks().size();
  Click(X(5), 535);  // the paddle's line
  EXPECT_NE(ed->Status().find("ракетки"), std::string::npos) << ed->Status();
  Mouse(EventKind::MouseDown, X(5), Y(20), 1);
  Mouse(EventKind::MouseMove, 820, Y(20));  // dragged out of the frame
  EXPECT_NE(ed->Status().find("за видимое поле"), std::string::npos) << ed->Status();
  Mouse(EventKind::MouseUp, 820, Y(20), 1);
  EXPECT_EQ(Type(5, 20), 1);
  EXPECT_EQ(ed->Model.Bricks().size(), count + 1);
}

TEST_F(Editor, UndoAndRedoBelongToEachLevel) {
  Click(X(0), Y(18));
  g.Press(VK_NEXT);
  EXPECT_EQ(ed->Model.Level(), 2);
  g.Press('9');
  Click(X(1), Y(18));
  EXPECT_EQ(Type(1, 18), 9);
  g.Press(VK_PRIOR);
  Ctrl('Z');
  EXPECT_EQ(Type(0, 18), 0);
  g.Press(VK_RIGHT);
  EXPECT_EQ(Type(1, 18), 9);  // level 2 kept its change
  Ctrl('Z');
  EXPECT_EQ(Type(1, 18), 0);
  Ctrl('Z');  // nothing more to undo on level 2
  EXPECT_EQ(ed->Model.Bricks(), game::ReadLevelFile("set/lev2.lev"));
  g.Press(VK_LEFT);
  Ctrl('Y');
  EXPECT_EQ(Type(0, 18), 1);
  for (int i = 0; i < 30; ++i) g.Press(VK_DOWN);
  EXPECT_EQ(ed->Model.Level(), 20);
  g.Press(VK_NEXT);
  EXPECT_EQ(ed->Model.Level(), 20);
}

TEST_F(Editor, CtrlSSavesWhatTheGamesReaderReadsBack) {
  g.Press(VK_NEXT);
  g.Press('5');
  Click(X(-2), Y(0));
  Click(X(13), Y(20));
  Click(X(3), Y(3), 3);
  Ctrl('S');
  EXPECT_NE(ed->Status().find("lev2.lev"), std::string::npos) << ed->Status();
  EXPECT_EQ(game::ReadLevelFile("set/lev2.lev"), ed->Model.Bricks());
  EXPECT_EQ(game::ReadLevelFile("set/lev2.lev").back(), (game::LevelBrick{13, 20, 5}));
  EXPECT_EQ(ReadBytes("set/lev1.lev"), ReadBytes(Shipped(1)));  // other levels untouched
}

TEST_F(Editor, TestPlayStartsAFreshServeAndEscapeReturnsToTheSameEditor) {
  g.Press(VK_NEXT);
  g.Press(VK_NEXT);
  Click(X(0), Y(17));
  const auto bricks = ed->Model.Bricks();
  Score = 0;
  g.Press(VK_F1 + 4);
  EXPECT_FALSE(ed->Editing());
  EXPECT_EQ(GameState, gsServe);
  EXPECT_EQ(Level, 3);
  EXPECT_EQ(BrickCount, static_cast<int32_t>(bricks.size()));
  EXPECT_EQ(Lives, 3);
  g.Frames(5);
  std::vector<game::LevelBrick> made;
  for (TMonoSprite* b : ScriptedPlayer::Live<TMonoSprite>())
    made.push_back(
        {(static_cast<int>(b->X) - 100) / 50, (static_cast<int>(b->Y) - 100) / 20, b->BrickType});
  EXPECT_EQ(made, bricks);
  g.Hold(VK_SPACE);
  g.Frames(3);
  g.Release(VK_SPACE);
  EXPECT_EQ(GameState, gsPlaying);
  g.Frames(20);

  g.Press(VK_ESCAPE);
  g.Frames(2);
  EXPECT_TRUE(ed->Editing());
  EXPECT_EQ(ed->Model.Level(), 3);
  EXPECT_EQ(ed->Model.Bricks(), bricks);
  EXPECT_TRUE(ed->Model.Modified(3));  // the edit is still unsaved, and still there
  EXPECT_FALSE(Form2->Visible());
  EXPECT_TRUE(ScriptedPlayer::Live<TMonoSprite>().empty());
  EXPECT_TRUE(ScriptedPlayer::Live<TsharSprite>().empty());
  EXPECT_FALSE(g.hl.events->Pending());
  EXPECT_FALSE(Application->Terminated());
}

TEST_F(Editor, TheLastLifeOfATestPlayOffersNoRecord) {
  bool offered = false;
  Form2->OnShow = [&](TObject*) {
    offered = true;
    Form2->SetModalResult(mrCancel);
  };
  g.Press(VK_F1 + 4);
  Score = 1000000;  // far above the table
  Lives = 1;
  LoseBall = true;
  g.Frames(3);
  EXPECT_FALSE(offered);
  EXPECT_TRUE(ed->Editing());
  EXPECT_EQ(ed->Model.Bricks(), game::ReadLevelFile("set/lev1.lev"));
}

TEST_F(Editor, LeavingWithUnsavedLevelsAsksFirst) {
  Click(X(0), Y(19));
  g.Press(VK_ESCAPE);
  EXPECT_TRUE(ed->Asking());
  EXPECT_FALSE(Application->Terminated());
  g.Press(VK_ESCAPE);  // stay
  EXPECT_FALSE(ed->Asking());
  EXPECT_FALSE(Application->Terminated());
  MainForm->CloseRequest();  // the window's close button asks too
  EXPECT_TRUE(ed->Asking());
  g.Press(VK_RETURN);  // save and leave
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(game::ReadLevelFile("set/lev1.lev").back(), (game::LevelBrick{0, 19, 1}));
}

TEST_F(Editor, ClosingTheWindowDuringATestPlayEndsItAndAsks) {
  Click(X(0), Y(19));
  g.Press(VK_F1 + 4);
  MainForm->CloseRequest();
  g.Frames(2);
  EXPECT_TRUE(ed->Editing());
  EXPECT_TRUE(ed->Asking());
  EXPECT_FALSE(Application->Terminated());
  EXPECT_FALSE(Form2->Visible());
}

TEST_F(Editor, LeavingWithoutSavingKeepsTheFiles) {
  Click(X(0), Y(19), 3);
  Click(X(3), Y(2), 3);
  g.Press(VK_ESCAPE);
  ASSERT_TRUE(ed->Asking());
  g.Press('N');
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(ReadBytes("set/lev1.lev"), ReadBytes(Shipped(1)));
}

TEST_F(Editor, AnEmptyLevelIsNotSaved) {
  while (!ed->Model.Bricks().empty()) {
    const game::LevelBrick b = ed->Model.Bricks().front();
    Click(X(b.column), Y(b.row), 3);
  }
  Ctrl('S');
  EXPECT_NE(ed->Status().find("нет ни одного кирпича"), std::string::npos) << ed->Status();
  EXPECT_EQ(ReadBytes("set/lev1.lev"), ReadBytes(Shipped(1)));
  g.Press(VK_F1 + 4);
  EXPECT_TRUE(ed->Editing());  // nothing to play
}

TEST_F(Editor, AReadOnlySetFolderReportsTheSystemsReasonAndKeepsTheEdit) {
  Click(X(0), Y(19));
  fs::permissions("set", fs::perms::owner_read | fs::perms::owner_exec);
  Ctrl('S');
  EXPECT_NE(ed->Status().find("Permission denied"), std::string::npos) << ed->Status();
  EXPECT_EQ(Type(0, 19), 1);
  EXPECT_TRUE(ed->Model.Modified(1));
  EXPECT_EQ(ReadBytes("set/lev1.lev"), ReadBytes(Shipped(1)));
  g.Frame();  // the status is drawn, nothing breaks
  fs::permissions("set", fs::perms::owner_all);
  Ctrl('S');
  EXPECT_FALSE(ed->Model.Modified(1));
}

TEST_F(Editor, DamagedFilesOpenWithAWarning) {
  std::ofstream("set/lev1.lev", std::ios::binary) << "5\n1\n-70000\n3\n2\n2\n\x1a trailing";
  std::ofstream("set/lev2.lev", std::ios::binary) << std::string(1 << 16, '\xff');
  fs::remove("set/lev3.lev");
  MainForm->OpenEditor("set");
  ed = MainForm->Editor;
  g.Frame();
  EXPECT_NE(ed->Status().find("Внимание"), std::string::npos) << ed->Status();
  EXPECT_NE(ed->Status().find("вне поля"), std::string::npos) << ed->Status();
  EXPECT_EQ(ed->Model.Bricks().size(), 5u);
  Ctrl('S');
  EXPECT_NE(ed->Status().find("Не сохранено"), std::string::npos) << ed->Status();
  g.Press(VK_DELETE);
  Ctrl('S');
  EXPECT_EQ(game::ReadLevelFile("set/lev1.lev"), ed->Model.Bricks());
  g.Press(VK_NEXT);
  EXPECT_NE(ed->Status().find("повреждён"), std::string::npos) << ed->Status();
  g.Frame();
  g.Press(VK_NEXT);
  EXPECT_NE(ed->Status().find("нет"), std::string::npos) << ed->Status();
  EXPECT_TRUE(ed->Model.Bricks().empty());
  g.Frame();
}

// Level files that are not files the editor can read open at once with their warning: the
// editor never waits on a pipe, never reads a device or a folder, and reads a huge file only as
// far as the game does. The clock only guards against a hang here; it measures no speed.
TEST_F(Editor, HostileLevelFilesOpenAtOnceWithTheirWarning) {
  struct Case {
    const char* what;
    std::function<void(const fs::path&)> make;
    const char* warning;
  };
  const std::vector<Case> cases = {
      {"a pipe", [](const fs::path& p) { ::mkfifo(p.c_str(), 0644); }, "Not a regular file"},
      {"a folder", [](const fs::path& p) { fs::create_directory(p); }, "Is a directory"},
      {"a link to /dev/zero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
       "Not a regular file"},
      {"a 20 MiB file",
       [](const fs::path& p) { std::ofstream(p, std::ios::binary) << std::string(20 << 20, '7'); },
       "повреждён"},
  };
  for (const Case& c : cases) {
    fs::remove("set/lev1.lev");
    c.make("set/lev1.lev");
    std::atomic<bool> done{false};
    std::thread guard([&] {
      // A hang shows as this ending the run (the test can never come back from one).
      for (int i = 0; i < 600 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (!done) {
        std::fprintf(stderr, "opening %s in the editor hung\n", c.what);
        std::_Exit(1);
      }
    });
    const auto start = std::chrono::steady_clock::now();
    MainForm->OpenEditor("set");
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    done = true;
    guard.join();
    ed = MainForm->Editor;
    std::printf("opening the set with %s as lev1.lev took %lld ms\n", c.what,
                static_cast<long long>(ms));
    EXPECT_NE(ed->Status().find("Внимание"), std::string::npos) << c.what << ": " << ed->Status();
    EXPECT_NE(ed->Status().find(c.warning), std::string::npos) << c.what << ": " << ed->Status();
    EXPECT_NE(ed->Status().find("lev1.lev"), std::string::npos) << c.what << ": " << ed->Status();
    g.Frame();
    g.Press(VK_NEXT);  // the other levels are there as ever
    EXPECT_EQ(ed->Model.Bricks(), game::ReadLevelFile("set/lev2.lev"));
    EXPECT_TRUE(fs::exists("set/lev1.lev") || fs::is_symlink("set/lev1.lev")) << "left alone";
  }
}

// Opening the editor again frees the first one together with its question panel: no control of
// the window is left whose handlers would call the freed editor.
TEST_F(Editor, OpeningTheEditorAgainLeavesNoPanelOfTheOldOne) {
  auto count = [] {
    int panels = 0;
    for (TComponent* c : MainForm->Components()) panels += c->Name == "EditorQuestion";
    for (TControl* c : MainForm->Controls()) panels += c->Name == "EditorQuestion";
    return panels;
  };
  EXPECT_EQ(count(), 1);
  MainForm->OpenEditor("set");
  MainForm->OpenEditor("set");
  ed = MainForm->Editor;
  EXPECT_EQ(count(), 1);
  // The question of the live editor works: its Stay button closes it and leaves the editor.
  Click(X(0), Y(19));
  ed->Leave();
  ASSERT_TRUE(ed->Asking());
  ed->StayButton->OnClick(ed->StayButton);
  EXPECT_FALSE(ed->Asking());
  EXPECT_TRUE(ed->Model.Modified(1));
}
