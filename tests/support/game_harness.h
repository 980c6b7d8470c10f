// The whole game on the headless platform: the three windows, the real data directory made by
// the asset generator (KX_DATA_DIR), a manual clock and scripted keys. Tests step frames and
// read the game's state, the frames presented and the sounds played.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "game/globals.h"
#include "game/loading_window.h"
#include "game/main_form.h"
#include "game/score_entry_window.h"
#include "platform/headless/headless.h"
#include "platform/keys.h"
#include "support/scratch_dir.h"
#include "toolkit/application.h"
#include "toolkit/random.h"

class GameHarness {
 public:
  // Makes a working directory whose data folders point at the generated data and whose
  // rec.kbx is a private copy (or absent when `withRecords` is false).
  explicit GameHarness(bool withRecords = true) {
    hl = platform::headless::Install();
    hl.clock->Set(100000);
    ResetGameGlobals();
    ClearScriptedRandom();
    namespace fs = std::filesystem;
    oldCwd_ = fs::current_path();
    const fs::path& dir_ = scratch_.Path();
    const fs::path data = KX_DATA_DIR;
    for (const char* sub : {"shar", "bon", "fnt", "pod", "kirp", "fon", "music", "levels"}) {
      std::error_code ec;
      if (fs::exists(data / sub)) fs::create_directory_symlink(data / sub, dir_ / sub, ec);
    }
    if (withRecords && fs::exists(data / "rec.kbx"))
      fs::copy_file(data / "rec.kbx", dir_ / "rec.kbx");
    fs::current_path(dir_);
  }

  ~GameHarness() {
    DoneApplication();
    platform::Uninstall();
    ClearScriptedRandom();
    std::error_code ec;
    std::filesystem::current_path(oldCwd_, ec);
  }

  // Creates the windows and shows the main window: the first activation loads the assets and
  // the display initialises. Returns once the game stands in its menu.
  void Start() {
    InitApplication();
    platform::Get().video->OpenWindow("KobalTix v. 1.3", 800, 600);
    platform::Get().video->SetFullScreen(true);
    CreateGameWindows();
    // Count the frames the frame loop runs, without changing what it does.
    auto inner = MainForm->DXTimer->OnTimer;
    MainForm->DXTimer->OnTimer = [this, inner](TObject* s, int lag) {
      ++frames;
      lastLag = lag;
      inner(s, lag);
    };
    MainForm->Show();
    Pump();
  }

  // Handles every queued event and due timer without running a frame.
  void Pump() {
    for (int i = 0; i < 10000 && hl.events->Pending() > 0; ++i) Application->Step();
  }

  // Advances the clock by `lagMs` and runs until one frame has run (or nothing more happens).
  bool Frame(uint32_t lagMs = 10) {
    hl.clock->Advance(lagMs);
    const int before = frames;
    for (int i = 0; i < 200 && frames == before; ++i) Application->Step();
    return frames != before;
  }

  // Runs `n` frames of `lagMs` each.
  void Frames(int n, uint32_t lagMs = 10) {
    for (int i = 0; i < n; ++i) Frame(lagMs);
  }

  // A key press as the window system delivers it: key down (and its character), key up.
  void Press(int vk, bool alt = false) {
    hl.events->PushKeyDown(vk, alt);
    Pump();
    hl.events->PushKeyUp(vk);
    Pump();
  }
  void Type(const std::string& utf8) {
    hl.events->PushText(utf8);
    Pump();
  }
  // Holds or releases a key for the input states the paddle reads.
  void Hold(int vk) { hl.keyboard->Press(vk); }
  void Release(int vk) { hl.keyboard->Release(vk); }

  // Starts a new game from the menu (Enter) and returns once the ball waits on the paddle.
  void NewGameFromMenu() { Press(platform::VK_RETURN); }

  platform::headless::Handles hl;
  int frames = 0;
  int lastLag = 0;

 private:
  std::filesystem::path oldCwd_;
  ScratchDir scratch_{"kx_game"};
};
