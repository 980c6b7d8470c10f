// The replay player: plays a recorded game back in the game's own window with the game's drawing
// and sound (Space pauses, Right and Left run at 4x and 1/4x, Home starts again, Escape leaves), or
// checks it with no window and no sound as fast as the processor allows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "game/replay_file.h"
#include "game/replay_tape.h"
#include "game/window_mode.h"

namespace replay {

class TReplayPlayer : public TWindowMode, public TGameFollower, public TapeWatcher {
 public:
  // Plays `file` from `tape` (installed around the platform); `check` runs without drawing and
  // ends the program when the game is over or differs.
  TReplayPlayer(Tape& tape, ReplayFile file, bool check);

  // Starts the recorded game: Enter in the menu, as the player pressed it.
  void Start();
  // What Escape does once the game in play has ended: by default the program ends (the window
  // was opened for this replay); the menu's replays go back to the menu instead.
  std::function<void()> OnLeave;

  // ---- the window's mode
  bool Paint(TDirectDrawSurface* back) override;
  void PaintOver(TDirectDrawSurface* back) override;
  bool TakeKey(int key, TShiftState shift) override;
  bool TakeChar(char32_t ch) override;

  // ---- following the game
  void GameStarting() override;
  void FrameDone() override;
  void GameEnded() override;
  bool Replaying() const override { return true; }

  // ---- the window's own events and frames while the tape plays
  void WindowEvent(const platform::Event& e) override;
  bool ShowFrame() override;
  void FrameShown(const std::function<void()>& pumpWindowEvents) override;

  // A player's key (Space, Right, Left, Home, Escape); true when it is one.
  bool Control(int key);
  bool Paused() const { return paused_; }
  // 4 (fast), 1 or -4 (a quarter of the speed).
  int Speed() const { return speed_; }

  // After the check: the line to print and the program's exit status (0 ok, 1 differs).
  const std::string& Verdict() const { return verdict_; }
  int Status() const { return status_; }
  bool Finished() const { return finished_; }

 private:
  void Finish(std::string verdict, int status);
  void PostKey(int vk);
  Tape& tape_;
  ReplayFile file_;
  bool check_;
  bool starting_ = false;    // the Enter that starts the game is on its way
  bool restarting_ = false;  // Home: the game in play ends, then starts again
  bool ended_ = false;       // the recorded game is over (the window shows its last frame)
  bool leaving_ = false;
  bool leaveAfterEnd_ = false;  // Escape during the game: leave once its field is clear
  void Leave();
  bool paused_ = false;
  int speed_ = 1;
  uint32_t shown_ = 0;
  bool finished_ = false;
  std::string verdict_;
  int status_ = 1;
};

class TReplayRecorder;

// R or 1..5 in the game's menu: plays the replay kept for `rank` of `levelFolder`'s record table
// in the main window with `tape` (held in `player`), or says in the menu why it cannot. Leaving
// it gives the window back to its mode and `recorder`, with cheat mode as it was.
void PlayMenuReplay(int rank, const std::string& levelFolder, Tape& tape, TReplayRecorder& recorder,
                    std::unique_ptr<TReplayPlayer>& player);
// The same for the replay file at `path` (one dropped on the browser's page).
void PlayReplayFile(const std::string& path, const std::string& levelFolder, Tape& tape,
                    TReplayRecorder& recorder, std::unique_ptr<TReplayPlayer>& player);

// `kobaltix --replay FILE` (check = false) and `--verify-replay FILE` (check = true), with the
// data directory already the working directory. The window replay runs on the installed platform;
// the check installs the headless one. Prints the refusal or the verdict; returns the exit status.
int RunReplay(const std::string& path, bool check);

}  // namespace replay
