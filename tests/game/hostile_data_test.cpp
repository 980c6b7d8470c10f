// The whole game on a damaged data directory. Each case takes a private copy of the generated
// data, damages one file (removes it, cuts it in half, fills it with random bytes or makes it
// huge) and plays on: loading, the menu, a new game, frames, back to the menu. The game either
// runs on as its data rules say (levels, records, music) or stops the loading with the reader's
// message through the default error report; it never crashes, never writes anything but
// rec.kbx, and keeps its memory in bounds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "game/globals.h"
#include "game/level_editor.h"
#include "game/levels.h"
#include "game/loading_window.h"
#include "game/main_form.h"
#include "game/records.h"
#include "game/score_entry_window.h"
#include "game/textfile.h"
#include "platform/headless/headless.h"
#include "platform/keys.h"
#include "support/scratch_dir.h"
#include "support/temp_files.h"
#include "toolkit/application.h"
#include "toolkit/random.h"

namespace fs = std::filesystem;
using platform::VK_ESCAPE;
using platform::VK_F1;
using platform::VK_NEXT;
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

// A private copy of the generated data directory (real files, since they get damaged) in a
// folder of its own, removed again at the end.
class DataCopy {
 public:
  DataCopy() {
    root_ = fs::canonical(scratch_.Path());
    dir_ = root_ / "data";
    fs::copy(KX_DATA_DIR, dir_, fs::copy_options::recursive);
  }
  const fs::path& Dir() const { return dir_; }
  // The private folder around the data directory (free for files that must stay outside it).
  const fs::path& Root() const { return root_; }

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
        // The file's own content, then zeros: sparse, so cheap to make, yet long to read.
        fs::resize_file(p, kHugeBytes);
        break;
    }
  }

 private:
  ScratchDir scratch_{"kx_hostile"};
  fs::path root_;
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
  auto treeBefore = Tree(data.Dir());
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
    if (c.kind == Kind::Level && Started) {
      // The level editor opens the same file: what the game made of it, with a warning; a test
      // play, a save and a level switch all go on without harm.
      MainForm->OpenEditor("levels");
      TLevelEditor* ed = MainForm->Editor;
      EXPECT_EQ(ed->Model.Bricks(), game::ReadLevelFile(c.file));
      EXPECT_NE(ed->Status().find("Внимание"), std::string::npos) << ed->Status();
      g.Frames(2);
      g.Press(VK_F1 + 4);
      g.Frames(3);
      g.Press(VK_ESCAPE);
      g.Frames(3);
      EXPECT_TRUE(ed->Editing());
      const auto bricks = ed->Model.Bricks();
      g.hl.events->PushKeyDown('S', false, false, true);
      g.Pump();
      g.Frames(2);
      // Saved when the game could complete the level, else refused: the file reads the same.
      EXPECT_EQ(game::ReadLevelFile(c.file), bricks);
      EXPECT_EQ(fs::exists(data.Dir() / c.file), c.damage != Damage::Remove);
      g.Press(VK_NEXT);
      g.Frames(2);
      EXPECT_EQ(ed->Model.Level(), 2);
      EXPECT_EQ(g.Messages().size(), msgs.size());
    }
  }
  // Nothing but rec.kbx (and its lock file, made by the first save) was written, created or
  // removed (and the level the editor saved).
  auto treeAfter = Tree(data.Dir());
  treeAfter.erase("rec.kbx.lock");
  if (c.kind == Kind::Level) {
    treeAfter.erase(c.file);
    treeBefore.erase(c.file);
  }
  EXPECT_EQ(treeAfter, treeBefore);
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

// ---------------------------------------------------------------------------------------------
// A named pipe, a link to /dev/zero or a folder in place of a data file: none may block the game
// or make it read without end.

enum class Hostile { Pipe, DevZero, Folder };
const char* const kHostileNames[] = {"NamedPipe", "LinkToDevZero", "Folder"};
void PrintTo(Hostile h, std::ostream* os) { *os << kHostileNames[static_cast<int>(h)]; }

void MakeHostile(const fs::path& p, Hostile h) {
  if (h == Hostile::Pipe && ::mkfifo(p.c_str(), 0644) != 0) throw std::runtime_error("mkfifo");
  if (h == Hostile::DevZero) fs::create_symlink("/dev/zero", p);
  if (h == Hostile::Folder) fs::create_directory(p);
}

