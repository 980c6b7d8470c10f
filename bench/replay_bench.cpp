// What recording costs: the level-20 play tick of game_bench (three balls, six bonuses, the gun
// firing) on its own and with the tape recording every answer the tick reads (the recorder's
// frame step with its state hash every 60th frame included), in the same run; and the state hash
// on its own. The recorder's cost per frame is the difference, its share of the tick the ratio.
//
// With `--hour-replay FILE MINUTES` the program instead plays a scripted game of MINUTES minutes
// on the headless platform (the paddle follows the lowest ball, the fire key serves), records it
// as the game does and writes its replay to FILE: the input of `kobaltix --verify-replay` timings.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "game/replay_recorder.h"
#include "game/replay_tape.h"
#include "game_bench_support.h"
#include "platform/keys.h"

namespace {

using bench::BuildDenseField;
using bench::PlayScene;

void TimeTicks(benchmark::State& state, bool recording) {
  PlayScene s;
  BuildDenseField(s);
  replay::Tape tape;
  if (recording) {
    replay::InstallTape(platform::Get(), tape);
    tape.StartRecording();
  }
  const int32_t sprites = s.Root().SpriteCount();
  for (auto _ : state) {
    s.Tick();
    if (recording) tape.FrameDone(tape.HashDue() ? replay::GameStateHash() : 0);
    state.PauseTiming();
    s.Rearm();
    state.ResumeTiming();
  }
  if (s.Root().SpriteCount() != sprites) state.SkipWithError("the play scene did not stay steady");
  if (recording)
    state.counters["tape_bytes_per_tick"] =
        static_cast<double>(tape.StopRecording().size()) / static_cast<double>(state.iterations());
}

void BM_PlayTickLevel20(benchmark::State& state) { TimeTicks(state, false); }
BENCHMARK(BM_PlayTickLevel20)->Unit(benchmark::kMicrosecond);

void BM_PlayTickLevel20Recording(benchmark::State& state) { TimeTicks(state, true); }
BENCHMARK(BM_PlayTickLevel20Recording)->Unit(benchmark::kMicrosecond);

void BM_GameStateHashLevel20(benchmark::State& state) {
  PlayScene s;
  BuildDenseField(s);
  for (auto _ : state) benchmark::DoNotOptimize(replay::GameStateHash());
}
BENCHMARK(BM_GameStateHashLevel20)->Unit(benchmark::kMicrosecond);

// The window shows nothing while the scripted game plays (drawing is the bulk of a frame and
// plays no part in the rules); the flip still runs, as it does in a checked replay.
struct FlipOnly : TWindowMode {
  bool Paint(TDirectDrawSurface*) override {
    MainForm->DXDraw->Flip();
    return true;
  }
  bool TakeKey(int, TShiftState) override { return false; }
  bool TakeChar(char32_t) override { return false; }
};

// A scripted game of `minutes` minutes, recorded; returns the replay's path ("" on failure).
std::string PlayHourGame(int minutes) {
  const std::string home =
      (std::filesystem::temp_directory_path() / ("kx_hour_" + std::to_string(::getpid()))).string();
  std::filesystem::create_directories(home);
  ::setenv("XDG_DATA_HOME", home.c_str(), 1);
  GameHarness g(true);
  // A table no game beats: the score entry would wait for a name no script types.
  std::ofstream("rec.kbx", std::ios::binary)
      << "a\r\n999999999\r\nb\r\n999999999\r\nc\r\n999999999\r\nd\r\n999999999\r\ne\r\n"
         "999999999\r\n";
  replay::Tape tape;
  replay::InstallTape(platform::Get(), tape);
  replay::TReplayRecorder recorder(tape, "");
  g.Start();
  MainForm->Follower = &recorder;
  FlipOnly flipOnly;
  MainForm->Mode = &flipOnly;
  g.Press(platform::VK_RETURN);
  // A hundred lives from the console, typed as a player types them.
  g.Type("`");
  for (platform::EventKind k : {platform::EventKind::MouseDown, platform::EventKind::MouseUp}) {
    platform::Event click;  // into the console's code field
    click.kind = k;
    click.x = 60;
    click.y = 24;
    click.button = 1;
    g.hl.events->Push(click);
    g.Pump();
  }
  g.Type("bluewhalesix");
  g.Press(platform::VK_ESCAPE);
  const int frames = minutes * 3600;
  int held = 0;
  for (int f = 0; f < frames && GameState != gsMenu; ++f) {
    // The paddle's centre follows the lowest ball.
    double target = -1, lowest = -1;
    TSpriteEngine& root = *MainForm->DXSpriteEngine->Engine();
    for (int32_t i = 0; i < root.ChildCount(); ++i)
      if (auto* b = dynamic_cast<TsharSprite*>(root.Child(i)); b && b->Y > lowest) {
        lowest = b->Y;
        target = b->X + b->Width / 2.0;
      }
    const double centre = PaddleX + 40;
    const int want = target < 0            ? 0
                     : target < centre - 8 ? platform::VK_LEFT
                     : target > centre + 8 ? platform::VK_RIGHT
                                           : 0;
    if (want != held) {
      if (held) g.hl.keyboard->Release(held);
      if (want) g.hl.keyboard->Press(want);
      held = want;
    }
    if (f % 300 == 0) g.hl.keyboard->Press(platform::VK_SPACE);
    if (f % 300 == 2) g.hl.keyboard->Release(platform::VK_SPACE);
    if (GameState == gsLevelIntro && f % 120 == 60) g.Press(platform::VK_RETURN);
    g.Frame(16 + f % 2);
  }
  if (GameState != gsMenu) g.Press(platform::VK_ESCAPE);
  g.Frames(5, 16);
  MainForm->Follower = nullptr;
  MainForm->Mode = nullptr;
  if (recorder.LastFile().empty()) return {};
  return replay::ReplayFolder("") + "/" + recorder.LastFile();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--hour-replay") {
    const std::string made = PlayHourGame(std::atoi(argv[3]));
    if (made.empty()) {
      std::fprintf(stderr, "no replay was written\n");
      return 1;
    }
    std::filesystem::copy_file(made, argv[2], std::filesystem::copy_options::overwrite_existing);
    std::printf("%s: score %d, level %d\n", argv[2], Score, Level);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
