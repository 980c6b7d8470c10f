// The whole game on a damaged data directory. Each case takes a private copy of the generated
// data, damages one file (removes it, cuts it in half, fills it with random bytes or makes it
// huge) and plays on: loading, the menu, a new game, frames, back to the menu. The game either
// runs on as its data rules say (levels, records, music) or stops the loading with the reader's
// message through the default error report; it never crashes, never writes anything but
// rec.kbx, and keeps its memory in bounds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "game/globals.h"
#include "game/levels.h"
#include "game/loading_window.h"
#include "game/main_form.h"
#include "game/records.h"
#include "game/score_entry_window.h"
#include "game/textfile.h"
#include "platform/headless/headless.h"
#include "platform/keys.h"
#include "support/scratch_dir.h"
#include "toolkit/application.h"
#include "toolkit/random.h"

namespace fs = std::filesystem;
using platform::VK_ESCAPE;
using platform::VK_RETURN;
using platform::VK_SPACE;

namespace {

// A "huge" file: well past every size the game reads whole (16 MB for text files).
constexpr uintmax_t kHugeBytes = uintmax_t{40} << 20;

enum class Damage { Remove, Truncate, Random, Huge };

const char* DamageName(Damage d) {
  switch (d) {
    case Damage::Remove:
      return "Removed";
    case Damage::Truncate:
      return "Truncated";
    case Damage::Random:
      return "RandomBytes";
    case Damage::Huge:
      return "Huge";
  }
  return "";
}

std::string ReadBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Resident and peak memory of this process in kB (VmRSS, VmHWM).
long ProcStatusKb(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::string(key).size()));
  return -1;
}

// Every regular file below `dir` but rec.kbx, with its size and modification time.
std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> Tree(const fs::path& dir) {
  std::map<std::string, std::pair<uintmax_t, fs::file_time_type>> out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    std::string rel = fs::relative(e.path(), dir).string();
    if (rel == "rec.kbx") continue;
    out[rel] = {e.file_size(), e.last_write_time()};
  }
  return out;
}

// A private copy of the generated data directory (real files, since they get damaged), removed
// again at the end.
class DataCopy {
 public:
  DataCopy() {
    dir_ = fs::canonical(scratch_.Path()) / "data";
    fs::copy(KX_DATA_DIR, dir_, fs::copy_options::recursive);
  }
  const fs::path& Dir() const { return dir_; }

  // Damages `rel`; `seed` makes the random bytes repeatable.
  void Apply(const std::string& rel, Damage d, uint32_t seed) {
    const fs::path p = dir_ / rel;
    switch (d) {
      case Damage::Remove:
        fs::remove(p);
        break;
      case Damage::Truncate:
        fs::resize_file(p, fs::file_size(p) / 2);
        break;
      case Damage::Random: {
        std::mt19937 gen(seed);
        std::string bytes(fs::file_size(p), '\0');
        for (char& c : bytes) c = static_cast<char>(gen());
        std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
        break;
      }
      case Damage::Huge:
        // The file's own content, then zeros: sparse, so cheap to make, yet read in full.
        fs::resize_file(p, kHugeBytes);
        break;
    }
  }

 private:
  ScratchDir scratch_{"kx_hostile"};
  fs::path dir_;
};

// The game's three windows on the headless platform, working in `dir`. Like the program itself,
// an error that ends the first activation is shown by the default error report.
class HostileGame {
 public:
  explicit HostileGame(const fs::path& dir) {
    hl = platform::headless::Install();
    hl.clock->Set(100000);
    ResetGameGlobals();
    ClearScriptedRandom();
    oldCwd_ = fs::current_path();
    fs::current_path(dir);
  }
  ~HostileGame() {
    // The components outlive the main window's own destructor (its base frees them); their last
    // notices must not reach the half-destroyed window.
    if (MainForm != nullptr) {
      MainForm->DXDraw->OnInitialize = nullptr;
      MainForm->DXDraw->OnFinalize = nullptr;
      MainForm->DXTimer->OnActivate = nullptr;
      MainForm->DXTimer->OnDeactivate = nullptr;
      MainForm->DXTimer->OnTimer = nullptr;
    }
    DoneApplication();
    platform::Uninstall();
    ClearScriptedRandom();
    std::error_code ec;
    fs::current_path(oldCwd_, ec);
  }

