// Cost of the once-per-frame input update on the headless platform: the device-layer keyboard
// (512 physical keys mapped and 36 x 3 table look-ups), the window-system keyboard, and a
// joystick read with axis scaling.
#include <benchmark/benchmark.h>

#include "input/dxinput.h"
#include "platform/headless/headless.h"
#include "toolkit/application.h"
#include "toolkit/forms.h"

namespace {

struct Rig {
  explicit Rig(bool deviceLayer, bool joystick) {
    hl = platform::headless::Install();
    app = new TApplicationScope();
    form = new TForm(nullptr);
    input = new TDXInput(form);
    ReadGameInputProperties(*input);
    input->SetUseDirectInput(deviceLayer);
    input->Loaded();
    hl.keyboard->Press('A');
    hl.keyboard->Press(platform::VK_SPACE);
    if (joystick) {
      int pad = hl.joysticks->Plug();
      hl.joysticks->SetAxes(pad, 30000, -20000);
      hl.joysticks->SetButtons(pad, 0x5);
    }
    input->Update();
  }
  ~Rig() {
    delete app;
    platform::Uninstall();
  }
  platform::headless::Handles hl;
  TApplicationScope* app;
  TForm* form;
  TDXInput* input;
};

void BM_UpdateDeviceKeyboardAndJoystick(benchmark::State& state) {
  Rig rig(true, true);
  for (auto _ : state) {
    rig.input->Update();
    benchmark::DoNotOptimize(rig.input->States());
  }
}
BENCHMARK(BM_UpdateDeviceKeyboardAndJoystick);

void BM_UpdateWindowSystemKeyboard(benchmark::State& state) {
  Rig rig(false, false);
  for (auto _ : state) {
    rig.input->Update();
    benchmark::DoNotOptimize(rig.input->States());
  }
}
BENCHMARK(BM_UpdateWindowSystemKeyboard);

void BM_ScaleAxis(benchmark::State& state) {
  int p = -32768;
  for (auto _ : state) {
    benchmark::DoNotOptimize(TJoystick::ScaleAxis(p, -32768, 32767, 50, 300));
    p = p == 32767 ? -32768 : p + 1;
  }
}
BENCHMARK(BM_ScaleAxis);

}  // namespace

BENCHMARK_MAIN();
