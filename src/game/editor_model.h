// The level editor's model: the twenty levels of a level set in memory, the cells a brick may
// take, edits with undo and redo kept per level, and saving in the game's exact form. It knows
// nothing of windows; the editor window (level_editor.h) draws it and feeds it the mouse and keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game/levels.h"

namespace game {

constexpr int kEditorLevels = 20;
// The brick grid of the field: every brick picture is 50 x 20, and column c, row r has its
// top-left corner at (100 + 50c, 100 + 20r).
constexpr int kCellWidth = 50;
constexpr int kCellHeight = 20;
constexpr int kGridLeft = 100;
constexpr int kGridTop = 100;

// Frame x and y of a cell's top-left corner.
constexpr int CellX(int column) { return kGridLeft + kCellWidth * column; }
constexpr int CellY(int row) { return kGridTop + kCellHeight * row; }
// The cell that holds the frame point (x, y) (points left of or above the grid give negative
// numbers).
void CellAt(int x, int y, int& column, int& row);

// Whether a cell may hold a brick, and why not.
enum class CellRule {
  Free,          // inside the field
  AboveField,    // in the band above row 0, where the game shows the score and the lives
  OutsideField,  // not wholly inside the visible frame
  PaddleZone,    // reaches down to the paddle's line
  NoSuchType,    // (Place only) the brick type is not one of 1..9
};

// What opening a level's file found.
struct LevelReport {
  bool missing = false;  // no file (or not readable): an empty level
  std::string reason;    // why a file that is there was not read (the system's text), else
  bool inexact = false;  // the bytes were not what the game writes for the bricks it read
  int outside = 0;       // bricks that stand outside the field
};

enum class SaveResult {
  Saved,
  Empty,        // no brick at all: the level would count as cleared at once (level 20: never)
  Unreachable,  // some bricks stand outside the field, where no ball breaks them
  TooMany,      // more bricks than the game reads from one file
  Failed,       // the system refused the file; see the error text
};

class LevelSetModel {
 public:
  // `frameWidth` x `frameHeight` is the visible frame; `paddleTop` the paddle's top edge.
  explicit LevelSetModel(int frameWidth = 800, int frameHeight = 600, int paddleTop = 530);

  // Reads lev1.lev .. lev20.lev of `folder` through the data-file opener (a pipe, a device or a
  // folder in a level's place is refused at once, a huge file is read only as far as the game
  // reads it) with the game's reader; forgets every edit, undo step and report of the previous
  // set. Level 1 becomes the current level.
  void Open(const std::string& folder);
  const std::string& Folder() const { return folder_; }
  // True for a level of a set: 1..20. Every accessor below answers a level outside as an empty
  // level with nothing to report, and Save refuses it.
  static bool ValidLevel(int level) { return level >= 1 && level <= kEditorLevels; }
  // The file of `level` (1..20) in the folder.
  std::string FilePath(int level) const;
  const LevelReport& Report(int level) const { return Slot(level).report; }

  // The current level, 1..20; SetLevel clamps and ends any stroke.
  int Level() const { return level_; }
  void SetLevel(int level);
  // Bricks of the current level / of `level`, in file order.
  const std::vector<LevelBrick>& Bricks() const { return Slot(level_).bricks; }
  const std::vector<LevelBrick>& Bricks(int level) const { return Slot(level).bricks; }
  // Type of the brick drawn last in the cell of the current level, 0 when the cell is empty.
  int TypeAt(int column, int row) const;
  CellRule Rule(int column, int row) const;
  // Bricks of `level` that stand outside the field.
  int OutsideCount(int level) const;

  // A stroke (one drag of the mouse) makes one undo step of all its changes. A change made
  // outside a stroke is a step of its own.
  void BeginStroke();
  void EndStroke();
  bool InStroke() const { return inStroke_; }
  // Puts a brick of `type` (1..9) in the cell, replacing whatever stood there. Returns the cell's
  // rule, or NoSuchType for a type outside 1..9; nothing changes unless the answer is Free.
  CellRule Place(int column, int row, int type);
  // Removes the bricks of the cell; false when it was empty.
  bool Erase(int column, int row);
  // Removes every brick of the current level that stands outside the field; returns how many.
  int DropOutside();
  // Undo and redo of the current level's steps; false when there is none.
  bool Undo();
  bool Redo();
  bool CanUndo() const { return !Slot(level_).undo.empty(); }
  bool CanRedo() const { return !Slot(level_).redo.empty(); }

  // True when `level` differs from its file as last read or saved.
  bool Modified(int level) const;
  // The modified levels, in ascending order.
  std::vector<int> ModifiedLevels() const;
  // Saves `level` unless the level breaks a rule (see SaveResult). On Failed `error` holds the
  // system's message (or says there is no such level) and nothing in memory changes.
  SaveResult Save(int level, std::string& error);

 private:
  struct LevelSlot {
    std::vector<LevelBrick> bricks;
    std::vector<LevelBrick> saved;  // as last read or written
    std::vector<std::vector<LevelBrick>> undo, redo;
    LevelReport report;
  };
  // Only for a ValidLevel (the current level always is one).
  LevelSlot& Slot(int level) { return slots_[static_cast<size_t>(level - 1)]; }
  // An empty slot for a level outside 1..20.
  const LevelSlot& Slot(int level) const;
  bool Inside(const LevelBrick& b) const { return Rule(b.column, b.row) == CellRule::Free; }
  // Runs `change` on the current level as an undo step (or as part of the open stroke).
  template <typename F>
  void Change(F change);

  int frameWidth_, frameHeight_, paddleTop_;
  std::string folder_;
  int level_ = 1;
  std::vector<LevelSlot> slots_;
  bool inStroke_ = false;
  std::vector<LevelBrick> strokeStart_;
};

}  // namespace game
