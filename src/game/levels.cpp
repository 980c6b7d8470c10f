#include "game/levels.h"

#include "game/safe_file.h"
#include "game/textfile.h"

namespace game {

std::string LevelFileName(int32_t n) { return "levels\\lev" + std::to_string(n) + ".lev"; }

std::string LevelFileIn(const std::string& folder, int32_t n) {
  if (folder.empty()) return LevelFileName(n);
  std::string path = folder;
  if (path.back() != '/') path.push_back('/');
  return path + "lev" + std::to_string(n) + ".lev";
}

namespace {
std::vector<LevelBrick> ReadBricks(TextFileReader& in) {
  int32_t count = in.ReadNumber();
  std::vector<LevelBrick> bricks;
  if (count <= 0) return bricks;
  if (count > kMaxLevelBricks) count = kMaxLevelBricks;
  bricks.reserve(static_cast<size_t>(count));
  for (int32_t k = 0; k < count; ++k) {
    LevelBrick b;
    b.column = in.ReadNumber();
    b.row = in.ReadNumber();
    b.type = in.ReadNumber();
    // Type 0 has always meant a plain brick; an unknown type would fail the picture lookup half
    // way through the set-up and leave a level that can never be completed, so it is plain too.
    if (b.type < 1 || b.type > 9) b.type = 1;
    bricks.push_back(b);
  }
  return bricks;
}
}  // namespace

std::vector<LevelBrick> ReadLevelFile(const std::string& path) {
  TextFileReader in = TextFileReader::Open(path);
  return ReadBricks(in);
}

std::vector<LevelBrick> ParseLevel(const std::string& bytes) {
  TextFileReader in(bytes);
  return ReadBricks(in);
}

std::string FormatLevel(const std::vector<LevelBrick>& bricks) {
  std::string out;
  auto line = [&out](int32_t v) {
    out += std::to_string(v);
    out += "\r\n";
  };
  line(static_cast<int32_t>(bricks.size()));
  for (const LevelBrick& b : bricks) {
    line(b.column);
    line(b.row);
    line(b.type);
  }
  return out;
}

void WriteLevelFile(const std::string& path, const std::vector<LevelBrick>& bricks) {
  WriteFileSafely(path, FormatLevel(bricks));
}

}  // namespace game
