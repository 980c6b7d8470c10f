// The score-entry window and the record file end to end: a game ends above the fifth record, the
// window opens modally inside the ball's step, the player types and clicks " OK ", and the file,
// the menu and the music follow. Everything the player does arrives as real window events.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "game/data_paths.h"
#include "game/records.h"
#include "support/game_harness.h"
#include "support/temp_files.h"
#include "toolkit/canvas.h"

using platform::Event;
using platform::EventKind;

namespace {

constexpr TColor kBlue = 16711680;
constexpr TColor kYellow = 65535;

// The player's side of a modal window, played out in stages. A modal loop asks the platform to
// wait only once it has handled every event and repainted the screen; at that moment the next
// stage runs (it queues events or looks at the screen). A window still open when the script has
// run out is closed through the window system (and the test learns it), so no test can hang.
class EntryScript : public platform::Events {
 public:
  using Stage = std::function<void()>;

  explicit EntryScript(GameHarness& g) : g_(g) {
    platform::Platform& p = platform::Get();
    inner_.reset(p.events.release());
    // The platform owns this object from now on; the harness keeps talking to the inner queue.
    p.events.reset(this);
  }

  bool Poll(Event& e) override { return inner_->Poll(e); }
  void Post(const Event& e) override { inner_->Post(e); }
  bool Wait(Event& e, uint32_t) override {
    if (Form2 != nullptr && Form2->Modal()) {
      ++waits_;
      if (next_ < stages_.size()) {
        Stage s = stages_[next_++];
        s();
      } else {
        closedByScriptEnd = true;
        Form2->CloseRequest();
      }
    }
    return inner_->Poll(e);
  }

  // Counts the showings of the score-entry window (call after the windows exist).
  void WatchShowings() {
    auto inner = Form2->OnShow;
    Form2->OnShow = [this, inner](TObject* s) {
      ++showings;
      if (inner) inner(s);
    };
  }

  EntryScript& Type(const std::string& utf8) {
    stages_.push_back([this, utf8] { g_.hl.events->PushText(utf8); });
    return *this;
  }
  // A key pressed and released; `ch` is the character it types (0: none).
  EntryScript& Key(int vk, bool alt = false, char32_t ch = 0) {
    stages_.push_back([this, vk, alt, ch] {
      g_.hl.events->PushKeyDown(vk, alt);
      if (ch != 0) {
        Event c;
        c.kind = EventKind::Char;
        c.ch = ch;
        g_.hl.events->Push(c);
      }
      g_.hl.events->PushKeyUp(vk);
    });
    return *this;
  }
  // The mouse moves to (x, y) of the window's client area.
  EntryScript& MoveTo(int x, int y) {
    stages_.push_back([this, x, y] {
      TPoint o = Form2->ScreenOrigin();
      Mouse(EventKind::MouseMove, o.X + x, o.Y + y);
    });
    return *this;
  }
  // The mouse moves onto the middle of " OK " and clicks the left button there.
  EntryScript& ClickOk() {
    stages_.push_back([this] {
      TStaticText* ok = Form2->StaticText1;
      TPoint o = ok->ScreenOrigin();
      const int x = o.X + ok->Width() / 2, y = o.Y + ok->Height() / 2;
      Mouse(EventKind::MouseMove, x, y);
      Mouse(EventKind::MouseDown, x, y);
      Mouse(EventKind::MouseUp, x, y);
    });
    return *this;
  }
  // Runs `probe` with the window open and the screen up to date.
  EntryScript& Then(Stage probe) {
    stages_.push_back(std::move(probe));
    return *this;
  }

  int showings = 0;
  bool closedByScriptEnd = false;
  size_t StagesLeft() const { return stages_.size() - next_; }

 private:
  void Mouse(EventKind kind, int x, int y) {
    Event e;
    e.kind = kind;
    e.x = x;
    e.y = y;
    e.button = 1;
    g_.hl.events->Push(e);
  }

