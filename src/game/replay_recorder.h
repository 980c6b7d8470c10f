// Recording every game: the recorder follows each game played in the main window and, when it is
// over, writes its replay into the player's replay folder; the folder's upkeep (names, the newest
// games kept, the replays of the record table) lives here too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game/replay_file.h"
#include "game/replay_tape.h"
#include "game/window_mode.h"

namespace replay {

// A hash of what the game's rules act on: the game's variables, the random generator's seed and
// every sprite of the tree (its kind, position, size, picture and the kind's own fields).
uint64_t GameStateHash();

// The folder the replays of `levelFolder` go to: $XDG_DATA_HOME/kobaltix/replays, and for a level
// set a folder inside it named after the set's folder. "" when there is no place.
std::string ReplayFolder(const std::string& levelFolder);
// "2026-12-09_12-00-00_1234.kbr": UTC date and time of the game's end, then its score.
std::string ReplayName(const std::string& when, int32_t score);
// The replay kept for each rank of the record table, from the index beside the replays ("" for
// none); always five entries.
std::vector<std::string> ReadRecordIndex(const std::string& folder);
// A new record entered at `rank` (1..5) moves the ranks below it down, as the table does.
void EnterRecord(const std::string& folder, int rank, const std::string& replayName);
// Removes all but the newest `keep` replays of `folder` and those of the record index.
void PruneReplays(const std::string& folder, size_t keep = 100);

class TReplayRecorder : public TGameFollower {
 public:
  // Records into `tape` (installed around the platform); the replays of `levelFolder`'s games
  // go to ReplayFolder(levelFolder).
  TReplayRecorder(Tape& tape, std::string levelFolder);

  void GameStarting() override;
  void FrameDone() override;
  void GameEnded() override;
  void ScoreEntryClosed(int rank) override;
  bool Replaying() const override { return false; }
  // The menu's notice (Russian, through Tr), shown until the next game starts: the folder
  // cannot be written, so games are not recorded. "" when there is nothing to say.
  std::string MenuNotice() const override;
  // Replaces the notice with `text` (UTF-8) until the next game starts; "" removes it.
  void SetNotice(std::string text) { notice_ = std::move(text); }
  // The file the last game was written to ("" when none was).
  const std::string& LastFile() const { return lastFile_; }

 private:
  Tape& tape_;
  std::string levelFolder_;
  std::string folder_;
  ReplayFile file_;
  std::string lastFile_;
  bool notWritable_ = false;
  bool noticeShown_ = false;
  std::string notice_;
};

}  // namespace replay
