// The main window's frame loop, key commands, cheat console and loading, played on the headless
// platform with the real data directory.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include "game/textfile.h"
#include "support/game_harness.h"
#include "support/scripted_player.h"
#include "toolkit/graphics.h"

using platform::VK_ESCAPE;
using platform::VK_RETURN;

namespace {
int Alpha3(int pulse) {
  return static_cast<int>(std::trunc(126.0 * CosTable[(4 * pulse) & 255] + 127.0));
}
int Alpha2(int pulse) {
  return static_cast<int>(std::trunc(126.0 * CosTable[(4 * pulse + 128) & 255] + 127.0));
}
// Width of the gauge's filled part in a presented frame: pixels of the bar colour on its row.
int FilledWidth(const platform::headless::HeadlessVideo& v, int gaugeX, int gaugeY) {
  int n = 0;
  const uint16_t fill = ColorTo565(16742331);
  for (int x = gaugeX; x < gaugeX + 279; ++x)
    if (v.Pixel565(x, gaugeY + 14) == fill) ++n;
  return n;
}
}  // namespace

TEST(FrameLoop, StartsInTheMenuWithEverythingLoaded) {
  GameHarness g;
  g.Start();
  EXPECT_TRUE(Started);
  EXPECT_EQ(GameState, gsMenu);
  EXPECT_EQ(PaddleX, 0.0);
  EXPECT_EQ(PaddleY, 600 - 70);
  EXPECT_EQ(PaddleSize, 3);
  EXPECT_EQ(BallKind, 1);
  EXPECT_FALSE(Form1->Visible());
  // Every catalogue item that is loaded from a file has its picture; the animated frames 4 and 5
  // repeat frames 2 and 1.
  TPictureCollectionItem* k64 = MainForm->ImageList->FindImage("kirp64");
  TPictureCollectionItem* k62 = MainForm->ImageList->FindImage("kirp62");
  ASSERT_EQ(k64->Width(), 50);
  EXPECT_EQ(k64->Height(), 20);
  EXPECT_EQ(k64->Picture.Graphic()->Width(), k62->Picture.Graphic()->Width());
  EXPECT_EQ(MainForm->FontList1->FindImage("i7")->Width(), 20);
  EXPECT_EQ(MainForm->ImageList->FindImage("SHAR1")->Width(), 20);
  EXPECT_TRUE(MainForm->DXDraw->Initialized());
  EXPECT_EQ(MainForm->DXDraw->Back()->Width(), 800);
  EXPECT_EQ(MainForm->DXDraw->Back()->Height(), 600);
}

TEST(FrameLoop, MenuPulseAndAlphas) {
  EXPECT_EQ(Alpha3(1), 252);
  EXPECT_EQ(Alpha2(1), 1);
  EXPECT_EQ(Alpha3(32), 1);
  EXPECT_EQ(Alpha2(32), 253);
  EXPECT_EQ(Alpha3(64), 253);
  EXPECT_EQ(Alpha2(64), 1);

  GameHarness g;
  g.Start();
  MenuPulse = 251;
  MenuPulseDown = false;
  std::vector<int> drawn;
  for (int i = 0; i < 5; ++i) {
    drawn.push_back(MenuPulse);
    ASSERT_TRUE(g.Frame());
  }
  EXPECT_EQ(drawn, (std::vector<int>{251, 252, 253, 254, 253}));
  MenuPulse = 3;
  MenuPulseDown = true;
  drawn.clear();
  for (int i = 0; i < 4; ++i) {
    drawn.push_back(MenuPulse);
    ASSERT_TRUE(g.Frame());
  }
  EXPECT_EQ(drawn, (std::vector<int>{3, 2, 1, 2}));
}

TEST(FrameLoop, MenuShowsRecordHeadingAndRows) {
  GameHarness g;
  g.Start();
  ASSERT_TRUE(g.Frame());
  const auto& v = *g.hl.video;
  // "Рекорды:" in pure red starting at (W - 250, 58).
  int red = 0;
  for (int y = 58; y < 80; ++y)
    for (int x = 550; x < 650; ++x)
      if (v.PixelRGB(x, y) == 0xFF0000) ++red;
  EXPECT_GT(red, 20);
  // No red above the heading's box.
  int above = 0;
  for (int y = 40; y < 57; ++y)
    for (int x = 550; x < 650; ++x)
      if (v.PixelRGB(x, y) == 0xFF0000) ++above;
  EXPECT_EQ(above, 0);
}

