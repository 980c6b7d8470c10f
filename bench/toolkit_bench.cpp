// Costs of the toolkit's per-frame work: handing a frame to the compositor with and without a
// window over it, and canvas text with the run cache warm and cold.
#include <benchmark/benchmark.h>

#include <vector>

#include "platform/headless/headless.h"
#include "toolkit/application.h"
#include "toolkit/canvas.h"
#include "toolkit/forms.h"
#include "toolkit/screen.h"

namespace {

struct Env {
  Env() {
    hl = platform::headless::Install();
    InitApplication();
    main = new TForm(nullptr);
    main->Show();
    frame.assign(800 * 600, 0x1234);
  }
  ~Env() {
    DoneApplication();
    platform::Uninstall();
  }
  PixelBuffer View() {
    return PixelBuffer{reinterpret_cast<uint8_t*>(frame.data()), 1600, 800, 600, 16};
  }
  platform::headless::Handles hl;
  TForm* main = nullptr;
  std::vector<uint16_t> frame;
};

// The game's usual case: nothing over the frame. (The headless Present copies the frame too.)
void BM_PresentFrameNoOverlay(benchmark::State& state) {
  Env env;
  for (auto _ : state) Screen->PresentFrame(env.View());
  benchmark::DoNotOptimize(env.hl.video->FrameCount());
}
BENCHMARK(BM_PresentFrameNoOverlay);

// The cheat console open over the frame.
void BM_PresentFrameWithPanel(benchmark::State& state) {
  Env env;
  TPanel* console = new TPanel(env.main);
  console->SetParent(env.main);
  console->SetBounds(16, 8, 609, 41);
  TEdit* edit = new TEdit(env.main);
  edit->SetParent(console);
  edit->SetBounds(8, 8, 409, 21);
  edit->SetText("quartzpigeons");
  for (auto _ : state) Screen->PresentFrame(env.View());
}
BENCHMARK(BM_PresentFrameWithPanel);

// The menu's heading drawn every frame: after the first frame it is a blend of a cached mask.
void BM_TextOutCached(benchmark::State& state) {
  Env env;
  PixelBuffer target = env.View();
  TCanvas canvas([&](PixelBuffer& p) {
    p = target;
    return true;
  });
  canvas.Font.Name = "Comic Sans MS";
  canvas.Font.Size = 12;
  canvas.Brush.Style = bsClear;
  int i = 0;
  for (auto _ : state) {
    canvas.Font.Color = RGB(i++ & 255, 100, 200);  // the pulsing colour of the record rows
    canvas.TextOut(550, 58, "Рекорды:");
  }
}
BENCHMARK(BM_TextOutCached);

// The same text rasterised every time (the cost the cache saves).
void BM_TextOutUncached(benchmark::State& state) {
  Env env;
  PixelBuffer target = env.View();
  TCanvas canvas([&](PixelBuffer& p) {
    p = target;
    return true;
  });
  canvas.Font.Name = "Comic Sans MS";
  canvas.Font.Size = 12;
  canvas.Brush.Style = bsClear;
  for (auto _ : state) {
    textcache::Clear();
    canvas.TextOut(550, 58, "Рекорды:");
  }
}
BENCHMARK(BM_TextOutUncached);

}  // namespace

BENCHMARK_MAIN();