  GameHarness& g_;
  std::unique_ptr<platform::Events> inner_;
  std::vector<Stage> stages_;
  size_t next_ = 0;
  int waits_ = 0;
};

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

using Rows = std::vector<std::pair<std::string, int32_t>>;

// A record file as the game writes it.
std::string FileOf(const Rows& rows) {
  std::string out;
  for (const auto& [name, score] : rows) out += name + "\r\n" + std::to_string(score) + "\r\n";
  return out;
}

// Exactly ten lines, each ended by CR LF, and no other line break anywhere.
void ExpectTenCrLfLines(const std::string& bytes) {
  int crlf = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') {
      ASSERT_LT(i + 1, bytes.size()) << "CR at the very end";
      ASSERT_EQ(bytes[i + 1], '\n') << "lone CR at " << i;
      ++crlf;
      ++i;
    } else {
      ASSERT_NE(bytes[i], '\n') << "lone LF at " << i;
    }
  }
  EXPECT_EQ(crlf, 10);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
}

const Rows kWorked = {{"Anna", 900}, {"Boris", 700}, {"Clara", 700}, {"Dima", 300}, {"Eva", 100}};

// A running game with a record file of its own and the score-entry window watched.
struct Session {
  explicit Session(const Rows& rows) {
    WriteBytes("rec.kbx", FileOf(rows));
    g.Start();
    script.WatchShowings();
  }
  // Starts a game, gives it `score` and loses the last life: the hand-off runs in this frame.
  void GameOverWith(int32_t score) {
    g.NewGameFromMenu();
    ASSERT_EQ(GameState, gsServe);
    Score = score;
    Lives = 1;
    LoseBall = true;
    ASSERT_TRUE(g.Frame());
  }
  GameHarness g;
  EntryScript& script = *new EntryScript(g);  // owned by the installed platform
};

}  // namespace

// ---------------------------------------------------------------------------------------------

TEST(ScoreEntry, WorkedExampleGoesAboveTheEqualScores) {
  Session s(kWorked);
  s.script
      .Then([] {
        // The game has stopped underneath a modal window that holds the keyboard.
        EXPECT_TRUE(Form2->Visible());
        EXPECT_TRUE(Form2->Modal());
        EXPECT_EQ(Application->ModalForm(), Form2);
        EXPECT_EQ(GameState, gsMenu);
        EXPECT_FALSE(MainForm->DXTimer->Enabled());
        EXPECT_FALSE(MusicOn);
        EXPECT_EQ(Form2->Label2->Caption(), "700");
        EXPECT_EQ(MainForm->Label1->Caption(), "700");
        EXPECT_TRUE(Form2->Edit1->Focused());
        EXPECT_EQ(Form2->Edit1->Text(), "PLAYER");
        EXPECT_EQ(Form2->Edit1->SelLength(), 6);  // typing replaces the suggested name
      })
      .Type("Zoe")
      .ClickOk();
  s.GameOverWith(700);

  EXPECT_EQ(s.script.showings, 1);
  EXPECT_FALSE(s.script.closedByScriptEnd);
  EXPECT_EQ(s.script.StagesLeft(), 0u);
  EXPECT_FALSE(Form2->Visible());
  EXPECT_EQ(Application->ModalForm(), nullptr);
  const std::string bytes = ReadBytes("rec.kbx");
  EXPECT_EQ(bytes,
            FileOf({{"Anna", 900}, {"Zoe", 700}, {"Boris", 700}, {"Clara", 700}, {"Dima", 300}}));
  ExpectTenCrLfLines(bytes);
  EXPECT_EQ(Score, -1000);
  // The main window took over again: its activation read the new table and restarted the frames.
  EXPECT_TRUE(MainForm->Active());
  EXPECT_TRUE(MainForm->DXTimer->Enabled());
  EXPECT_EQ(RecordNames[2], "Zoe");
  EXPECT_EQ(RecordScores[2], 700);
  EXPECT_EQ(RecordNames[5], "Dima");
  EXPECT_TRUE(MusicOn);
  const int before = s.g.frames;
  s.g.Frames(3);
  EXPECT_EQ(s.g.frames, before + 3);
  EXPECT_EQ(GameState, gsMenu);
  EXPECT_EQ(Lives, 0);
}

