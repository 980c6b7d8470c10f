// Level files: "levels\levN.lev", the brick count, then column, row and type per brick.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace game {

struct LevelBrick {
  int32_t column = 0;
  int32_t row = 0;
  int32_t type = 1;  // 1..9 after the reading rules
  bool operator==(const LevelBrick&) const = default;
};

// A corrupt first line must not exhaust memory: no level holds more bricks than this.
constexpr int32_t kMaxLevelBricks = 4096;

// The stored name of level `n`'s file ("levels\lev" + n + ".lev").
std::string LevelFileName(int32_t n);
// The file of level `n` in the level folder `folder`: folder + "/lev" + n + ".lev"; an empty
// folder gives LevelFileName(n).
std::string LevelFileIn(const std::string& folder, int32_t n);

// Reads a level: a missing file is an empty level; missing numbers read 0 (a type-1 brick in
// column 0, row 0); type 0 and types outside 1..9 read as 1; counts beyond kMaxLevelBricks are
// cut. The result's size is the number of bricks to make.
std::vector<LevelBrick> ReadLevelFile(const std::string& path);
std::vector<LevelBrick> ParseLevel(const std::string& bytes);

// The file's bytes for `bricks` in the game's exact form: the count, then column, row and type of
// each brick in order, one decimal number per line, every line ended by CR LF. ParseLevel of the
// result gives `bricks` back when their types are 1..9.
std::string FormatLevel(const std::vector<LevelBrick>& bricks);
// Writes FormatLevel(bricks) to `path` safely (see WriteFileSafely); raises EFCreateError with the
// system's reason when it cannot, leaving the old file as it was.
void WriteLevelFile(const std::string& path, const std::vector<LevelBrick>& bricks);

}  // namespace game
