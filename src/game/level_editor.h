// The level editor: the game's main window showing a level set's field as the game shows it, a
// palette of the nine brick types, the level's number, brick count and file, and a status line.
// The mouse draws and erases bricks, keys pick types, switch levels, undo, redo and save, and F5
// plays the level being edited with the game's own rules in the same window.
#pragma once

#include <string>

#include "game/editor_model.h"
#include "game/window_mode.h"
#include "toolkit/classes.h"
#include "toolkit/controls.h"

class TMainForm;
class TDirectDrawSurface;

class TLevelEditor : public TComponent, public TWindowMode {
 public:
  // Opens the set in `folder` on level 1 and takes over the main window's frames, keys and
  // mouse. Owned (and freed) by `form`.
  TLevelEditor(TMainForm* form, const std::string& folder);
  ~TLevelEditor() override;

  game::LevelSetModel Model;

  // The brick type the left button places (1..9).
  int Selected() const { return selected_; }
  void Select(int type);
  // The status line's text (UTF-8).
  const std::string& Status() const { return status_; }
  // False while a test play runs (the game then has the window).
  bool Editing() const { return !testing_; }
  // The editor's screen fills the window while it edits.
  bool ShowsOwnScreen() const override { return Editing(); }
  // True while the question about unsaved levels is shown.
  bool Asking() const { return Question->Visible(); }

  // Draws the editor's frame on the display's back surface (and shows it) while it edits.
  bool Paint(TDirectDrawSurface* back) override;
  // Every key and character of the window is the editor's while it edits.
  bool TakeKey(int key, TShiftState shift) override;
  bool TakeChar(char32_t ch) override;
  // Closing the window with unsaved levels asks first (after the test play, during one).
  bool MayClose() override;
  // A key of the main window; true when the editor used it.
  bool KeyDown(int key, TShiftState shift);
  // The mouse over the field, in frame coordinates.
  void MouseDown(TMouseButton button, int x, int y) override;
  void MouseMove(int x, int y) override;
  void MouseUp(TMouseButton button, int x, int y) override;

  // Shows level `level` (1..20) with its file's warning, if any.
  void ShowLevel(int level);
  // Saves the current level; false (with the reason on the status line) when it was not saved.
  bool SaveLevel();
  // F5: plays the current level from a fresh serve.
  void TestPlay();
  // Leaves the editor (closing the program); with unsaved levels it asks first.
  void Leave();
  // Frame rectangle of palette entry `type` (1..9).
  static TRect PaletteRect(int type);

  // The leave question: a panel of the main window with its three answers.
  TPanel* Question;
  TLabel* QuestionText;
  TButton *SaveAllButton, *DiscardButton, *StayButton;

 private:
  void Apply(int x, int y);
  void SetStatus(std::string text, bool warning = false);  // in the warning colour when `warning`
  void Answer(int choice);  // 0 stay, 1 save all and leave, 2 leave without saving
  void TestPlayEnded();
  std::string LevelWarning(int level) const;
  void PaintPalette(TDirectDrawSurface* back);
  void PaintInfo(TDirectDrawSurface* back);

  TMainForm* form_;
  int selected_ = 1;
  std::string status_;
  bool statusWarns_ = false;  // the status line tells of a refusal or a damaged file
  bool testing_ = false;
  bool leaving_ = false;
  bool askAfterTest_ = false;  // the window was closed during a test play
  int dragButton_ = -1;        // the TMouseButton held down over the field, -1 when none
  int lastColumn_ = 0, lastRow_ = 0;
  bool lastCellSet_ = false;
  bool hover_ = false;  // the mouse is over the frame
  int hoverX_ = 0, hoverY_ = 0;
};
