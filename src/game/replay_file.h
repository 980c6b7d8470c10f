// A replay file: a few lines of text naming the game, its rules, the files it read, its seed and
// its outcome, then the input tape compressed with zlib. The format is set out in docs/DESIGN.md.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace replay {

// The rules' version: raised by hand whenever a change makes the same input play differently,
// so that older replays are refused with a clear message instead of failing at some frame.
constexpr int kRulesVersion = 1;
// The game's version written into every replay.
constexpr const char* kGameVersion = "1.3";

struct FileCheck {
  std::string name;   // as the game names it (backslashes), or the level file's path
  uint32_t crc = 0;   // CRC-32 of its bytes
  uint64_t size = 0;  // its length; a file that is missing has size 0 and crc 0
  bool missing = false;
};

struct ReplayFile {
  std::string game = kGameVersion;
  int rules = kRulesVersion;
  uint32_t seed = 0;        // the random generator's seed when the game began
  bool cheats = false;      // cheat mode was on when the game began
  bool window = false;      // the game was shown in a window (not full screen) when it began
  std::string levelFolder;  // the level set's folder; "" for the shipped levels
  std::string when;         // UTC date and time the game ended, "2026-12-09 12:00:00"
  int32_t score = 0;
  int32_t level = 0;
  uint32_t frames = 0;
  uint64_t finalHash = 0;  // the game's state hash at its end
  std::vector<FileCheck> files;
  std::string tape;  // the input tape, uncompressed
};

// The file's bytes.
std::string EncodeReplay(const ReplayFile& r);
// Reads `bytes` into `out`; "" on success, else a one-line reason (English).
std::string DecodeReplay(const std::string& bytes, ReplayFile& out);

// The check of the file `name` (game notation, read through the game's data opener rules:
// relative to the working directory, backslashes mapped).
FileCheck CheckFile(const std::string& name);
// "" when every file of `r` is as it was recorded, else a message naming the first that differs.
std::string CompareFiles(const ReplayFile& r);
// "" when `r` was recorded by this game and rules, else the message refusing it.
std::string CompareVersion(const ReplayFile& r);

}  // namespace replay
