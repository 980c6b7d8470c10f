// Replays: the tape's decorators give back every answer they recorded and notice where a game
// reads something else; the file keeps its header and input and refuses damage, other versions
// and changed data files; the folder keeps the newest games and those of the record table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "game/replay_file.h"
#include "game/replay_player.h"
#include "game/replay_recorder.h"
#include "game/replay_tape.h"
#include "platform/headless/headless.h"
#include "platform/keys.h"
#include "support/scratch_dir.h"

namespace {

using platform::Event;
using platform::EventKind;

// Joysticks whose gamepad answers a test sets (the headless twin has none).
class PadJoysticks : public platform::Joysticks {
 public:
  int Count() override { return count; }
  void AxisRange(int, int& lo, int& hi) override { lo = -range, hi = range; }
  int ButtonCount(int) override { return buttons; }
  bool Read(int, platform::JoystickState& out) override {
    out = stick;
    return count > 0;
  }
  bool SupportsPeriodic(int) override { return count > 0; }
  bool SupportsRumble(int) override { return false; }
  bool PlayPeriodic(int, const platform::PeriodicEffect&) override { return ++played, true; }
  bool PlayRumble(int, float, uint32_t) override { return false; }
  int GamepadCount() override { return pads; }
  bool ReadGamepad(int, platform::GamepadState& out) override {
    out = pad;
    return pads > 0;
  }
  bool RumbleGamepad(int, float, uint32_t) override { return pads > 0; }

  int count = 1, range = 32767, buttons = 4, pads = 1, played = 0;
  platform::JoystickState stick;
  platform::GamepadState pad;
};

// Everything a game reads in one frame, as a text to compare.
std::string ReadAll(platform::Platform& p) {
  std::string out;
  auto add = [&](auto v) { out += std::to_string(v) + " "; };
  add(p.clock->Milliseconds());
  Event e;
  while (p.events->Poll(e)) {
    add(static_cast<int>(e.kind)), add(e.vk), add(e.ch), add(e.dx), add(e.dy), add(e.shift);
  }
  add(-1);
  uint8_t keys[256];
  p.keyboard->VirtualKeyState(keys);
  for (int vk : {platform::VK_LEFT, platform::VK_RIGHT, platform::VK_SPACE}) add(keys[vk]);
  uint8_t codes[64];
  add(p.keyboard->ScancodeState(codes, 64));
  add(codes[44]);
  add(p.video->IsForeground());
  add(p.joysticks->Count());
  int lo = 0, hi = 0;
  p.joysticks->AxisRange(0, lo, hi);
  add(lo), add(hi), add(p.joysticks->ButtonCount(0));
  platform::JoystickState js;
  add(p.joysticks->Read(0, js)), add(js.axisX), add(js.axisY), add(js.buttons);
  add(p.joysticks->SupportsPeriodic(0)), add(p.joysticks->PlayPeriodic(0, {}));
  add(p.joysticks->GamepadCount());
  platform::GamepadState gp;
  add(p.joysticks->ReadGamepad(0, gp)), add(gp.leftX), add(gp.leftY), add(gp.buttons);
  add(p.joysticks->RumbleGamepad(0, 0.5f, 100));
  return out;
}

class ReplayTape : public ::testing::Test {
 protected:
  void SetUp() override {
    hl = platform::headless::Install();
    auto pads = std::make_unique<PadJoysticks>();
    pad = pads.get();
    platform::Get().joysticks = std::move(pads);
    replay::InstallTape(platform::Get(), tape, &watcher);
  }
  void TearDown() override { platform::Uninstall(); }

