// Where the game's files live: its data directory (pictures, sounds, music, levels and the shipped
// record table), the player's own folder, and the record file the menu and the score entry use.
#pragma once

#include <string>
#include <vector>

namespace game {

// ---- the player's own folder

// $XDG_DATA_HOME/kobaltix, or $HOME/.local/share/kobaltix when XDG_DATA_HOME is unset, empty or
// not an absolute path; "" when neither gives a place.
std::string PlayerDataDirFor(const std::string& xdgDataHome, const std::string& home);
// PlayerDataDirFor with this process's XDG_DATA_HOME and HOME.
std::string PlayerDataDir();

// ---- the data directory

// True when `dir` holds the game's data (its "levels" and "fon" folders).
bool HoldsGameData(const std::string& dir);

// The installed data directory the build was configured with (<datadir>/kobaltix).
std::string ConfiguredDataDir();

struct DataDirSearch {
  std::string dir;                 // the data directory found (absolute), "" when none holds it
  bool installed = false;          // found at an installed place (shared, read-only data)
  std::vector<std::string> tried;  // every place looked at, in order
};

// Finds the data directory. A `given` directory (--data) is the only place looked at. Otherwise:
// `workingDir`, then beside the program (`programDir`/data, the build tree), then relative to the
// program (`programDir`/../share/kobaltix, an installed or relocated tree), then `configuredDir`.
// The last two count as installed. Empty places are skipped.
DataDirSearch FindDataDir(const std::string& given, const std::string& workingDir,
                          const std::string& programDir, const std::string& configuredDir);

// The message for a search that found nothing: what is missing and every place looked at.
std::string DataNotFoundMessage(const DataDirSearch& search);

// ---- the record file

// Records beside the data: "rec.kbx" in the working directory (the data directory). The default.
void UseRecordsBesideData();
// Records in `playerDir`/rec.kbx, created on first use from the table at `shippedTable`.
void UseRecordsInPlayerDir(const std::string& playerDir, const std::string& shippedTable);
// Chooses the place for a data directory found by FindDataDir (now the working directory):
// installed data, or a data directory this process cannot write, keeps the table in `playerDir`
// (when it is not ""); otherwise the table stays beside the data.
void ChooseRecordPlace(const DataDirSearch& found, const std::string& playerDir);

// The clean record table that ships with the game, which a new table (the player's own, a level
// set's) starts from: in installed data its rec.kbx; otherwise (a build tree, whose data folder
// holds the developer's own scores) the table the build made for the install, `buildTable`, when
// it is there, else "" (a new table then starts empty).
std::string ShippedRecordTableFor(const DataDirSearch& found, const std::string& buildTable);
// ShippedRecordTableFor with the table this build made.
std::string ShippedRecordTable(const DataDirSearch& found);

// The record file to read and write. In the player's folder a missing file is first created
// (folder included) from the shipped table; when that cannot be done the path is still returned
// and writing it raises the usual error.
std::string RecordFile();

}  // namespace game