TEST(ScoreEntry, ScoreEqualToTheFifthOpensNothingOnePointMoreDoes) {
  {
    Session s(kWorked);
    s.GameOverWith(100);
    EXPECT_EQ(s.script.showings, 0);
    EXPECT_EQ(ReadBytes("rec.kbx"), FileOf(kWorked));
    EXPECT_TRUE(MusicOn);  // the music was never stopped
    EXPECT_EQ(Score, 100);
    EXPECT_EQ(GameState, gsMenu);
  }
  {
    Session s(kWorked);
    s.script.Type("Fil").ClickOk();
    s.GameOverWith(101);
    EXPECT_EQ(s.script.showings, 1);
    EXPECT_FALSE(s.script.closedByScriptEnd);
    EXPECT_EQ(ReadBytes("rec.kbx"),
              FileOf({{"Anna", 900}, {"Boris", 700}, {"Clara", 700}, {"Dima", 300}, {"Fil", 101}}));
  }
}

TEST(ScoreEntry, TopScoreTakesRankOneAndEveryNameMovesDownWhole) {
  // A name longer than the field allows can stand in the file; it moves down unchanged.
  const std::string longName = "A very long name of 30 chars.";
  Rows rows = {{longName, 900}, {"", 700}, {" spaced ", 500}, {"Dima", 300}, {"Eva", 100}};
  Session s(rows);
  s.script.Type("Max").ClickOk();
  s.GameOverWith(5000);
  const std::string bytes = ReadBytes("rec.kbx");
  EXPECT_EQ(bytes,
            FileOf({{"Max", 5000}, {longName, 900}, {"", 700}, {" spaced ", 500}, {"Dima", 300}}));
  ExpectTenCrLfLines(bytes);
  EXPECT_EQ(RecordNames[1], "Max");
  EXPECT_EQ(RecordNames[2], longName);
  EXPECT_EQ(RecordScores[5], 300);
}

TEST(ScoreEntry, EmptyNameIsAnEmptyLine) {
  Session s(kWorked);
  s.script
      .Key(platform::VK_BACK)  // the selected "PLAYER" goes
      .Then([] { EXPECT_EQ(Form2->Edit1->Text(), ""); })
      .ClickOk();
  s.GameOverWith(800);
  const std::string bytes = ReadBytes("rec.kbx");
  EXPECT_EQ(bytes,
            FileOf({{"Anna", 900}, {"", 800}, {"Boris", 700}, {"Clara", 700}, {"Dima", 300}}));
  ExpectTenCrLfLines(bytes);
  game::RecordTable t = game::ReadRecordFile("rec.kbx");
  EXPECT_EQ(t.names[1], "");
  EXPECT_EQ(t.scores[1], 800);
  EXPECT_EQ(t.names[2], "Boris");
}

TEST(ScoreEntry, NameFieldEditsLikeATextField) {
  Session s(kWorked);
  s.script.Type("abc")
      .Key(platform::VK_HOME)
      .Type("X")
      .Key(platform::VK_END)
      .Key(platform::VK_LEFT)
      .Key(platform::VK_BACK)    // "Xabc" -> "Xac"
      .Key(platform::VK_DELETE)  // -> "Xa"
      .Key(platform::VK_RIGHT)
      .Type("Ж")
      .Then([] {
        EXPECT_EQ(Form2->Edit1->Text(), "XaЖ");
        EXPECT_EQ(Form2->Edit1->SelStart(), 3);
      })
      .Type("1234567890123456789")  // only 15 characters fit
      .Then([] { EXPECT_EQ(Form2->Edit1->Chars().size(), 15u); })
      .Key(platform::VK_HOME)
      .Key(platform::VK_DELETE)
      .Type("中")  // no place for it in the 8-bit name: it arrives as '?'
      .Then([] { EXPECT_EQ(Form2->Edit1->Text(), "?aЖ123456789012"); })
      .ClickOk();
  s.GameOverWith(350);
  game::RecordTable t = game::ReadRecordFile("rec.kbx");
  EXPECT_EQ(t.names[3],
            "?a\xC6"
            "123456789012");
  EXPECT_EQ(t.scores[3], 350);
}

