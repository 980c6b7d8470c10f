// The twenty committed level files: format, placement on the field, and the set as a whole.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "file_checks.h"

namespace {

using tools_test::Bytes;
using tools_test::ReadFile;

struct Brick {
  int column, row, type;
};

struct Level {
  std::vector<Brick> bricks;
  std::string error;
};

std::string LevelPath(const std::string& root, int n) {
  return root + "/levels/lev" + std::to_string(n) + ".lev";
}

// Reads a level strictly: CR LF after every line, one decimal integer per line, the count
// first and exactly three numbers per brick after it.
Level ParseLevel(const Bytes& b) {
  Level lv;
  std::vector<std::string> lines;
  std::string cur;
  for (size_t i = 0; i < b.size(); ++i) {
    if (b[i] == '\r') {
      if (i + 1 >= b.size() || b[i + 1] != '\n') {
        lv.error = "CR without LF";
        return lv;
      }
      lines.push_back(cur);
      cur.clear();
      ++i;
    } else if (b[i] == '\n') {
      lv.error = "LF without CR";
      return lv;
    } else {
      cur.push_back(char(b[i]));
    }
  }
  if (!cur.empty()) {
    lv.error = "last line has no CR LF";
    return lv;
  }
  std::vector<int> nums;
  for (const std::string& l : lines) {
    size_t pos = 0;
    int v = 0;
    try {
      v = std::stoi(l, &pos);
    } catch (...) {
      pos = 0;
    }
    if (l.empty() || pos != l.size()) {
      lv.error = "not an integer line: '" + l + "'";
      return lv;
    }
    nums.push_back(v);
  }
  if (nums.empty() || nums[0] <= 0 || nums.size() != size_t(1 + 3 * nums[0])) {
    lv.error = "count does not match the number of lines";
    return lv;
  }
  for (int k = 0; k < nums[0]; ++k)
    lv.bricks.push_back({nums[1 + 3 * k], nums[2 + 3 * k], nums[3 + 3 * k]});
  return lv;
}

std::vector<Level> AllLevels() {
  std::vector<Level> out;
  for (int n = 1; n <= 20; ++n) {
    auto b = ReadFile(LevelPath(KX_SOURCE_DIR, n));
    out.push_back(b ? ParseLevel(*b) : Level{{}, "missing"});
  }
  return out;
}

TEST(LevelFiles, EachParsesWithItsDeclaredBrickCount) {
  std::vector<Level> levels = AllLevels();
  for (int n = 1; n <= 20; ++n) {
    SCOPED_TRACE("lev" + std::to_string(n));
    EXPECT_EQ(levels[n - 1].error, "");
    EXPECT_FALSE(levels[n - 1].bricks.empty());
  }
}

TEST(LevelFiles, BricksLieInsideTheFieldAboveThePaddle) {
  // The game puts column c, row r of a 50 x 20 brick at (100 + 50c, 100 + 20r).
  std::vector<Level> levels = AllLevels();
  for (int n = 1; n <= 20; ++n)
    for (const Brick& b : levels[n - 1].bricks) {
      SCOPED_TRACE("lev" + std::to_string(n) + " column " + std::to_string(b.column) + " row " +
                   std::to_string(b.row));
      int x = 100 + 50 * b.column, y = 100 + 20 * b.row;
      EXPECT_GE(x, 0);
      EXPECT_LE(x + 50, 800);
      EXPECT_GE(y, 0);
      EXPECT_LE(y + 20, 400);
    }
}

TEST(LevelFiles, NoTwoBricksShareACell) {
  std::vector<Level> levels = AllLevels();
  for (int n = 1; n <= 20; ++n) {
    std::set<std::pair<int, int>> cells;
    for (const Brick& b : levels[n - 1].bricks)
      EXPECT_TRUE(cells.insert({b.column, b.row}).second)
          << "lev" << n << ": two bricks at column " << b.column << " row " << b.row;
  }
}

TEST(LevelFiles, EveryTypeHasItsPictureAndEveryTypeIsUsed) {
  std::vector<Level> levels = AllLevels();
  std::set<int> used;
  for (int n = 1; n <= 20; ++n)
    for (const Brick& b : levels[n - 1].bricks) {
      EXPECT_GE(b.type, 1) << "lev" << n;
      EXPECT_LE(b.type, 9) << "lev" << n;
      used.insert(b.type);
      // Frame 1 of every type is a file of its own in the data directory.
      std::string pic = std::string(KX_DATA_DIR) + "/kirp/" + std::to_string(b.type) + "1.bmp";
      EXPECT_TRUE(ReadFile(pic).has_value()) << pic;
    }
  EXPECT_EQ(used, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(LevelFiles, DifficultyRisesFromAGentleStartToADenseFinale) {
  std::vector<Level> levels = AllLevels();
  auto armour = [](const Level& l) {
    int k = 0;
    for (const Brick& b : l.bricks) k += b.type == 5;
    return k;
  };
  size_t first = levels.front().bricks.size(), last = levels.back().bricks.size();
  EXPECT_LE(first, 30u);
  EXPECT_EQ(armour(levels.front()), 0) << "the first level needs no second hits";
  for (const Level& l : levels) EXPECT_LE(l.bricks.size(), last) << "the last level is the densest";
  // The second half asks for more work on average than the first.
  size_t early = 0, late = 0;
  for (int n = 0; n < 10; ++n) early += levels[n].bricks.size() + armour(levels[n]);
  for (int n = 10; n < 20; ++n) late += levels[n].bricks.size() + armour(levels[n]);
  EXPECT_GT(late, early * 3 / 2);
}

TEST(LevelFiles, TheDataDirectoryHoldsExactCopies) {
  for (int n = 1; n <= 20; ++n) {
    auto src = ReadFile(LevelPath(KX_SOURCE_DIR, n));
    auto copy = ReadFile(LevelPath(KX_DATA_DIR, n));
    ASSERT_TRUE(src && copy) << "lev" << n;
    EXPECT_EQ(*src, *copy) << "lev" << n;
  }
}

}  // namespace
