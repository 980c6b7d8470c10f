#include "game/editor_model.h"

#include <algorithm>
#include <cerrno>

#include "game/textfile.h"
#include "platform/data_file.h"
#include "toolkit/errors.h"

namespace game {

namespace {
// Floor division: the cells left of and above the grid have negative numbers.
int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

bool InCell(const LevelBrick& b, int column, int row) { return b.column == column && b.row == row; }
}  // namespace

void CellAt(int x, int y, int& column, int& row) {
  column = FloorDiv(x - kGridLeft, kCellWidth);
  row = FloorDiv(y - kGridTop, kCellHeight);
}

LevelSetModel::LevelSetModel(int frameWidth, int frameHeight, int paddleTop)
    : frameWidth_(frameWidth),
      frameHeight_(frameHeight),
      paddleTop_(paddleTop),
      slots_(kEditorLevels) {}

void LevelSetModel::Open(const std::string& folder) {
  folder_ = folder;
  level_ = 1;
  inStroke_ = false;
  for (int n = 1; n <= kEditorLevels; ++n) {
    LevelSlot& s = Slot(n);
    s = LevelSlot{};
    // The bytes are read once, as far as the game's reader reads them, through the opener that
    // refuses a pipe, a device or a folder before it could block or never end; the report then
    // compares them with what the game makes of them.
    std::vector<uint8_t> bytes;
    int error = 0;
    if (!platform::ReadDataFile(NativePath(FilePath(n)), kMaxTextFileBytes, bytes, error)) {
      s.report.missing = true;
      if (error != ENOENT && error != ENOTDIR) s.report.reason = platform::DataFileReason(error);
    } else {
      const std::string text(bytes.begin(), bytes.end());
      s.bricks = ParseLevel(text);
      // A file longer than the game reads can never be what the game writes.
      s.report.inexact = text != FormatLevel(s.bricks) || bytes.size() >= kMaxTextFileBytes;
    }
    s.saved = s.bricks;
    s.report.outside = OutsideCount(n);
  }
}

std::string LevelSetModel::FilePath(int level) const { return LevelFileIn(folder_, level); }

const LevelSetModel::LevelSlot& LevelSetModel::Slot(int level) const {
  static const LevelSlot kNoLevel;
  return ValidLevel(level) ? slots_[static_cast<size_t>(level - 1)] : kNoLevel;
}

void LevelSetModel::SetLevel(int level) {
  if (inStroke_) EndStroke();
  level_ = std::clamp(level, 1, kEditorLevels);
}

int LevelSetModel::TypeAt(int column, int row) const {
  const auto& bricks = Bricks();
  for (auto it = bricks.rbegin(); it != bricks.rend(); ++it)
    if (InCell(*it, column, row)) return it->type;
  return 0;
}

CellRule LevelSetModel::Rule(int column, int row) const {
  // 64-bit: a damaged file may hold any 32-bit column or row.
  const int64_t x = kGridLeft + int64_t{kCellWidth} * column;
  const int64_t y = kGridTop + int64_t{kCellHeight} * row;
  if (x < 0 || y < 0 || x + kCellWidth > frameWidth_ || y + kCellHeight > frameHeight_)
    return CellRule::OutsideField;
  if (y + kCellHeight > paddleTop_) return CellRule::PaddleZone;
  if (row < 0) return CellRule::AboveField;
  return CellRule::Free;
}

int LevelSetModel::OutsideCount(int level) const {
  const auto& bricks = Bricks(level);
  return static_cast<int>(std::count_if(bricks.begin(), bricks.end(),
                                        [this](const LevelBrick& b) { return !Inside(b); }));
}

void LevelSetModel::BeginStroke() {
  if (inStroke_) return;
  inStroke_ = true;
  strokeStart_ = Bricks();
}

void LevelSetModel::EndStroke() {
  if (!inStroke_) return;
  inStroke_ = false;
  LevelSlot& s = Slot(level_);
  if (s.bricks == strokeStart_) return;
  s.undo.push_back(std::move(strokeStart_));
  s.redo.clear();
}

template <typename F>
void LevelSetModel::Change(F change) {
  const bool own = !inStroke_;
  if (own) BeginStroke();
  change(Slot(level_).bricks);
  if (own) EndStroke();
}

CellRule LevelSetModel::Place(int column, int row, int type) {
  if (type < 1 || type > 9) return CellRule::NoSuchType;
  const CellRule rule = Rule(column, row);
  if (rule != CellRule::Free) return rule;
  Change([&](std::vector<LevelBrick>& bricks) {
    // The new brick takes the place in the file of the first brick it replaces, so replacing a
    // brick changes only its type line.
    auto first = std::find_if(bricks.begin(), bricks.end(),
                              [&](const LevelBrick& b) { return InCell(b, column, row); });
    const LevelBrick brick{column, row, type};
    if (first == bricks.end()) {
      bricks.push_back(brick);
      return;
    }
    *first = brick;
    bricks.erase(std::remove_if(first + 1, bricks.end(),
                                [&](const LevelBrick& b) { return InCell(b, column, row); }),
                 bricks.end());
  });
  return rule;
}

bool LevelSetModel::Erase(int column, int row) {
  if (TypeAt(column, row) == 0) return false;
  Change([&](std::vector<LevelBrick>& bricks) {
    std::erase_if(bricks, [&](const LevelBrick& b) { return InCell(b, column, row); });
  });
  return true;
}

int LevelSetModel::DropOutside() {
  const int n = OutsideCount(level_);
  if (n > 0) {
    Change([&](std::vector<LevelBrick>& bricks) {
      std::erase_if(bricks, [&](const LevelBrick& b) { return !Inside(b); });
    });
  }
  return n;
}

bool LevelSetModel::Undo() {
  if (inStroke_) EndStroke();
  LevelSlot& s = Slot(level_);
  if (s.undo.empty()) return false;
  s.redo.push_back(std::move(s.bricks));
  s.bricks = std::move(s.undo.back());
  s.undo.pop_back();
  return true;
}

bool LevelSetModel::Redo() {
  if (inStroke_) EndStroke();
  LevelSlot& s = Slot(level_);
  if (s.redo.empty()) return false;
  s.undo.push_back(std::move(s.bricks));
  s.bricks = std::move(s.redo.back());
  s.redo.pop_back();
  return true;
}

bool LevelSetModel::Modified(int level) const {
  const LevelSlot& s = Slot(level);
  return s.bricks != s.saved;
}

std::vector<int> LevelSetModel::ModifiedLevels() const {
  std::vector<int> out;
  for (int n = 1; n <= kEditorLevels; ++n)
    if (Modified(n)) out.push_back(n);
  return out;
}

SaveResult LevelSetModel::Save(int level, std::string& error) {
  if (!ValidLevel(level)) {
    error = Format("No level %d in a set (levels are 1 to %d)", level, kEditorLevels);
    return SaveResult::Failed;
  }
  if (level == level_ && inStroke_) EndStroke();
  LevelSlot& s = Slot(level);
  if (s.bricks.empty()) return SaveResult::Empty;
  if (OutsideCount(level) > 0) return SaveResult::Unreachable;
  if (s.bricks.size() > static_cast<size_t>(kMaxLevelBricks)) return SaveResult::TooMany;
  try {
    WriteLevelFile(FilePath(level), s.bricks);
  } catch (const Exception& e) {
    error = e.what();
    return SaveResult::Failed;
  }
  s.saved = s.bricks;
  s.report = LevelReport{};
  return SaveResult::Saved;
}

}  // namespace game