TEST(ScoreEntry, CyrillicNameRoundTripsAndShowsInTheMenu) {
  Session s(kWorked);
  s.script.Type("Ёжик").ClickOk();
  s.GameOverWith(950);
  const std::string bytes = ReadBytes("rec.kbx");
  EXPECT_EQ(bytes.substr(0, 6), "\xA8\xE6\xE8\xEA\r\n");  // Windows-1251
  ExpectTenCrLfLines(bytes);
  EXPECT_EQ(RecordNames[1], "\xA8\xE6\xE8\xEA");

  // The menu's first row: the glyphs of the name in the names' face, in the row's colour, at
  // (W - 250, 82) with the names' baseline offset.
  const int pulse = MenuPulse;
  ASSERT_TRUE(s.g.Frame());
  const uint32_t rowColour = [&] {
    uint16_t p = ColorTo565(RGB(pulse % 256, 100, 200));
    auto widen = [](int v, int bits) { return (v << (8 - bits)) | (v >> (2 * bits - 8)); };
    return static_cast<uint32_t>(widen((p >> 11) & 31, 5) << 16 | widen((p >> 5) & 63, 6) << 8 |
                                 widen(p & 31, 5));
  }();
  // Share of the name's solid glyph pixels that the frame shows in the row's colour.
  auto match = [&](const std::string& utf8) {
    const int w = 120, h = 30;
    std::vector<uint32_t> px(w * h, 0);
    PixelBuffer pb{reinterpret_cast<uint8_t*>(px.data()), w * 4, w, h, 32};
    TCanvas c([&](PixelBuffer& out) {
      out = pb;
      return true;
    });
    c.Font = MainForm->RecordNameFont();
    c.Font.Color = clWhite;
    c.Brush.Style = bsClear;
    c.TextOut(0, MainForm->RecordNameDy(), utf8);
    c.ReleaseHandle();
    int solid = 0, shown = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if ((px[y * w + x] & 0xFFFFFF) == 0xFFFFFF) {
          ++solid;
          if (s.g.hl.video->PixelRGB(550 + x, 82 + y) == rowColour) ++shown;
        }
    return solid == 0 ? 0.0 : static_cast<double>(shown) / solid;
  };
  EXPECT_GT(match("Ёжик"), 0.9);
  EXPECT_LT(match("PLAYER"), 0.6);  // the check tells names apart
}

TEST(ScoreEntry, ReadOnlyFileKeepsTheWindowOpenAndTheFileWhole) {
  Session s(kWorked);
  const std::string before = ReadBytes("rec.kbx");
  ASSERT_EQ(::chmod("rec.kbx", 0444), 0);
  const std::string full = std::filesystem::absolute("rec.kbx").lexically_normal().string();
  s.script.Type("Ro")
      .ClickOk()
      .Then([&] {
        // The default error report showed the runtime's message; the window is still there.
        const auto& shown = s.g.hl.dialogs->Messages();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].title, "KobalTix v. 1.3");
        EXPECT_EQ(shown[0].text.rfind("Cannot create file \"" + full + "\". ", 0), 0u)
            << shown[0].text;
        EXPECT_GT(shown[0].text.size(), ("Cannot create file \"" + full + "\". ").size());
        EXPECT_TRUE(Form2->Visible());
        EXPECT_TRUE(Form2->Modal());
        EXPECT_EQ(ReadBytes("rec.kbx"), before);
        EXPECT_FALSE(TempFileBeside("rec.kbx"));
        EXPECT_EQ(Score, 700);
        EXPECT_FALSE(MusicOn);
        EXPECT_FALSE(MainForm->DXTimer->Enabled());
      })
      .ClickOk()  // the player tries again: the same report, still open
      .Then([&] {
        EXPECT_EQ(s.g.hl.dialogs->Messages().size(), 2u);
        EXPECT_TRUE(Form2->Modal());
      })
      .Key(platform::VK_F1 + 3, /*alt=*/true);  // and gives up: the entry is not offered again
  s.GameOverWith(700);
  EXPECT_EQ(s.script.showings, 1);
  EXPECT_EQ(s.script.StagesLeft(), 0u);
  EXPECT_FALSE(s.script.closedByScriptEnd);
  EXPECT_FALSE(Form2->Visible());
  EXPECT_EQ(ReadBytes("rec.kbx"), before);
  ::chmod("rec.kbx", 0644);
}