TEST(FrameLoop, RecordRowsStandEveryTwentyFourPixels) {
  GameHarness g;
  g.Start();
  MenuPulse = 100;
  MenuPulseDown = false;
  ASSERT_TRUE(g.Frame());
  const auto& v = *g.hl.video;
  // Pixels of the pulsing colour RGB(100, 100, 200) in the score column (x = W - 120), where no
  // menu picture reaches, between y0 and y1.
  auto count = [&](int y0, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = 678; x < 760; ++x) {
        const uint32_t c = v.PixelRGB(x, y);
        const int r = (c >> 16) & 255, gr = (c >> 8) & 255, b = c & 255;
        if (std::abs(r - 100) <= 8 && std::abs(gr - 100) <= 8 && std::abs(b - 200) <= 8) ++n;
      }
    return n;
  };
  for (int row = 1; row <= 5; ++row) {
    const int y = 58 + 24 * row;  // 82, 106, 130, 154, 178
    EXPECT_GT(count(y, y + 22), 5) << "row " << row;
  }
  EXPECT_EQ(count(40, 80), 0);  // the heading above is red, not pulsing
}

// Record names stay in their column: a 15-character Russian name shows whole, a 1 MiB name is cut
// short of the scores, and right of the name column the rows are exactly what a table without
// names shows.
TEST(FrameLoop, RecordNamesStayInTheirColumn) {
  struct Menu {
    std::vector<uint32_t> px;  // frame x 550..799, y 80..209
    int width1 = 0, width2 = 0;
  };
  auto show = [](const std::string& name1, const std::string& name2) {
    GameHarness g(/*withRecords=*/false);
    std::ofstream("rec.kbx", std::ios::binary)
        << name1 << "\r\n500\r\n"
        << name2 << "\r\n400\r\n\r\n300\r\n\r\n200\r\n\r\n100\r\n";
    g.Start();
    MenuPulse = 100;
    MenuPulseDown = false;
    EXPECT_TRUE(g.Frame());
    Menu m;
    for (int y = 80; y < 210; ++y)
      for (int x = 550; x < 800; ++x) m.px.push_back(g.hl.video->PixelRGB(x, y));
    m.width1 = MainForm->RecordNameRun(1).Width();
    m.width2 = MainForm->RecordNameRun(2).Width();
    return m;
  };
  const Menu named = show(game::Utf8ToCp1251("Евгений Соколов"), std::string(1 << 20, '\xC6'));
  const Menu blank = show("", "");
  const int column = TMainForm::kRecordNameWidth;
  EXPECT_LT(named.width1, column);  // whole
  EXPECT_EQ(named.width2, column);  // cut
  int nameDiffers = 0, scoreDiffers = 0;
  for (int y = 0; y < 130; ++y)
    for (int x = 0; x < 250; ++x) {
      const size_t i = static_cast<size_t>(y) * 250 + x;
      if (named.px[i] == blank.px[i]) continue;
      if (x < column)
        ++nameDiffers;
      else
        ++scoreDiffers;
    }
  EXPECT_GT(nameDiffers, 100);
  EXPECT_EQ(scoreDiffers, 0);
}

TEST(FrameLoop, CanDrawFalseOnlyUpdatesTheScoreLabel) {
  GameHarness g;
  g.Start();
  MainForm->DXDraw->Finalize();  // the display cannot draw now (and the timer stops with it)
  MainForm->DXTimer->SetEnabled(true);
  Score = 4321;
  const int pulse = MenuPulse;
  g.Hold(platform::VK_SPACE);
  ASSERT_TRUE(g.Frame());
  EXPECT_EQ(MainForm->Label1->Caption(), "4321");
  EXPECT_EQ(MenuPulse, pulse);  // nothing was drawn: the menu animation stood still
  EXPECT_TRUE(MainForm->DXInput->States().Empty());  // and no input was sampled
}

TEST(KeyCommands, EnterStartsAGameAndEscapeReturnsToTheMenu) {
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  EXPECT_EQ(GameState, gsServe);
  EXPECT_EQ(Level, 1);
  EXPECT_EQ(Lives, 3);
  EXPECT_EQ(Score, 0);
  EXPECT_EQ(PaddleX, 15.0);
  EXPECT_GT(BrickCount, 0);
  ASSERT_TRUE(g.Frame());
  // Enter while serving or playing does nothing.
  const int bricks = MainForm->DXSpriteEngine->Engine()->SpriteCount();
  g.Press(VK_RETURN);
  EXPECT_EQ(GameState, gsServe);
  EXPECT_EQ(MainForm->DXSpriteEngine->Engine()->SpriteCount(), bricks);

  g.Press(VK_ESCAPE);
  EXPECT_EQ(GameState, gsMenu);
  EXPECT_TRUE(ReturnToMenu);
  ASSERT_TRUE(g.Frame());
  EXPECT_FALSE(ReturnToMenu);
  // Only the background and the paddle are left in the tree.
  EXPECT_EQ(MainForm->DXSpriteEngine->Engine()->SpriteCount(), 2);
  EXPECT_EQ(MainForm->DXSpriteEngine->Engine()->Validate(), "");
}

