// Speed of the whole game on the headless platform: one menu tick, one play tick at the densest
// level, the same play frame composed with SDL's own blits and the memset floor of a frame, the
// asset loading (and the share of it spent decoding BMP files), a new game from the menu, and how
// the tick grows with the number of sprites.
//
// One play iteration is one call of the frame loop (DXTimerTimer, lag 16 ms) on level 20's 196
// bricks with three balls flying in the empty band under the bricks, six falling bonuses, the gun
// armed (two barrels, eight bullets in flight under the bricks, Space held so the gun fires two
// more bullets every tick), score and lives shown. Between iterations, with the timer paused, the
// scene is put back: the fired bullets are freed, balls, bonuses and bullets return to their
// places, the gun is re-armed. So every iteration does the same work and nothing is broken.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "game/levels.h"
#include "game_bench_support.h"

namespace {

using bench::BuildDenseField;
using bench::PlayScene;

// Checks that a play scene came through the measured ticks unchanged.
void ExpectSteady(benchmark::State& state, PlayScene& s, int32_t sprites, int32_t score) {
  if (s.Root().SpriteCount() != sprites || BricksBroken != 0 || Score != score)
    state.SkipWithError("the play scene did not stay steady");
}

// Times one whole tick per iteration (the scene re-armed outside the timing), then checks that
// the scene stayed steady with `sprites` sprites.
void TimeSteadyTicks(benchmark::State& state, PlayScene& s, int32_t sprites) {
  const int32_t score = Score;
  for (auto _ : state) {
    s.Tick();
    state.PauseTiming();
    s.Rearm();
    state.ResumeTiming();
  }
  ExpectSteady(state, s, sprites, score);
}

// ---------------------------------------------------------------------------------------------
// 1. The menu

void BM_MenuTick(benchmark::State& state) {
  PlayScene s;
  for (auto _ : state) s.Tick();
  if (GameState != gsMenu) state.SkipWithError("not in the menu");
}
BENCHMARK(BM_MenuTick)->Unit(benchmark::kMicrosecond);

// The same through the message loop: the clock moves 16 ms and the idle callback runs the tick.
void BM_MenuFrameThroughLoop(benchmark::State& state) {
  PlayScene s;
  for (auto _ : state) s.Game().Frame(16);
  if (GameState != gsMenu) state.SkipWithError("not in the menu");
}
BENCHMARK(BM_MenuFrameThroughLoop)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------------------------
// 2. The densest play tick, and its parts

// What PauseTiming + ResumeTiming add to one iteration (subtract from the paused benchmarks).
void BM_PauseResumeOverhead(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_PauseResumeOverhead)->Unit(benchmark::kMicrosecond);

void BM_PlayTickLevel20(benchmark::State& state) {
  PlayScene s;
  BuildDenseField(s);
  const int32_t sprites = s.Root().SpriteCount();
  TimeSteadyTicks(state, s, sprites);
  state.counters["sprites"] = sprites;
}
BENCHMARK(BM_PlayTickLevel20)->Unit(benchmark::kMicrosecond);

// The same tick while the score changes every frame, as it does whenever a brick breaks: the
// frame loop's first line hands the new score to the hidden label, which measures its text.
void BM_PlayTickLevel20ScoreChanging(benchmark::State& state) {
  PlayScene s;
  BuildDenseField(s);
  const int32_t sprites = s.Root().SpriteCount();
  int32_t score = Score;
  for (auto _ : state) {
    s.Tick();
    state.PauseTiming();
    if (Score != score) state.SkipWithError("the score moved by itself");
    s.Rearm();
    score += 13;
    Score = score;
    state.ResumeTiming();
  }
  ExpectSteady(state, s, sprites, score);
}
BENCHMARK(BM_PlayTickLevel20ScoreChanging)->Unit(benchmark::kMicrosecond);

// What the label's measuring costs per new score: the text run rasterised (what TCanvas::TextWidth
// asks of the platform on a cache miss) against the platform's measure without rasterising.
void BM_ScoreTextRender(benchmark::State& state) {
  PlayScene s;
  const TFont& f = s.Form().Label1->Font;
  platform::Text& text = *platform::Get().text;
  int32_t score = 1000000;
  for (auto _ : state) {
    platform::TextMask m =
        text.Render(f.Name, f.PixelHeight(), f.Bold, f.Italic, std::to_string(score += 13));
    benchmark::DoNotOptimize(m);
  }
}
BENCHMARK(BM_ScoreTextRender)->Unit(benchmark::kMicrosecond);

void BM_ScoreTextMeasure(benchmark::State& state) {
  PlayScene s;
  const TFont& f = s.Form().Label1->Font;
  platform::Text& text = *platform::Get().text;
  int32_t score = 1000000;
  for (auto _ : state) {
    int w = 0, h = 0;
    text.Measure(f.Name, f.PixelHeight(), f.Bold, f.Italic, std::to_string(score += 13), w, h);
    benchmark::DoNotOptimize(w);
    benchmark::DoNotOptimize(h);
  }
}
BENCHMARK(BM_ScoreTextMeasure)->Unit(benchmark::kMicrosecond);

// The move pass and the purge alone (every MoveStep with its collision checks).
void BM_PlayMovePassLevel20(benchmark::State& state) {
  PlayScene s;
  BuildDenseField(s);
  const int32_t sprites = s.Root().SpriteCount();
  const int32_t score = Score;
  TDXSpriteEngine& engine = *s.Form().DXSpriteEngine;
  for (auto _ : state) {
    s.Form().DXInput->Update();
    engine.MoveAll(16);
    engine.PurgeDead();
    state.PauseTiming();
    s.Rearm();
    state.ResumeTiming();
  }
  ExpectSteady(state, s, sprites, score);
}
BENCHMARK(BM_PlayMovePassLevel20)->Unit(benchmark::kMicrosecond);

// Clearing the back surface and the draw pass alone (background tiles and every sprite).
void BM_PlayDrawPassLevel20(benchmark::State& state) {
  PlayScene s;
  BuildDenseField(s);
  TDirectDrawSurface* back = s.Form().DXDraw->Back();
  for (auto _ : state) {
    back->Fill(0);
    s.Form().DXSpriteEngine->DrawAll();
  }
  state.counters["drawn"] = s.Root().DrawnCount();
}
BENCHMARK(BM_PlayDrawPassLevel20)->Unit(benchmark::kMicrosecond);

// The flip alone in full screen (the game's mode): the finished frame changes places with the one
// on show and is handed to the screen and the headless platform, which keep it.
void BM_PlayFlip(benchmark::State& state) {
  PlayScene s;
  BuildDenseField(s);
  s.Tick();
  for (auto _ : state) s.Form().DXDraw->Flip();
  const TDirectDrawSurface* back = s.Form().DXDraw->Back();
  state.counters["back_w"] = back->Width();
  state.counters["back_h"] = back->Height();
}
BENCHMARK(BM_PlayFlip)->Unit(benchmark::kMicrosecond);

// The same in window mode, where the display copies the finished frame into the window's.
void BM_PlayFlipWindowed(benchmark::State& state) {
  PlayScene s;
  s.Form().SwitchDisplayMode();  // Alt+Enter: full screen to window
  BuildDenseField(s);
  s.Tick();
  if (s.Form().DXDraw->NowOptions().Contains(doFlip)) state.SkipWithError("still flipping");
  for (auto _ : state) s.Form().DXDraw->Flip();
}
BENCHMARK(BM_PlayFlipWindowed)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------------------------
// 3. The same frame composed with SDL's own blits, and the memset floor

// Argument rle: 1 lets SDL run-length encode the colour-keyed pictures (its fast keyed path).
void BM_SdlComposedPlayFrame(benchmark::State& state) {
  const bool rle = state.range(0) != 0;
  PlayScene s;
  BuildDenseField(s);
  s.Tick();  // the two bullets of one shot are on the field as in a measured tick
  bench::SdlPictures pictures;
  pictures.AddList(*s.Form().ImageList, rle);
  pictures.AddList(*s.Form().FontList1, rle);

  // What the draw pass shows, in drawing order: the tiles of the background, every sprite.
  struct Blit {
    SDL_Surface* surface;
    int x, y;
  };
  std::vector<Blit> blits;
  TSpriteEngine& root = s.Root();
  for (int32_t i = 0; i < root.ChildCount(); ++i) {
    TSprite* sprite = root.DrawOrderChild(i);
    if (auto* bg = dynamic_cast<TBackgroundSprite*>(sprite)) {
      SDL_Surface* tile = pictures.Of(bg->BackImage);
      for (int y = 0; y < 600; y += tile->h)
        for (int x = 0; x < 800; x += tile->w) blits.push_back({tile, x, y});
    } else if (auto* image = dynamic_cast<TImageSprite*>(sprite)) {
      blits.push_back({pictures.Of(image->Image), SpriteTrunc(image->X), SpriteTrunc(image->Y)});
    }
  }
  // The head-up display: ten digits of the score and an icon per life.
  int32_t v = Score;
  for (int i = 1; i <= 10; ++i, v /= 10)
    blits.push_back({pictures.Of(s.Form().FontList1->FindImage("i" + std::to_string(v % 10))),
                     200 - 20 * i, 10});
  for (int a = 1; a <= Lives; ++a)
    blits.push_back({pictures.Of(s.Form().ImageList->FindImage("shar1")), 800 - 20 - 20 * a, 10});
  for (const Blit& b : blits)
    if (!b.surface) {
      state.SkipWithError("a picture without an SDL copy");
      return;
    }

  SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormat(0, 800, 600, 16, SDL_PIXELFORMAT_RGB565);
  for (auto _ : state) {
    SDL_FillRect(frame, nullptr, 0);
    for (const Blit& b : blits) {
      SDL_Rect dst{b.x, b.y, b.surface->w, b.surface->h};
      SDL_BlitSurface(b.surface, nullptr, frame, &dst);
    }
    benchmark::DoNotOptimize(frame->pixels);
    benchmark::ClobberMemory();
  }
  state.counters["blits"] = static_cast<double>(blits.size());
  SDL_FreeSurface(frame);
}
BENCHMARK(BM_SdlComposedPlayFrame)->ArgName("rle")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Writing every byte of one 800 x 600 RGB565 frame once.
void BM_MemsetFrame(benchmark::State& state) {
  std::vector<uint8_t> frame(800 * 600 * 2);
  uint8_t v = 0;
  for (auto _ : state) {
    std::memset(frame.data(), v++, frame.size());
    benchmark::DoNotOptimize(frame.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_MemsetFrame)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------------------------
// 4. Asset loading

// From nothing to the menu: the three windows created, the main window shown, whose first
// activation reads the records and runs LoadAssets, and the display initialised. The headless
// platform and the working directory are made and removed outside the measurement.
void BM_StartUpToMenu(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto game = std::make_unique<GameHarness>();
    state.ResumeTiming();
    game->Start();
    state.PauseTiming();
    if (GameState != gsMenu) state.SkipWithError("the game did not reach its menu");
    game.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartUpToMenu)->Unit(benchmark::kMillisecond);

// LoadAssets alone, run again on a started game: every picture file reloaded, music opened, the
// colour table made, the two sprites made and the pictures' surfaces rebuilt. (On the real
// platform it also sleeps 100 ms behind the loading window; the headless clock does not.)
void BM_LoadAssets(benchmark::State& state) {
  PlayScene s;
  const int32_t before = s.Root().ChildCount();
  for (auto _ : state) {
    s.Form().LoadAssets();
    state.PauseTiming();
    s.Game().Pump();
    TSpriteEngine& root = s.Root();
    for (int32_t i = before; i < root.ChildCount(); ++i) root.Child(i)->Kill();
    root.PurgeDead();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadAssets)->Unit(benchmark::kMillisecond);

// The picture files LoadAssets reads, in its order (the brick frames 4 and 5 read 2 and 1 again).
std::vector<std::string> AssetFiles() {
  const std::string d = std::string(KX_DATA_DIR) + "/";
  std::vector<std::string> f;
  for (int k = 1; k <= 4; ++k) f.push_back(d + "shar/" + std::to_string(k) + ".bmp");
  for (int k = 1; k <= 14; ++k) f.push_back(d + "bon/" + std::to_string(k) + ".bmp");
  for (int k = 0; k <= 9; ++k) f.push_back(d + "fnt/" + std::to_string(k) + ".bmp");
  for (int k = 1; k <= 5; ++k) f.push_back(d + "pod/" + std::to_string(k) + ".bmp");
  for (const char* k : {"11", "41", "51"}) f.push_back(d + "kirp/" + k + ".bmp");
  for (int t : {2, 3, 6, 7, 8, 9})
    for (int n : {1, 2, 3}) f.push_back(d + "kirp/" + std::to_string(t * 10 + n) + ".bmp");
  for (int t : {2, 3, 6, 7, 8, 9})
    for (int n : {2, 1}) f.push_back(d + "kirp/" + std::to_string(t * 10 + n) + ".bmp");
  f.push_back(d + "fon/2.bmp");
  return f;
}

// Every TDXPicture::LoadFromFile call of LoadAssets (file reading and BMP decoding).
void BM_DecodeAssetBmps(benchmark::State& state) {
  const std::vector<std::string> files = AssetFiles();
  std::vector<TDXPicture> pictures(files.size());
  for (auto _ : state) {
    for (size_t i = 0; i < files.size(); ++i) pictures[i].LoadFromFile(files[i]);
    benchmark::DoNotOptimize(pictures.data());
  }
  for (const TDXPicture& p : pictures)
    if (!p.HasGraphic()) state.SkipWithError("a picture did not load");
  state.counters["files"] = static_cast<double>(files.size());
}
BENCHMARK(BM_DecodeAssetBmps)->Unit(benchmark::kMillisecond);

// The display's Restore that ends LoadAssets: every picture's surfaces rebuilt from its bitmap.
void BM_DisplayRestore(benchmark::State& state) {
  PlayScene s;
  for (auto _ : state) s.Form().DXDraw->Restore();
}
BENCHMARK(BM_DisplayRestore)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// 5. A new game

// Enter in the menu: NewGame (level 1 read and its bricks made) and NewBall. Escape and one menu
// tick, paused, take the game back to the menu and free its sprites.
void BM_NewGameFromMenu(benchmark::State& state) {
  PlayScene s;
  const int32_t menuSprites = s.Root().SpriteCount();
  for (auto _ : state) {
    s.Game().Press(platform::VK_RETURN);
    state.PauseTiming();
    if (GameState != gsServe) state.SkipWithError("Enter did not start a game");
    s.Game().Press(platform::VK_ESCAPE);
    s.Tick();
    if (GameState != gsMenu || s.Root().SpriteCount() != menuSprites)
      state.SkipWithError("the game did not return to the menu");
    state.ResumeTiming();
  }
}
BENCHMARK(BM_NewGameFromMenu)->Unit(benchmark::kMicrosecond);

// LoadLevel of level 20 on an empty field (196 bricks read and made).
void BM_LoadLevel20(benchmark::State& state) {
  PlayScene s;
  s.EnterPlay();
  for (auto _ : state) {
    Level = 20;
    s.Form().LoadLevel();
    state.PauseTiming();
    s.KillAll([](TSprite* sp) { return dynamic_cast<TMonoSprite*>(sp) != nullptr; });
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadLevel20)->Unit(benchmark::kMicrosecond);

// Reading level 20's file through the game's text-file reader.
void BM_ReadLevelFile20(benchmark::State& state) {
  PlayScene s;
  size_t bricks = 0;
  for (auto _ : state) bricks = game::ReadLevelFile(game::LevelFileName(20)).size();
  state.counters["bricks"] = static_cast<double>(bricks);
}
BENCHMARK(BM_ReadLevelFile20)->Unit(benchmark::kMicrosecond);

// The same level read with a buffer the size of the file, then parsed by the same rules: what
// the read costs without the reader's fixed-size buffer.
void BM_ReadLevelFile20BySize(benchmark::State& state) {
  PlayScene s;
  const std::string path = std::string(KX_DATA_DIR) + "/levels/lev20.lev";
  size_t bricks = 0;
  for (auto _ : state) {
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<size_t>(f.tellg()), '\0');
    f.seekg(0);
    f.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bricks = game::ParseLevel(bytes).size();
  }
  state.counters["bricks"] = static_cast<double>(bricks);
}
BENCHMARK(BM_ReadLevelFile20BySize)->Unit(benchmark::kMicrosecond);

// ReadRecords: rec.kbx into the record table (every activation of the main window runs it).
void BM_ReadRecords(benchmark::State& state) {
  PlayScene s;
  for (auto _ : state) s.Form().ReadRecords();
}
BENCHMARK(BM_ReadRecords)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------------------------
// 6. Scale: bricks stacked on level 20's grid, balls in the band below them; one play tick, the
// move pass alone and the draw pass alone.

void BuildScaleField(PlayScene& s, int bricks, int balls) {
  s.EnterPlay();
  BrickCount = 0;
  s.AddBricks(bricks);
  PaddleX = 300.0;
  Lives = 3;
  Score = 1234567;
  s.AddBalls(balls);
  s.Rearm();
}

void ScaleArgs(benchmark::internal::Benchmark* b) {
  b->ArgNames({"bricks", "balls"});
  for (auto [bricks, balls] : {std::pair{200, 3},
                               {1000, 3},
                               {10000, 3},
                               {1000, 30},
                               {10000, 30},
                               {900, 100},
                               {9000, 1000}})
    b->Args({bricks, balls});
}

// What every brick's move step spends finding its picture by a name built on the spot.
void BM_BrickImageLookup(benchmark::State& state) {
  PlayScene s;
  int type = 2, frame = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        s.Form().GameImage("kirp" + std::to_string(type) + std::to_string(frame)));
    if (++frame > 5) frame = 1;
  }
}
BENCHMARK(BM_BrickImageLookup)->Unit(benchmark::kNanosecond);

void BM_ScaleTick(benchmark::State& state) {
  PlayScene s;
  BuildScaleField(s, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int32_t sprites = s.Root().SpriteCount();
  TimeSteadyTicks(state, s, sprites);
  state.counters["sprites"] = sprites;
}
BENCHMARK(BM_ScaleTick)->Apply(ScaleArgs)->Unit(benchmark::kMicrosecond);

// The tick from 1 000 to 10 000 sprites, nine bricks to each ball: how it grows (the fitted
// complexity is printed after the runs). The balls fly in stacks of ten, the stacks side by side
// in the band under the bricks, so each ball meets the same number of others at every size and
// the work a tick has to do grows with the sprites alone.
void BM_ScaleTickLinear(benchmark::State& state) {
  const auto sprites = static_cast<int>(state.range(0));
  PlayScene s;
  BuildScaleField(s, sprites - sprites / 10, 0);
  for (int k = 0; k < sprites / 10; ++k) {
    const int stack = k / 10;  // at most 100 stacks: 30 to a row, 24 pixels apart
    s.AddBall(20.0 + (stack % 30) * 24, 400.0 + (stack / 30) * 30, 1.0 + 0.7 * (k % 4));
  }
  s.Rearm();
  const int32_t count = s.Root().SpriteCount();
  TimeSteadyTicks(state, s, count);
  state.SetComplexityN(sprites);
}
BENCHMARK(BM_ScaleTickLinear)
    ->Arg(1000)
    ->Arg(2000)
    ->Arg(5000)
    ->Arg(10000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMicrosecond);

void BM_ScaleMovePass(benchmark::State& state) {
  PlayScene s;
  BuildScaleField(s, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int32_t sprites = s.Root().SpriteCount();
  const int32_t score = Score;
  TDXSpriteEngine& engine = *s.Form().DXSpriteEngine;
  for (auto _ : state) {
    engine.MoveAll(16);
    engine.PurgeDead();
    state.PauseTiming();
    s.Rearm();
    state.ResumeTiming();
  }
  ExpectSteady(state, s, sprites, score);
}
BENCHMARK(BM_ScaleMovePass)->Apply(ScaleArgs)->Unit(benchmark::kMicrosecond);

void BM_ScaleDrawPass(benchmark::State& state) {
  PlayScene s;
  BuildScaleField(s, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  TDirectDrawSurface* back = s.Form().DXDraw->Back();
  for (auto _ : state) {
    back->Fill(0);
    s.Form().DXSpriteEngine->DrawAll();
  }
  state.counters["drawn"] = s.Root().DrawnCount();
}
BENCHMARK(BM_ScaleDrawPass)->Apply(ScaleArgs)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