TEST(ScoreEntry, MusicStartsAgainFromTheBeginning) {
  Session s(kWorked);
  const std::string path = s.g.hl.music->OpenPath();
  ASSERT_FALSE(path.empty());
  ASSERT_TRUE(s.g.hl.music->Playing());
  s.g.Frames(50, 20);  // a second into the piece
  ASSERT_GT(s.g.hl.music->PositionMs(), 0u);
  s.g.hl.music->ClearLog();
  s.script
      .Then([&] {
        // Silence while the window is open; the aborted play's notice did not restart it.
        EXPECT_EQ(s.g.hl.music->Log(), (std::vector<std::string>{"Close"}));
        EXPECT_FALSE(s.g.hl.music->Playing());
      })
      .ClickOk();
  s.GameOverWith(700);
  EXPECT_EQ(s.g.hl.music->Log(), (std::vector<std::string>{"Close", "Open " + path, "Play 0"}));
  EXPECT_TRUE(s.g.hl.music->Playing());
  EXPECT_TRUE(MusicOn);
}

TEST(ScoreEntry, EscapeDuringPlayOffersTheEntry) {
  Session s(kWorked);
  s.g.NewGameFromMenu();
  Score = 450;
  s.g.Press(platform::VK_ESCAPE);
  EXPECT_EQ(s.script.showings, 0);  // the next frame's ball step ends the game
  s.script.Type("Esc").ClickOk();
  ASSERT_TRUE(s.g.Frame());
  EXPECT_EQ(s.script.showings, 1);
  EXPECT_EQ(Lives, 0);
  EXPECT_EQ(GameState, gsMenu);
  EXPECT_EQ(ReadBytes("rec.kbx"),
            FileOf({{"Anna", 900}, {"Boris", 700}, {"Clara", 700}, {"Esc", 450}, {"Dima", 300}}));
}

TEST(ScoreEntry, NameFieldKeepsTheLastNameForTheNextEntry) {
  Session s(kWorked);
  s.script.Type("Kim").ClickOk();
  s.GameOverWith(500);
  s.script
      .Then([] {
        EXPECT_EQ(Form2->Edit1->Text(), "Kim");
        EXPECT_EQ(Form2->Edit1->SelLength(), 3);
        EXPECT_EQ(Form2->Label2->Caption(), "600");
      })
      .ClickOk();
  s.GameOverWith(600);
  EXPECT_EQ(s.script.showings, 2);
  EXPECT_EQ(ReadBytes("rec.kbx"),
            FileOf({{"Anna", 900}, {"Boris", 700}, {"Clara", 700}, {"Kim", 600}, {"Kim", 500}}));
}

TEST(ScoreEntry, OtherKeysDoNotConfirm) {
  Session s(kWorked);
  s.script.Type("Key")
      .Key(platform::VK_SPACE, false, U' ')
      .Key(platform::VK_ESCAPE, false, 27)
      .Key(platform::VK_RETURN, /*alt=*/true, U'\r')
      .Then([] {
        EXPECT_TRUE(Form2->Modal());
        EXPECT_EQ(Form2->Edit1->Text(), "Key ");  // the space typed, nothing else
        EXPECT_EQ(Score, 300);
      })
      .ClickOk();
  s.GameOverWith(300);
  EXPECT_FALSE(s.script.closedByScriptEnd);
  EXPECT_EQ(RecordNames[4], "Key ");
  EXPECT_EQ(Score, -1000);
}

TEST(ScoreEntry, EnterConfirmsAsTheClickDoes) {
  Session s(kWorked);
  s.script.Type("Keys").Key(platform::VK_RETURN, false, U'\r');
  s.GameOverWith(300);
  EXPECT_FALSE(s.script.closedByScriptEnd);
  EXPECT_EQ(s.script.StagesLeft(), 0u);
  EXPECT_FALSE(Form2->Visible());
  EXPECT_EQ(RecordNames[4], "Keys");
  EXPECT_EQ(RecordScores[4], 300);
  EXPECT_EQ(Score, -1000);
  // Written to the file, as the click writes it.
  EXPECT_NE(ReadBytes("rec.kbx"), FileOf(kWorked));
  EXPECT_NE(ReadBytes("rec.kbx").find("Keys"), std::string::npos);
}