TEST(KeyCommands, ConsoleCodeWordsMatchExactly) {
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  g.Type("`");
  EXPECT_TRUE(MainForm->Panel1->Visible());
  EXPECT_FALSE(MainForm->DXTimer->Enabled());
  EXPECT_EQ(MainForm->Edit1->Text(), "");  // the key that opened the console is not typed into it
  g.Type("turnipvase");
  g.Press(VK_ESCAPE);
  EXPECT_TRUE(SkipLevel);
  EXPECT_FALSE(MainForm->Panel1->Visible());
  g.Type("`");
  MainForm->Edit1->SetText("");
  MainForm->Edit1->SetFocus();
  g.Type("bluewhalesix ");
  MainForm->ConfirmConsole();
  EXPECT_EQ(Lives, 3);  // a trailing blank does nothing
  MainForm->Edit1->SetText("BLUEWHALESIX");
  MainForm->ConfirmConsole();
  EXPECT_EQ(Lives, 3);
  MainForm->Edit1->SetText("bluewhalesix");
  MainForm->ConfirmConsole();
  EXPECT_EQ(Lives, 100);
  EXPECT_TRUE(MainForm->DXTimer->Enabled());

  // "0" typed into the console reaches the window's character handler.
  g.Type("`");
  MainForm->Edit1->SetFocus();
  const bool cheat = CheatMode;
  g.Type("0");
  EXPECT_EQ(CheatMode, !cheat);
  g.Press(VK_ESCAPE);  // closes the console only
  EXPECT_FALSE(MainForm->Panel1->Visible());
  EXPECT_NE(GameState, gsMenu);
}

TEST(KeyCommands, AltEnterKeepsTheTimerAndTheBackSurface) {
  GameHarness g;
  g.Start();
  ASSERT_TRUE(MainForm->DXDraw->Options().Contains(doFullScreen));
  g.Press(VK_RETURN, /*alt=*/true);  // also starts a game from the menu
  EXPECT_EQ(GameState, gsServe);
  EXPECT_FALSE(MainForm->DXDraw->Options().Contains(doFullScreen));
  EXPECT_FALSE(g.hl.video->FullScreen());
  EXPECT_TRUE(MainForm->DXTimer->Enabled());
  EXPECT_EQ(MainForm->DXDraw->Back()->Width(), 800);
  EXPECT_EQ(MainForm->DXDraw->Back()->Height(), 600);
  ASSERT_TRUE(g.Frame());
  // The window shows the whole frame 1:1, and the game still sees an 800 x 600 field.
  const auto& shown = g.hl.video->LastFrame();
  ASSERT_EQ(shown.width, 800);
  ASSERT_EQ(shown.height, 600);
  EXPECT_EQ(MainForm->W(), 800);
  EXPECT_EQ(MainForm->H(), 600);
  TDirectDrawSurface* back = MainForm->DXDraw->Back();
  int differing = 0;
  for (int y = 0; y < 600; ++y)
    for (int x = 0; x < 800; ++x)
      if (g.hl.video->Pixel565(x, y) != back->Pixels(x, y)) ++differing;
  EXPECT_EQ(differing, 0);
  g.Press(VK_RETURN, true);
  EXPECT_TRUE(MainForm->DXDraw->Options().Contains(doFullScreen));
  EXPECT_TRUE(g.hl.video->FullScreen());
  EXPECT_TRUE(MainForm->DXTimer->Enabled());
  EXPECT_EQ(MainForm->DXDraw->Back()->Width(), 800);
  ASSERT_TRUE(g.Frame());
}

TEST(KeyCommands, StartInWindowThenAltEnterGoesFullScreen) {
  GameHarness g;
  InitApplication();
  platform::Get().video->OpenWindow("KobalTix v. 1.3", 800, 600);
  platform::Get().video->SetFullScreen(false);
  CreateGameWindows();
  MainForm->StartInWindow();  // what --window does
  auto inner = MainForm->DXTimer->OnTimer;
  MainForm->DXTimer->OnTimer = [&g, inner](TObject* s, int lag) {
    ++g.frames;
    inner(s, lag);
  };
  MainForm->Show();
  g.Pump();
  EXPECT_FALSE(MainForm->DXDraw->Options().Contains(doFullScreen));
  EXPECT_FALSE(g.hl.video->FullScreen());
  EXPECT_EQ(MainForm->BorderStyle(), bsSizeable);
  ASSERT_TRUE(g.Frame());
  EXPECT_EQ(MainForm->DXDraw->Back()->Width(), 800);  // the whole frame, not the form's 792 x 481
  EXPECT_EQ(MainForm->DXDraw->Back()->Height(), 600);
  g.Press(VK_RETURN, /*alt=*/true);
  EXPECT_TRUE(MainForm->DXDraw->Options().Contains(doFullScreen));
  EXPECT_TRUE(g.hl.video->FullScreen());
  ASSERT_TRUE(g.Frame());
}