  struct Watcher : replay::TapeWatcher {
    std::vector<Event> seen;
    void WindowEvent(const Event& e) override { seen.push_back(e); }
    bool ShowFrame() override { return true; }
    void FrameShown(const std::function<void()>&) override {}
  } watcher;
  platform::headless::Handles hl;
  PadJoysticks* pad = nullptr;
  replay::Tape tape;
};

TEST_F(ReplayTape, PlaysBackEveryAnswerOfEveryKindItRecorded) {
  tape.StartRecording();
  std::vector<std::string> recorded;
  hl.clock->Set(4000000000u);  // the clock wraps during the game: steps still count right
  for (int frame = 0; frame < 90; ++frame) {
    hl.clock->Advance(frame % 2 ? 16 : 17);
    if (frame == 10) hl.events->PushKeyDown(platform::VK_RETURN, false, true);
    if (frame == 20) {
      Event m;
      m.kind = EventKind::MouseMove;
      m.dx = -7;
      m.dy = 3;
      hl.events->Push(m);
    }
    if (frame == 30) hl.keyboard->Press(platform::VK_LEFT);
    if (frame == 40) hl.keyboard->PressScancode(44);
    if (frame == 50) hl.video->SetForeground(false);
    if (frame == 60) pad->pad = {-32768, 1200, 1u << platform::kPadA};
    if (frame == 70) pad->stick = {-300, 12, 0, 5};
    if (frame == 80) pad->pads = 0;
    recorded.push_back(ReadAll(platform::Get()));
  }
  const std::string bytes = tape.StopRecording();

  // The live answers now differ in every respect; the tape's are the ones the game reads.
  hl.clock->Set(5);
  hl.keyboard->ReleaseAll();
  hl.keyboard->ReleaseScancode(44);
  hl.video->SetForeground(true);
  *pad = PadJoysticks{};
  pad->count = 0;
  hl.events->PushKeyDown(platform::VK_SPACE);  // the watcher's key, not the game's
  tape.StartPlaying(bytes);
  for (int frame = 0; frame < 90; ++frame) {
    ASSERT_EQ(ReadAll(platform::Get()), recorded[static_cast<size_t>(frame)]) << "frame " << frame;
  }
  EXPECT_FALSE(tape.Diverged()) << tape.DivergedWhy();
  EXPECT_TRUE(tape.AtEnd());
  ASSERT_EQ(watcher.seen.size(), 1u);
  EXPECT_EQ(watcher.seen[0].vk, platform::VK_SPACE);
  EXPECT_EQ(pad->played, 0);  // no effect is played on the live device while the tape plays
}

TEST_F(ReplayTape, NamesTheFrameWhereTheGameReadsSomethingElse) {
  tape.StartRecording();
  for (uint64_t f = 1; f <= 130; ++f) {
    platform::Get().clock->Milliseconds();
    tape.FrameDone(f);
  }
  const std::string bytes = tape.StopRecording();

  // The same reads with a state that differs from frame 100 on: the check at frame 120 sees it.
  tape.StartPlaying(bytes);
  for (uint64_t f = 1; f <= 130 && !tape.Diverged(); ++f) {
    platform::Get().clock->Milliseconds();
    tape.FrameDone(f < 100 ? f : f + 1);
  }
  EXPECT_TRUE(tape.Diverged());
  EXPECT_EQ(tape.DivergedFrame(), 120u);

  // A read of another kind is noticed at once, and live answers follow.
  tape.StartPlaying(bytes);
  platform::Get().clock->Milliseconds();
  tape.FrameDone(1);
  hl.keyboard->Press(platform::VK_RIGHT);
  uint8_t keys[256];
  platform::Get().keyboard->VirtualKeyState(keys);
  EXPECT_TRUE(tape.Diverged());
  EXPECT_EQ(tape.DivergedFrame(), 1u);
  EXPECT_NE(tape.DivergedWhy().find("keyboard"), std::string::npos) << tape.DivergedWhy();
  EXPECT_TRUE(keys[platform::VK_RIGHT] & 0x80);

  // A tape that ends before the game does.
  tape.StartPlaying(bytes.substr(0, 2));
  platform::Get().clock->Milliseconds();
  platform::Get().clock->Milliseconds();
  EXPECT_TRUE(tape.Diverged());
  EXPECT_NE(tape.DivergedWhy().find("ends"), std::string::npos);
}

replay::ReplayFile SampleFile() {
  replay::ReplayFile r;
  r.seed = 0xDEADBEEF;
  r.cheats = true;
  r.window = true;
  r.levelFolder = "/home/p/sets/my set";
  r.when = "2026-12-09 12:00:00";
  r.score = 1234;
  r.level = 3;
  r.frames = 5000;
  r.finalHash = 0x0123456789ABCDEFull;
  r.files = {{"levels\\lev1.lev", 0x1234, 77, false}, {"fon\\2.bmp", 0, 0, true}};
  for (int i = 0; i < 5000; ++i) r.tape += static_cast<char>(i % 7 == 0 ? 'c' : i % 256);
  return r;
}

TEST(ReplayFile, KeepsItsHeaderAndInputAndRefusesDamage) {
  const replay::ReplayFile r = SampleFile();
  const std::string bytes = replay::EncodeReplay(r);
  replay::ReplayFile back;
  ASSERT_EQ(replay::DecodeReplay(bytes, back), "");
  EXPECT_EQ(back.seed, r.seed);
  EXPECT_TRUE(back.cheats);
  EXPECT_TRUE(back.window);
  EXPECT_EQ(back.levelFolder, r.levelFolder);
  EXPECT_EQ(back.when, r.when);
  EXPECT_EQ(back.score, 1234);
  EXPECT_EQ(back.level, 3);
  EXPECT_EQ(back.frames, 5000u);
  EXPECT_EQ(back.finalHash, r.finalHash);
  ASSERT_EQ(back.files.size(), 2u);
  EXPECT_EQ(back.files[0].name, "levels\\lev1.lev");
  EXPECT_EQ(back.files[0].crc, 0x1234u);
  EXPECT_EQ(back.files[0].size, 77u);
  EXPECT_TRUE(back.files[1].missing);
  EXPECT_EQ(back.tape, r.tape);
  EXPECT_EQ(replay::CompareVersion(back), "");

  std::string damaged = bytes;
  damaged[damaged.size() - 10] ^= 0x40;
  EXPECT_NE(replay::DecodeReplay(damaged, back), "");
  EXPECT_NE(replay::DecodeReplay(bytes.substr(0, bytes.size() - 5), back), "");
  EXPECT_NE(replay::DecodeReplay("KobalTix replay\ngame 1.3\n", back), "");
  EXPECT_NE(replay::DecodeReplay("PNG", back), "");
}

TEST(ReplayFile, RefusesAnotherVersionAndChangedFilesByName) {
  replay::ReplayFile r = SampleFile();
  r.rules = replay::kRulesVersion + 1;
  EXPECT_NE(replay::CompareVersion(r).find("rules " + std::to_string(replay::kRulesVersion + 1)),
            std::string::npos);
  r.rules = replay::kRulesVersion;
  r.game = "1.2";
  EXPECT_NE(replay::CompareVersion(r), "");

  ScratchDir dir("kx_replay");
  const std::string a = dir / "lev1.lev", b = dir / "lev2.lev";
  std::ofstream(a) << "3\r\n1\r\n2\r\n1\r\n";
  std::ofstream(b) << "0\r\n";
  r.files = {replay::CheckFile(a), replay::CheckFile(b)};
  EXPECT_EQ(replay::CompareFiles(r), "");
  std::ofstream(b) << "1\r\n";  // the same length, other bytes
  EXPECT_NE(replay::CompareFiles(r).find("lev2.lev"), std::string::npos);
  std::filesystem::remove(b);
  EXPECT_NE(replay::CompareFiles(r).find("missing"), std::string::npos);
}

TEST(ReplayFolder, KeepsTheNewestGamesAndThoseOfTheRecordTable) {
  EXPECT_EQ(replay::ReplayName("2026-12-09 08:05:01", 4200), "2026-12-09_08-05-01_4200.kbr");
  ScratchDir dir("kx_replays");
  const std::string folder = dir.Path().string();
  for (int i = 0; i < 8; ++i)
    std::ofstream(dir / ("2026-01-0" + std::to_string(i + 1) + "_10-00-00_1.kbr")) << i;
  std::ofstream(dir / "notes.txt") << "mine";
  // Records: the second game entered first, then the fourth above it.
  replay::EnterRecord(folder, 1, "2026-01-02_10-00-00_1.kbr");
  replay::EnterRecord(folder, 1, "2026-01-04_10-00-00_1.kbr");
  std::vector<std::string> idx = replay::ReadRecordIndex(folder);
  ASSERT_EQ(idx.size(), 5u);
  EXPECT_EQ(idx[0], "2026-01-04_10-00-00_1.kbr");
  EXPECT_EQ(idx[1], "2026-01-02_10-00-00_1.kbr");
  EXPECT_EQ(idx[2], "");

  replay::PruneReplays(folder, 3);
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left,
            (std::vector<std::string>{"2026-01-02_10-00-00_1.kbr", "2026-01-04_10-00-00_1.kbr",
                                      "2026-01-06_10-00-00_1.kbr", "2026-01-07_10-00-00_1.kbr",
                                      "2026-01-08_10-00-00_1.kbr", "notes.txt", "records.idx"}));