TEST(ScoreEntry, AGamepadsAConfirms) {
  Session s(kWorked);
  s.script.Type("Pad").Key(platform::VK_GAMEPAD_A);
  s.GameOverWith(300);
  EXPECT_EQ(s.script.StagesLeft(), 0u);
  EXPECT_FALSE(Form2->Visible());
  EXPECT_EQ(RecordNames[4], "Pad");
  EXPECT_NE(ReadBytes("rec.kbx").find("Pad"), std::string::npos);
}

TEST(ScoreEntry, CloseRequestSkipsTheEntry) {
  Session s(kWorked);
  s.script.Type("Nope").Key(platform::VK_F1 + 3, /*alt=*/true);
  s.g.hl.music->ClearLog();
  s.GameOverWith(700);
  // The score is still above the table, and the same tick's clearing pass lets the dead ball take
  // its lost-life step again: the entry the player closed is not offered a second time.
  EXPECT_EQ(s.script.showings, 1);
  EXPECT_EQ(s.script.StagesLeft(), 0u);
  EXPECT_FALSE(s.script.closedByScriptEnd);
  EXPECT_FALSE(Form2->Visible());
  EXPECT_EQ(ReadBytes("rec.kbx"), FileOf(kWorked));
  EXPECT_EQ(Score, 700);
  EXPECT_FALSE(MusicOn);
  EXPECT_EQ(s.g.hl.music->Log(), (std::vector<std::string>{"Close"}));
  // The main window's activation still restarts the frames and re-reads the table.
  EXPECT_TRUE(MainForm->DXTimer->Enabled());
  EXPECT_EQ(RecordNames[2], "Boris");
  const int before = s.g.frames;
  ASSERT_TRUE(s.g.Frame());
  EXPECT_EQ(s.g.frames, before + 1);
}

TEST(ScoreEntry, ScoreBelowEveryEntryReadAgainIsDropped) {
  Session s(kWorked);
  const Rows raised = {{"P", 9000}, {"Q", 8000}, {"R", 7000}, {"S", 6000}, {"T", 5000}};
  s.script.Then([&] { WriteBytes("rec.kbx", FileOf(raised)); }).ClickOk();
  s.GameOverWith(700);
  EXPECT_FALSE(Form2->Visible());
  EXPECT_EQ(ReadBytes("rec.kbx"), FileOf(raised));
  EXPECT_EQ(Score, -1000);
  EXPECT_EQ(RecordNames[1], "P");
}