TEST(Loading, GaugeAdvancesThroughEveryStep) {
  GameHarness g;
  InitApplication();
  platform::Get().video->OpenWindow("KobalTix v. 1.3", 800, 600);
  CreateGameWindows();
  // Record the bar's filled width in every frame the loading window presents.
  std::vector<int> widths;
  int seen = 0;
  auto sample = [&] {
    while (seen < g.hl.video->FrameCount()) {
      ++seen;
      if (!Form1->Visible()) continue;
      const TPoint o = Form1->ScreenOrigin();
      int w = FilledWidth(*g.hl.video, o.X + 20, o.Y + 91);
      if (widths.empty() || widths.back() != w) widths.push_back(w);
    }
  };
  g.hl.video->OnPresent = [&](const platform::headless::HeadlessVideo&) { sample(); };
  MainForm->Show();
  g.hl.video->OnPresent = nullptr;
  std::vector<int> expected;
  for (int p : {5, 7, 8, 9, 10, 15, 20, 25, 30, 35, 45, 50})
    expected.push_back(279 * (p * 100 / 50) / 100);
  // Every presented state of the bar, in order (the first frames may come before the bar shows).
  std::vector<int> tail(widths.end() - std::min(widths.size(), expected.size()), widths.end());
  EXPECT_EQ(tail, expected);
}

TEST(KeyCommands, NineNeedsCheatModeEnterEndsTheIntroAndTheServeTimerLaunches) {
  GameHarness g;
  g.Start();
  g.NewGameFromMenu();
  g.Type("9");
  EXPECT_FALSE(SkipLevel);  // no cheat mode
  ScriptedPlayer p(g, {.launch = false, .wanted = {}});
  ASSERT_TRUE(p.EnterConsoleCode("turnipvase"));
  ASSERT_LT(p.PlayUntil([] { return GameState == gsLevelIntro; }, 50), 50);
  g.Frames(80, 100);  // the intro waits for the player
  ASSERT_EQ(GameState, gsLevelIntro);
  g.Press(VK_RETURN);
  EXPECT_EQ(GameState, gsServe);
  g.Frames(48, 100);  // the ball waits on the paddle for 5 s, then the serve timer launches it
  EXPECT_EQ(GameState, gsServe);
  g.Frames(3, 100);
  EXPECT_EQ(GameState, gsPlaying);
  EXPECT_FALSE(MainForm->Timer2->Enabled());
}

TEST(Loading, MusicPrefersMp3AndLoadingClearsCheatMode) {
  namespace fs = std::filesystem;
  GameHarness g;
  g.Start();
  fs::remove("music");
  fs::create_directory("music");
  for (const char* f : {"music/music.wav", "music/music.mp3"}) std::ofstream(f) << "tune";
  CheatMode = true;
  MainForm->LoadAssets();
  EXPECT_FALSE(CheatMode);
  EXPECT_EQ(fs::path(MainForm->m->FileName()).filename(), "music.mp3");
}

TEST(LevelSetUp, GridFromOneHundredPixelsAndFirstFramesOneToFour) {
  namespace fs = std::filesystem;
  GameHarness g;
  g.Start();
  fs::remove("levels");
  fs::create_directory("levels");
  // Two bricks: type 6 in column 3, row 2; type 4 in column 0, row 0.
  std::ofstream("levels/lev1.lev", std::ios::binary) << "2\r\n3\r\n2\r\n6\r\n0\r\n0\r\n4\r\n";
  Level = 1;
  for (double d : {7, 4, 7, 6}) PushScriptedRandom(d);  // tick and frame draws of each brick
  MainForm->LoadLevel();
  auto bricks = ScriptedPlayer::Live<TMonoSprite>();
  ASSERT_EQ(bricks.size(), 2u);
  EXPECT_EQ((std::pair<double, double>(bricks[0]->X, bricks[0]->Y)), std::pair(250.0, 140.0));
  EXPECT_EQ((std::pair<double, double>(bricks[1]->X, bricks[1]->Y)), std::pair(100.0, 100.0));
  EXPECT_EQ(bricks[0]->BrickFrame, 1);  // draw 4 of Random(4): frame 1
  EXPECT_EQ(bricks[0]->Image, MainForm->ImageList->FindImage("kirp61"));
  EXPECT_EQ(bricks[1]->BrickFrame, 1);  // type 4 always starts at frame 1
  PushScriptedRandom(11);
  MainForm->NewBall();
  EXPECT_EQ(ScriptedPlayer::Live<TsharSprite>().back()->Angle, 5.0);           // Random(6) of 11
  EXPECT_LT(bricks[0]->Z(), ScriptedPlayer::Live<TsharSprite>().back()->Z());  // drawn beneath
}