  // An index line naming another folder's file is nobody's replay.
  std::ofstream(dir / "records.idx") << "../../etc/passwd\nx.kbr\n";
  idx = replay::ReadRecordIndex(folder);
  EXPECT_EQ(idx[0], "");
  EXPECT_EQ(idx[1], "x.kbr");
}

}  // namespace

namespace {

// The player's keys: the speeds skip or hold frames, pause only while a game plays back.
TEST(ReplayPlayerKeys, SpeedsAndPauseActOnTheFramesShown) {
  replay::Tape tape;
  replay::TReplayPlayer player(tape, replay::ReplayFile{}, false);
  auto shown = [&](int frames) {
    int n = 0;
    for (int i = 0; i < frames; ++i) n += player.ShowFrame();
    return n;
  };
  EXPECT_EQ(shown(8), 8);
  EXPECT_TRUE(player.Control(platform::VK_RIGHT));
  EXPECT_EQ(player.Speed(), 4);
  EXPECT_EQ(shown(8), 2);  // one frame in four reaches the screen
  player.Control(platform::VK_LEFT);
  EXPECT_EQ(player.Speed(), -4);
  EXPECT_EQ(shown(8), 8);  // each held longer instead
  player.Control(platform::VK_LEFT);
  EXPECT_EQ(player.Speed(), 1);

  EXPECT_TRUE(player.Control(platform::VK_SPACE));
  EXPECT_FALSE(player.Paused());  // nothing plays: nothing to pause
  tape.StartPlaying("c");
  player.Control(platform::VK_SPACE);
  EXPECT_TRUE(player.Paused());
  player.Control(platform::VK_SPACE);
  EXPECT_FALSE(player.Paused());
  EXPECT_FALSE(player.Control('Q'));  // not a player's key: the game may have it
  // While the tape plays the window's keys are the recorded game's, not the player's.
  EXPECT_FALSE(player.TakeKey(platform::VK_ESCAPE, TShiftState()));
  tape.Stop();
  EXPECT_TRUE(player.TakeChar(U'0'));  // no cheat key reaches a replay's game between plays
}

// Games that cannot be kept are played all the same; the menu says so until the next game.
TEST(ReplayRecorder, AFolderThatCannotBeMadeIsSaidOnceInTheMenu) {
  ScratchDir dir("kx_norec");
  std::ofstream(dir / "file") << "not a folder";
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_DATA_HOME", (dir / "file").c_str(), 1);
  replay::Tape tape;
  replay::TReplayRecorder recorder(tape, "");
  EXPECT_NE(recorder.MenuNotice(), "");
  recorder.GameStarting();
  EXPECT_EQ(recorder.MenuNotice(), "");
  EXPECT_EQ(tape.Mode(), replay::TapeMode::Recording);  // the game is followed all the same
  recorder.GameEnded();
  EXPECT_EQ(recorder.LastFile(), "");
  EXPECT_EQ(tape.Mode(), replay::TapeMode::Off);
  if (old)
    ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