TEST(ScoreEntry, WindowLooksAsDesignedOverTheFrozenFrame) {
  Session s(kWorked);
  s.g.NewGameFromMenu();
  s.g.Frames(3);
  const platform::headless::CapturedFrame frozen = s.g.hl.video->LastFrame();
  auto frozenRGB = [&](int x, int y) -> uint16_t {
    const uint8_t* row = frozen.pixels.data() + y * frozen.pitch;
    if (frozen.bitCount == 16) {
      uint16_t p;
      std::memcpy(&p, row + x * 2, 2);
      return p;
    }
    uint32_t p;
    std::memcpy(&p, row + x * 4, 4);
    return ColorTo565(RGB((p >> 16) & 255, (p >> 8) & 255, p & 255));
  };
  auto& v = *s.g.hl.video;
  s.script
      .MoveTo(6, 70)  // over the picture, away from the other controls
      .Then([&] {
        EXPECT_EQ(Form2->Left(), (800 - 232) / 2);
        EXPECT_EQ(Form2->Top(), (600 - 77) / 2);
        EXPECT_EQ(Form2->ClientWidth(), 232);
        EXPECT_EQ(Form2->ClientHeight(), 77);
        EXPECT_EQ(Form2->BorderWidth(), 0);
        EXPECT_EQ(Form2->StaticText1->Color(), kBlue);
        const TPoint ok = Form2->StaticText1->ScreenOrigin();
        EXPECT_EQ(v.PixelRGB(ok.X + 1, ok.Y + 1), 0x0000FFu);  // blue background
        EXPECT_EQ(v.PixelRGB(ok.X, ok.Y), 0u);                 // its single-line border
        // The picture where nothing covers it.
        const TPoint o = Form2->ScreenOrigin();
        const TPicture& pic = Form2->Image1->Picture;
        ASSERT_EQ(pic.Width(), 232);
        ASSERT_EQ(pic.Height(), 77);
        for (auto [x, y] : {std::pair{3, 3}, std::pair{200, 5}, std::pair{5, 72}})
          EXPECT_EQ(v.Pixel565(o.X + x, o.Y + y), ColorTo565(pic.Pixel(x, y) & 0xFFFFFF));
        // The frozen game frame all around it.
        for (auto [x, y] : {std::pair{o.X - 1, o.Y}, std::pair{o.X + 232, o.Y + 76},
                            std::pair{10, 10}, std::pair{799, 599}})
          EXPECT_EQ(v.Pixel565(x, y), frozenRGB(x, y)) << x << "," << y;
        // The name field: flat black frame, yellow inside.
        const TPoint e = Form2->Edit1->ScreenOrigin();
        EXPECT_EQ(v.PixelRGB(e.X, e.Y), 0u);
        EXPECT_EQ(v.PixelRGB(e.X + 158, e.Y + 9), 0xFFFF00u);
        // "Ваш результат:" in yellow over the picture.
        int yellow = 0;
        const TPoint l = Form2->Label1->ScreenOrigin();
        for (int y = 0; y < 23; ++y)
          for (int x = 0; x < 115; ++x)
            if (v.PixelRGB(l.X + x, l.Y + y) == 0xFFFF00u) ++yellow;
        EXPECT_GT(yellow, 60);
        EXPECT_EQ(Form2->Label1->Caption(), "Ваш результат:");
        EXPECT_EQ(Form2->Label1->Font.PixelHeight(), 16);
        EXPECT_TRUE(Form2->Label2->Transparent);
        EXPECT_EQ(Form2->StaticText1->Caption(), " OK ");
        EXPECT_EQ(Form2->StaticText1->Cursor(), crHandPoint);
      })
      .MoveTo(190, 55)  // over " OK "
      .Then([&] {
        EXPECT_EQ(Form2->StaticText1->Color(), kYellow);
        const TPoint ok = Form2->StaticText1->ScreenOrigin();
        EXPECT_EQ(v.PixelRGB(ok.X + 1, ok.Y + 1), 0xFFFF00u);
        // The score grew its label: it shows "1234" in yellow to the right of (80, 48).
        EXPECT_EQ(Form2->Label2->Caption(), "1234");
        EXPECT_GT(Form2->Label2->Width(), 10);
      })
      .ClickOk();
  Score = 1234;
  Lives = 1;
  LoseBall = true;
  ASSERT_TRUE(s.g.Frame());
  EXPECT_EQ(s.script.showings, 1);
  EXPECT_FALSE(s.script.closedByScriptEnd);
}

TEST(ScoreEntry, InstalledDataKeepsTheTableInThePlayersFolder) {
  std::string tmpl = (std::filesystem::temp_directory_path() / "kx_player_XXXXXX").string();
  ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
  const std::string player = tmpl + "/.local/share/kobaltix";
  struct Cleanup {
    std::string dir;
    ~Cleanup() {
      game::UseRecordsBesideData();
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    }
  } cleanup{tmpl};
  // The working directory is the data directory; its rec.kbx is the shipped table.
  game::UseRecordsInPlayerDir(player, "rec.kbx");
  Session s(kWorked);
  // The menu shows the shipped table, now copied into the player's folder.
  EXPECT_EQ(RecordNames[1], "Anna");
  EXPECT_EQ(ReadBytes(player + "/rec.kbx"), FileOf(kWorked));
  s.script.Type("Zoe").ClickOk();
  s.GameOverWith(700);

  EXPECT_EQ(s.script.showings, 1);
  EXPECT_EQ(ReadBytes(player + "/rec.kbx"),
            FileOf({{"Anna", 900}, {"Zoe", 700}, {"Boris", 700}, {"Clara", 700}, {"Dima", 300}}));
  EXPECT_EQ(ReadBytes("rec.kbx"), FileOf(kWorked));  // the shipped table is untouched
  EXPECT_EQ(RecordNames[2], "Zoe");
}