// The reason the readers give for each: a folder is a folder, the rest are no regular files.
std::string HostileReason(Hostile h) {
  return h == Hostile::Folder ? "Is a directory" : "Not a regular file";
}

// Guards against a hang on `pipe`: once `bound` has passed, the pipe is opened and closed over and
// over, so a reader blocked on it sees its end and the test fails on `fired` instead of hanging.
struct Watchdog {
  Watchdog(fs::path pipe, std::chrono::seconds bound)
      : thread([this, pipe, bound] {
          const auto until = std::chrono::steady_clock::now() + bound;
          while (!done && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          for (; !done; std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
            fired = true;
            if (int fd = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK); fd >= 0) ::close(fd);
          }
        }) {}
  ~Watchdog() {
    done = true;
    thread.join();
  }
  std::atomic<bool> done{false}, fired{false};
  std::thread thread;
};

// Every file of the generated data directory, relative to it.
std::vector<std::string> DataFiles() {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(KX_DATA_DIR)) {
    const std::string rel = fs::relative(e.path(), KX_DATA_DIR).string();
    if (e.is_regular_file() && rel[0] != '.') out.push_back(rel);
  }
  std::sort(out.begin(), out.end());
  return out;
}

Kind KindOf(const std::string& rel) {
  if (rel == "rec.kbx") return Kind::Records;
  if (rel.rfind("levels/", 0) == 0) return Kind::Level;
  if (rel.rfind("music/", 0) == 0) return Kind::Music;
  return Kind::Picture;
}

class HostileFile : public testing::TestWithParam<std::string> {};

TEST_P(HostileFile, PipeDevZeroAndFolderEndWithTheReadersMessageOrPlayOn) {
  const std::string rel = GetParam();
  const Kind kind = KindOf(rel);
  DataCopy data;
  const fs::path p = data.Dir() / rel;
  const fs::path kept = data.Root() / "kept";
  fs::rename(p, kept);
  for (Hostile h : {Hostile::Pipe, Hostile::DevZero, Hostile::Folder}) {
    SCOPED_TRACE(kHostileNames[static_cast<int>(h)]);
    MakeHostile(p, h);
    const auto treeBefore = Tree(data.Dir());
    {
      Watchdog dog(p, std::chrono::seconds(10));
      HostileGame g(data.Dir());
      const uint32_t startedAt = g.hl.clock->Milliseconds();
      g.Start();
      // The message or the menu came within 2 s of game time (the loading waits on nothing).
      EXPECT_LE(g.hl.clock->Milliseconds() - startedAt, 2000u);
      const std::vector<std::string> msgs = g.Messages();
      if (kind == Kind::Picture) {
        ASSERT_EQ(msgs.size(), 1u);
        EXPECT_EQ(msgs[0], "Cannot open file \"" + p.string() + "\". " + HostileReason(h));
        EXPECT_FALSE(Started);
      } else {
        ASSERT_TRUE(msgs.empty()) << msgs.front();
        ASSERT_TRUE(Started);
      }
      if (kind == Kind::Music) {
        EXPECT_FALSE(MusicOn);  // no music file: the game plays on without music
        EXPECT_TRUE(g.hl.music->Log().empty());
      }
      if (kind == Kind::Records) {
        for (int r = 1; r <= 5; ++r) EXPECT_EQ(RecordScores[r], 0) << r;  // read as empty
      }
      if (kind == Kind::Level) {
        // The level reads as empty; level 1 through a new game, the others through its reader.
        const int n = std::stoi(rel.substr(std::string("levels/lev").size()));
        if (n == 1) {
          g.Press(VK_RETURN);
          EXPECT_EQ(GameState, gsServe);
          EXPECT_EQ(BrickCount, 0);
        } else {
          EXPECT_TRUE(game::ReadLevelFile(game::LevelFileName(n)).empty());
        }
      }
      g.PlayAround();
      EXPECT_EQ(g.Messages().size(), msgs.size()) << g.Messages().back();
      if (kind == Kind::Records) {
        // The table is not written over something that is not a record file.
        Form2->Label2->SetCaption("77");
        HostileGame::Guarded([] { Form2->SaveRecord(); });
        ASSERT_EQ(g.Messages().size(), 1u);
        EXPECT_EQ(g.Messages()[0],
                  "Cannot create file \"" + p.string() + "\". " + HostileReason(h));
      }
      EXPECT_FALSE(dog.fired) << "the game blocked on the named pipe";
    }
    EXPECT_EQ(Tree(data.Dir()), treeBefore);
    const fs::file_status st = fs::symlink_status(p);
    EXPECT_EQ(st.type(), h == Hostile::Pipe      ? fs::file_type::fifo
                         : h == Hostile::DevZero ? fs::file_type::symlink
                                                 : fs::file_type::directory);
    EXPECT_TRUE(fs::is_character_file("/dev/zero"));
    fs::remove(p);
  }
  fs::rename(kept, p);
}

