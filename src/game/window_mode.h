// What runs in the main window besides the game: the level editor, the replay player. The window
// asks its mode first for every frame, key, character, mouse event and close; a mode that leaves
// a thing alone lets the game have it.
#pragma once

#include <string>

#include "toolkit/classes.h"
#include "toolkit/controls.h"

class TDirectDrawSurface;

class TWindowMode {
 public:
  virtual ~TWindowMode() = default;
  // Draws the frame on `back` and shows it; false lets the game draw and show its own.
  virtual bool Paint(TDirectDrawSurface* back) = 0;
  // True while the mode's own screen fills the window: the game's pause, mouse capture and
  // overlays stand aside.
  virtual bool ShowsOwnScreen() const { return false; }
  // Draws over the game's finished frame, before it is shown.
  virtual void PaintOver(TDirectDrawSurface* back) { (void)back; }
  // A key of the window; true when the mode took it (the game then does not see it).
  virtual bool TakeKey(int key, TShiftState shift) = 0;
  // A character typed in the window; true when the mode took it (no cheat key then).
  virtual bool TakeChar(char32_t ch) = 0;
  // The mouse over the frame, in frame coordinates.
  virtual void MouseDown(TMouseButton button, int x, int y) { (void)button, (void)x, (void)y; }
  virtual void MouseMove(int x, int y) { (void)x, (void)y; }
  virtual void MouseUp(TMouseButton button, int x, int y) { (void)button, (void)x, (void)y; }
  // The window is asked to close; false keeps it open (the mode may ask the player first).
  virtual bool MayClose() { return true; }
};

// Who follows each game played in the window from its first to its last frame: the recorder
// writes it down, the replay player plays one back.
class TGameFollower {
 public:
  virtual ~TGameFollower() = default;
  // Enter in the menu starts a game: called before the game's first draw from the generator.
  virtual void GameStarting() = 0;
  // Each frame of a game, after the sprites moved.
  virtual void FrameDone() = 0;
  // The game is over: the score entry is about to be offered or the field is back at the menu.
  // Called once per game.
  virtual void GameEnded() = 0;
  // After the score entry of the game that ended closed (rank 1..5 of its entry, 0 when none).
  virtual void ScoreEntryClosed(int rank) { (void)rank; }
  // True while a recorded game plays back: no score entry, no record.
  virtual bool Replaying() const = 0;
  // A line the menu shows (UTF-8), "" for none.
  virtual std::string MenuNotice() const { return {}; }
};
