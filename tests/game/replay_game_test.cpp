// A whole game recorded on the headless twin as the game records it, then checked as
// `--verify-replay` checks it: it plays to its recorded end; the same file with one answer of its
// input changed is caught at the frame that reads it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "game/replay_file.h"
#include "game/replay_player.h"
#include "game/replay_recorder.h"
#include "game/replay_tape.h"
#include "support/game_harness.h"
#include "toolkit/random.h"

namespace fs = std::filesystem;

namespace {

// Plays a short game with the keys a player would press and returns its replay's bytes.
std::string RecordAGame(const std::string& home) {
  ::setenv("XDG_DATA_HOME", home.c_str(), 1);
  GameHarness g(true);
  replay::Tape tape;
  replay::InstallTape(platform::Get(), tape);
  replay::TReplayRecorder recorder(tape, "");
  g.Start();
  MainForm->Follower = &recorder;
  g.Press(platform::VK_RETURN);
  for (int f = 0; f < 400; ++f) {
    if (f == 10) g.Hold(platform::VK_SPACE);
    if (f == 12) g.Release(platform::VK_SPACE);
    if (f % 90 == 0) g.Hold(platform::VK_LEFT);
    if (f % 90 == 45) g.Release(platform::VK_LEFT), g.Hold(platform::VK_RIGHT);
    if (f % 90 == 89) g.Release(platform::VK_RIGHT);
    g.Frame(16 + f % 2);
  }
  g.Press(platform::VK_ESCAPE);
  g.Frames(3, 16);
  MainForm->Follower = nullptr;
  EXPECT_EQ(recorder.LastFile().rfind(".kbr"), recorder.LastFile().size() - 4);
  std::ifstream in(replay::ReplayFolder("") + "/" + recorder.LastFile(), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// `--verify-replay` on `bytes`: its status and what it printed.
int Verify(const std::string& file, const std::string& bytes, std::string& said) {
  std::ofstream(file, std::ios::binary) << bytes;
  const fs::path old = fs::current_path();
  fs::current_path(KX_DATA_DIR);
  ResetGameGlobals();
  testing::internal::CaptureStdout();
  const int status = replay::RunReplay(file, true);
  said = testing::internal::GetCapturedStdout();
  fs::current_path(old);
  return status;
}

TEST(ReplayGame, ARecordedGamePlaysToItsEndAndAChangedInputIsCaughtAtItsFrame) {
  ScratchDir dir("kx_replay_game");
  const char* oldHome = std::getenv("XDG_DATA_HOME");
  const std::string saved = oldHome ? oldHome : "";
  const std::string bytes = RecordAGame(dir / "xdg");
  if (oldHome)
    ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
  replay::ReplayFile file;
  ASSERT_EQ(replay::DecodeReplay(bytes, file), "");
  EXPECT_GE(file.frames, 400u);
  // The game read the pictures of the loading and its one level file.
  ASSERT_FALSE(file.files.empty());
  EXPECT_NE(file.files.back().name.find("lev1.lev"), std::string::npos);

  std::string said;
  EXPECT_EQ(Verify(dir / "game.kbr", bytes, said), 0) << said;
  EXPECT_EQ(said, "score " + std::to_string(file.score) + ", level 1, frames " +
                      std::to_string(file.frames) + ", ok\n");

  // One byte of the input at about the middle of the game (after a tag, mostly a clock step) made
  // one larger.
  replay::ReplayFile changed = file;
  size_t at = changed.tape.size() / 2;
  while (at < changed.tape.size() && changed.tape[at] != 'c') ++at;
  ASSERT_LT(at + 1, changed.tape.size());
  ++changed.tape[at + 1];
  EXPECT_EQ(Verify(dir / "changed.kbr", replay::EncodeReplay(changed), said), 1);
  EXPECT_EQ(said.rfind("differs at frame ", 0), 0u) << said;
}

}  // namespace