  void Start() {
    InitApplication();
    platform::Get().video->OpenWindow("KobalTix v. 1.3", 800, 600);
    platform::Get().video->SetFullScreen(true);
    CreateGameWindows();
    auto inner = MainForm->DXTimer->OnTimer;
    MainForm->DXTimer->OnTimer = [this, inner](TObject* s, int lag) {
      ++frames;
      inner(s, lag);
    };
    Guarded([] { MainForm->Show(); });
    Pump();
  }

  // Runs `f` as the message loop runs a handler: an error is reported, not thrown.
  static void Guarded(const std::function<void()>& f) {
    try {
      f();
    } catch (const std::exception& e) {
      Application->HandleException(e);
    }
  }

  void Pump() {
    for (int i = 0; i < 10000 && hl.events->Pending() > 0; ++i) Application->Step();
  }
  // Advances the clock and steps the loop until a frame ran (bounded: a game that stands still
  // simply runs no frame).
  void Frames(int n) {
    for (int k = 0; k < n; ++k) {
      hl.clock->Advance(16);
      const int before = frames;
      for (int i = 0; i < 50 && frames == before; ++i) Application->Step();
    }
  }
  void Press(int vk) {
    hl.events->PushKeyDown(vk, false);
    Pump();
    hl.events->PushKeyUp(vk);
    Pump();
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& m : hl.dialogs->Messages()) out.push_back(m.text);
    return out;
  }
  // Sprites in the tree (the background and the paddle included).
  int FieldSprites() const { return MainForm->DXSpriteEngine->Engine()->SpriteCount(); }

  // Plays a little whatever state the loading left: menu frames, Enter, the ball launched, play,
  // Escape back to the menu, more frames.
  void PlayAround() {
    Frames(5);
    Press(VK_RETURN);
    Frames(5);
    hl.keyboard->Press(VK_SPACE);
    Frames(20);
    hl.keyboard->Release(VK_SPACE);
    Press(VK_ESCAPE);
    Frames(5);
  }

  platform::headless::Handles hl;
  int frames = 0;

 private:
  fs::path oldCwd_;
};

enum class Kind { Picture, Level, Records, Music };

struct Case {
  std::string file;  // relative to the data directory
  Kind kind;
  Damage damage;
};