std::string FileCaseName(const testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryDataFile, HostileFile, testing::ValuesIn(DataFiles()), FileCaseName);

// A record file that is a symbolic link (here a relative link to a relative link) is rewritten
// where the links end: both links survive and point where they did.
TEST(HostileDataRecords, ASymlinkedRecordFileKeepsItsLinksWhenARecordIsSaved) {
  DataCopy data;
  fs::create_directory(data.Root() / "scores");
  fs::rename(data.Dir() / "rec.kbx", data.Root() / "scores" / "table.kbx");
  fs::create_symlink("table.kbx", data.Root() / "scores" / "link.kbx");
  fs::create_symlink("../scores/link.kbx", data.Dir() / "rec.kbx");
  HostileGame g(data.Dir());
  g.Start();
  ASSERT_TRUE(Started);
  const game::RecordTable before = game::ReadRecordFile("rec.kbx");
  EXPECT_GT(before.scores[0], 0);  // the table was read through the links
  Form2->Label2->SetCaption("999999");
  HostileGame::Guarded([] { Form2->SaveRecord(); });
  EXPECT_TRUE(g.Messages().empty()) << g.Messages().front();
  EXPECT_EQ(fs::read_symlink(data.Dir() / "rec.kbx"), "../scores/link.kbx");
  EXPECT_EQ(fs::read_symlink(data.Root() / "scores" / "link.kbx"), "table.kbx");
  game::RecordTable want = before;
  game::InsertRecord(want, 1, game::Utf8ToCp1251(Form2->Edit1->Text()), 999999);
  EXPECT_EQ(ReadBytes(data.Root() / "scores" / "table.kbx"), game::FormatRecordFile(want));
  // No temporary file is left; the lock is taken beside the file the links lead to.
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(data.Root() / "scores"))
    names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"table.kbx", "link.kbx", "table.kbx.lock"}));
}

// ---------------------------------------------------------------------------------------------
// The real program on a hostile data directory: SIGTERM (and SIGINT) end it at once, whatever it
// is doing, and rec.kbx is left as it was.

// The program started in `dir` under SDL's dummy drivers, its standard error collected in `err`;
// one still running when the test ends is killed.
struct Program {
  explicit Program(const fs::path& dir) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    const std::string path = std::string(KX_BINARY_DIR) + "/kobaltix";
    if ((pid = ::fork()) == 0) {
      ::dup2(fds[1], 2);
      char* const argv[] = {const_cast<char*>("kobaltix"), nullptr};
      char* const envp[] = {const_cast<char*>("SDL_VIDEODRIVER=dummy"),
                            const_cast<char*>("SDL_AUDIODRIVER=dummy"), nullptr};
      if (::chdir(dir.c_str()) == 0) ::execve(path.c_str(), argv, envp);
      ::_exit(127);
    }
    ::close(fds[1]);
    errFd = fds[0];
  }
  ~Program() {
    if (pid > 0 && !ended) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    if (errFd >= 0) ::close(errFd);
  }
  bool Ended() {
    ended = ended || ::waitpid(pid, &status, WNOHANG) == pid;
    return ended;
  }
  // Waits at most `bound` for `ready` (a watchdog: the bound only ends a hang), reading `err`.
  bool WaitFor(const std::function<bool()>& ready, std::chrono::seconds bound) {
    for (auto until = std::chrono::steady_clock::now() + bound; !ready();) {
      if (std::chrono::steady_clock::now() > until) return false;
      pollfd pfd{errFd, POLLIN, 0};
      char buf[512];
      if (::poll(&pfd, 1, 20) > 0) err.append(buf, std::max<ssize_t>(::read(errFd, buf, 512), 0));
    }
    return true;
  }
  pid_t pid = -1;
  int errFd = -1, status = 0;
  bool ended = false;
  std::string err;
};

class StopSignal : public testing::TestWithParam<std::tuple<std::string, Hostile>> {};

TEST_P(StopSignal, EndsTheProgramAtOnceAndLeavesTheRecordFile) {
  const auto& [rel, h] = GetParam();
  DataCopy data;
  const fs::path p = data.Dir() / rel, rec = data.Dir() / "rec.kbx";
  fs::remove(p);
  MakeHostile(p, h);
  const std::string records = fs::is_regular_file(rec) ? ReadBytes(rec) : "";
  Program g(data.Dir());
  ASSERT_GT(g.pid, 0);
  // Ready: a picture's message is out, or else the program runs its sound device (a thread of
  // its own), so the platform is up.
  const fs::path tasks = "/proc/" + std::to_string(g.pid) + "/task";
  auto ready = [&] {
    std::error_code ec;
    return g.Ended() || (KindOf(rel) == Kind::Picture
                             ? g.err.find("Cannot open file \"" + p.string()) != std::string::npos
                             : std::distance(fs::directory_iterator(tasks, ec), {}) >= 2);
  };
  ASSERT_TRUE(g.WaitFor(ready, std::chrono::seconds(20))) << g.err;
  ASSERT_FALSE(g.ended) << "the program ended by itself: " << g.err;
  const int sig = h == Hostile::Folder ? SIGINT : SIGTERM;
  ::kill(g.pid, sig);
  ASSERT_TRUE(g.WaitFor([&] { return g.Ended(); }, std::chrono::seconds(10)))
      << "the program went on after the signal";
  EXPECT_TRUE(WIFSIGNALED(g.status) && WTERMSIG(g.status) == sig) << g.status << " " << g.err;
  EXPECT_EQ(fs::is_regular_file(rec) ? ReadBytes(rec) : "", records);
  EXPECT_FALSE(TempFileBeside(data.Dir() / "rec.kbx"));
}

std::string SignalCaseName(const testing::TestParamInfo<StopSignal::ParamType>& info) {
  return FileCaseName({std::get<0>(info.param), info.index}) + "_" +
         kHostileNames[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(
    HostileData, StopSignal,
    testing::Combine(testing::Values("shar/1.bmp", "fon/2.bmp", "levels/lev1.lev", "rec.kbx",
                                     "music/music.wav"),
                     testing::Values(Hostile::Pipe, Hostile::DevZero, Hostile::Folder)),
    SignalCaseName);

}  // namespace

// The editor's saves against a read-only set: a read-only level file, then a read-only folder.
// Each save is refused with the system's reason on the status line; the file, the folder and the
// edit in memory are all kept, and a later save (once writable again) writes the edit.
TEST(HostileDataEditor, ReadOnlyLevelFileAndFolderRefuseTheSaveAndLoseNothing) {
  DataCopy data;
  const fs::path levels = data.Dir() / "levels";
  const fs::path level = levels / "lev1.lev";
  const std::string before = ReadBytes(level);
  HostileGame g(data.Dir());
  g.Start();
  ASSERT_TRUE(Started);
  MainForm->OpenEditor("levels");
  TLevelEditor* ed = MainForm->Editor;
  ed->Model.Place(0, 20, 7);
  auto save = [&] {
    g.hl.events->PushKeyDown('S', false, false, true);
    g.Pump();
    g.Frames(1);
  };
  for (const fs::path& p : {level, levels}) {
    fs::permissions(p, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    save();
    EXPECT_EQ(ed->Status(),
              "Не сохранено: Cannot create file \"" + level.string() + "\". Permission denied");
    EXPECT_EQ(ReadBytes(level), before);
    EXPECT_EQ(ed->Model.TypeAt(0, 20), 7);
    EXPECT_TRUE(ed->Model.Modified(1));
    fs::permissions(p, fs::perms::owner_write, fs::perm_options::add);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(levels), fs::directory_iterator()), 20);
  EXPECT_TRUE(g.Messages().empty());
  save();
  EXPECT_FALSE(ed->Model.Modified(1));
  EXPECT_EQ(game::ReadLevelFile(level.string()), ed->Model.Bricks());
}