std::string CaseName(const testing::TestParamInfo<Case>& info) {
  std::string name = info.param.file + "_" + DamageName(info.param.damage);
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

std::vector<Case> Cases() {
  std::vector<Case> out;
  const Damage all[] = {Damage::Remove, Damage::Truncate, Damage::Random, Damage::Huge};
  // Every kind of damage for a few files of each category: the first picture loaded, a brick
  // frame loaded twice (frames 2 and 4), the background loaded after the game entered its menu,
  // the gun barrel, the paddle, the first level, the record file and the music; the two plainest
  // kinds for the first and last file of more folders.
  for (const char* f : {"shar/1.bmp", "kirp/22.bmp", "fon/2.bmp", "bon/14.bmp", "pod/1.bmp"})
    for (Damage d : all) out.push_back({f, Kind::Picture, d});
  for (const char* f : {"shar/4.bmp", "bon/1.bmp", "fnt/0.bmp", "fnt/9.bmp", "pod/5.bmp",
                        "kirp/11.bmp", "kirp/51.bmp", "kirp/93.bmp"})
    for (Damage d : {Damage::Remove, Damage::Random}) out.push_back({f, Kind::Picture, d});
  for (Damage d : all) out.push_back({"levels/lev1.lev", Kind::Level, d});
  for (Damage d : all) out.push_back({"rec.kbx", Kind::Records, d});
  for (Damage d : all) out.push_back({"music/music.wav", Kind::Music, d});
  return out;
}

class HostileData : public testing::TestWithParam<Case> {};

TEST_P(HostileData, RunsOnOrStopsWithTheReadersMessage) {
  const Case& c = GetParam();
  DataCopy data;
  data.Apply(c.file, c.damage, static_cast<uint32_t>(std::hash<std::string>{}(CaseName({c, 0}))));
  const auto treeBefore = Tree(data.Dir());
  const std::string damaged = fs::exists(data.Dir() / c.file) && c.damage != Damage::Huge
                                  ? ReadBytes(data.Dir() / c.file)
                                  : std::string();
  const long rssBefore = ProcStatusKb("VmRSS:");
  const std::string full = (data.Dir() / c.file).string();
  {
    HostileGame g(data.Dir());
    g.Start();
    const std::vector<std::string> msgs = g.Messages();

    switch (c.kind) {
      case Kind::Picture:
        if (c.damage == Damage::Huge) {
          // Bytes past the picture's data are not its business: it loads as before.
          EXPECT_TRUE(msgs.empty()) << msgs.front();
          EXPECT_TRUE(Started);
        } else {
          ASSERT_EQ(msgs.size(), 1u);
          EXPECT_EQ(msgs[0], c.damage == Damage::Remove
                                 ? "Cannot open file \"" + full + "\". No such file or directory"
                                 : std::string("DIB is invalid"));
          EXPECT_FALSE(Started);
          EXPECT_TRUE(Form1->Visible());  // the loading window stays up
        }
        break;
      case Kind::Level: {
        ASSERT_TRUE(msgs.empty()) << msgs.front();
        ASSERT_TRUE(Started);
        const int before = g.FieldSprites();
        g.Press(VK_RETURN);
        ASSERT_EQ(GameState, gsServe);
        EXPECT_EQ(Level, 1);
        // The level read from whatever is left: a missing file is an empty level, numbers that
        // are missing read 0, and the bytes past 16 MB of a huge file are never read.
        const size_t expected =
            c.damage == Damage::Huge
                ? game::ParseLevel(ReadBytes(fs::path(KX_DATA_DIR) / c.file)).size()
                : game::ParseLevel(damaged).size();
        EXPECT_EQ(BrickCount, static_cast<int32_t>(expected));
        EXPECT_EQ(g.FieldSprites() - before - 1, static_cast<int>(expected));  // + the ball
        if (expected == 0) {
          // An empty level counts as cleared at the ball's next move.
          g.hl.keyboard->Press(VK_SPACE);
          g.Frames(3);
          g.hl.keyboard->Release(VK_SPACE);
          EXPECT_GE(Level, 2);
        }
        break;
      }
      case Kind::Records: {
        ASSERT_TRUE(msgs.empty()) << msgs.front();
        ASSERT_TRUE(Started);
        const std::string bytes =
            c.damage == Damage::Huge ? ReadBytes(fs::path(KX_DATA_DIR) / c.file) : damaged;
        game::TextFileReader in(bytes);
        for (int r = 1; r <= 5; ++r) {
          EXPECT_EQ(RecordNames[r], in.ReadLine()) << "rank " << r;
          EXPECT_EQ(RecordScores[r], in.ReadNumber()) << "rank " << r;
        }
        if (c.damage == Damage::Remove) {
          for (int r = 1; r <= 5; ++r) EXPECT_EQ(RecordScores[r], 0);
        }
        break;
      }
      case Kind::Music:
        ASSERT_TRUE(msgs.empty()) << msgs.front();
        ASSERT_TRUE(Started);
        if (c.damage == Damage::Remove) {
          EXPECT_FALSE(MusicOn);
          EXPECT_TRUE(g.hl.music->Log().empty());
        } else {
          // The headless player does not decode: whatever exists opens and plays.
          EXPECT_TRUE(MusicOn);
          ASSERT_FALSE(g.hl.music->Log().empty());
          EXPECT_EQ(g.hl.music->Log().front().rfind("Open ", 0), 0u) << g.hl.music->Log().front();
        }
        break;
    }

    g.PlayAround();
    // Nothing more went wrong while playing on.
    EXPECT_EQ(g.Messages().size(), msgs.size()) << g.Messages().back();
    if (Started) {
      EXPECT_EQ(GameState, gsMenu);
      EXPECT_GT(g.frames, 20);
    }

    if (c.kind == Kind::Records && Started) {
      // A score entry rewrites the damaged file as a sound table with the new score in place.
      const game::RecordTable before = game::ReadRecordFile("rec.kbx");
      Form2->Label2->SetCaption("77");
      HostileGame::Guarded([] { Form2->SaveRecord(); });
      EXPECT_EQ(g.Messages().size(), msgs.size());
      game::RecordTable want = before;
      const int p = game::InsertPosition(want, 77);
      if (p >= 1) game::InsertRecord(want, p, game::Utf8ToCp1251(Form2->Edit1->Text()), 77);
      EXPECT_EQ(ReadBytes(data.Dir() / "rec.kbx"), game::FormatRecordFile(want));
    }
  }
  // Nothing but rec.kbx was written, created or removed.
  EXPECT_EQ(Tree(data.Dir()), treeBefore);
  // Nothing the size of a huge file stays behind in memory (the sanitizer's quarantine may keep
  // freed blocks for a while, hence the margin).
  const long rssAfter = ProcStatusKb("VmRSS:");
  EXPECT_LT(rssAfter - rssBefore, 320 * 1024) << "kB resident after the run";
}

INSTANTIATE_TEST_SUITE_P(OneFileDamaged, HostileData, testing::ValuesIn(Cases()), CaseName);

// A missing digit picture ends the loading with a message naming the file in full; the game is
// not started, and the next activation of the main window, with the file back, loads everything.
TEST(HostileDataActivation, MissingFontPictureThenRestoredLoadsOnTheNextActivation) {
  DataCopy data;
  const fs::path font = data.Dir() / "fnt" / "7.bmp";
  const fs::path kept = data.Dir() / "kept.bmp";
  fs::rename(font, kept);
  HostileGame g(data.Dir());
  g.Start();
  ASSERT_EQ(g.Messages().size(), 1u);
  EXPECT_EQ(g.Messages()[0],
            "Cannot open file \"" + font.string() + "\". No such file or directory");
  EXPECT_FALSE(Started);
  EXPECT_TRUE(Form1->Visible());
  // The digits before the missing one were loaded, the ones after it were not.
  EXPECT_EQ(MainForm->FontList1->FindImage("i6")->Width(), 20);
  EXPECT_FALSE(MainForm->FontList1->FindImage("i8")->Picture.HasGraphic());
  g.Frames(3);

  fs::rename(kept, font);
  // The player brings the main window to the front again: it is activated once more.
  HostileGame::Guarded([] { MainForm->Show(); });
  EXPECT_EQ(g.Messages().size(), 1u) << g.Messages().back();
  EXPECT_TRUE(Started);
  EXPECT_FALSE(Form1->Visible());
  EXPECT_EQ(GameState, gsMenu);
  EXPECT_EQ(MainForm->FontList1->FindImage("i8")->Width(), 20);
  EXPECT_EQ(MainForm->ImageList->FindImage("background")->Width(),
            MainForm->ImageList->FindImage("background")->Picture.Graphic()->Width());
  // Exactly one background and one paddle: the failed run made none.
  EXPECT_EQ(g.FieldSprites(), 2);
  g.Press(VK_RETURN);
  EXPECT_EQ(GameState, gsServe);
  EXPECT_GT(BrickCount, 0);
  g.Frames(10);
  EXPECT_EQ(g.Messages().size(), 1u);
  // A third activation changes nothing: the loading runs once.
  const int sprites = g.FieldSprites();
  HostileGame::Guarded([] { MainForm->FormActivate(MainForm); });
  EXPECT_EQ(g.FieldSprites(), sprites);
  EXPECT_EQ(g.Messages().size(), 1u);
}

}  // namespace
