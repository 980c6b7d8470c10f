#include "game/data_paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "game/records.h"
#include "platform/paths.h"
#include "toolkit/errors.h"

#ifndef KX_INSTALL_DATADIR
#define KX_INSTALL_DATADIR "/usr/local/share/kobaltix"
#endif
#ifndef KX_BUILD_RECORD_TABLE
#define KX_BUILD_RECORD_TABLE ""
#endif

namespace fs = std::filesystem;

namespace game {

namespace {

std::string EnvOrEmpty(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

bool IsDir(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

std::string Normal(const fs::path& p) {
  std::error_code ec;
  fs::path abs = fs::absolute(p, ec);
  if (ec) abs = p;
  std::string s = abs.lexically_normal().string();
  // "/a/b/" and "/a/b" are the same place; the message and the comparisons use the short form.
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

// Where the records live: empty `playerFile` means "rec.kbx" beside the data.
struct RecordPlace {
  std::string playerDir;
  std::string playerFile;
  std::string shippedTable;
};
RecordPlace gRecordPlace;

}  // namespace

std::string PlayerDataDirFor(const std::string& xdgDataHome, const std::string& home) {
  // A relative XDG_DATA_HOME is invalid by the base-directory rules and is ignored.
  if (!xdgDataHome.empty() && xdgDataHome.front() == '/') return Normal(xdgDataHome) + "/kobaltix";
  if (!home.empty()) return Normal(fs::path(home) / ".local/share") + "/kobaltix";
  return {};
}

std::string PlayerDataDir() {
  return PlayerDataDirFor(EnvOrEmpty("XDG_DATA_HOME"), EnvOrEmpty("HOME"));
}

bool HoldsGameData(const std::string& dir) {
  if (dir.empty()) return false;
  return IsDir(fs::path(dir) / "levels") && IsDir(fs::path(dir) / "fon");
}

std::string ConfiguredDataDir() { return KX_INSTALL_DATADIR; }

DataDirSearch FindDataDir(const std::string& given, const std::string& workingDir,
                          const std::string& programDir, const std::string& configuredDir) {
  DataDirSearch s;
  auto look = [&s](const std::string& place, bool installed) {
    if (place.empty() || !s.dir.empty()) return;
    const std::string p = Normal(place);
    s.tried.push_back(p);
    if (HoldsGameData(p)) {
      s.dir = p;
      s.installed = installed;
    }
  };
  if (!given.empty()) {
    look(given, false);
    return s;
  }
  look(workingDir, false);
  if (!programDir.empty()) {
    look((fs::path(programDir) / "data").string(), false);
    look((fs::path(programDir) / ".." / "share" / "kobaltix").string(), true);
  }
  look(configuredDir, true);
  return s;
}

std::string DataNotFoundMessage(const DataDirSearch& search) {
  std::string m =
      "kobaltix: the game's data (its levels and fon folders) was not found.\nLooked in:\n";
  for (const std::string& p : search.tried) m += "  " + p + "\n";
  m += "Start the game from its data directory or name it with --data DIR.\n";
  return m;
}

void UseRecordsBesideData() { gRecordPlace = RecordPlace{}; }

void UseRecordsInPlayerDir(const std::string& playerDir, const std::string& shippedTable) {
  gRecordPlace.playerDir = playerDir;
  gRecordPlace.playerFile = playerDir + "/rec.kbx";
  gRecordPlace.shippedTable = shippedTable;
}

void ChooseRecordPlace(const DataDirSearch& found, const std::string& playerDir) {
  // Installed data is shared by every player of the machine and belongs to the package manager,
  // so each player keeps a table of their own even when this process could write there.
  const bool shared = found.installed || !platform::CanWriteDir(found.dir);
  if (shared && !playerDir.empty())
    UseRecordsInPlayerDir(playerDir, found.dir + "/rec.kbx");
  else
    UseRecordsBesideData();
}

std::string ShippedRecordTableFor(const DataDirSearch& found, const std::string& buildTable) {
  if (found.installed) return found.dir + "/rec.kbx";
  std::error_code ec;
  if (!buildTable.empty() && fs::is_regular_file(buildTable, ec)) return buildTable;
  return {};
}

std::string ShippedRecordTable(const DataDirSearch& found) {
  return ShippedRecordTableFor(found, KX_BUILD_RECORD_TABLE);
}

std::string RecordFile() {
  if (gRecordPlace.playerFile.empty()) return "rec.kbx";
  std::error_code ec;
  if (!fs::exists(gRecordPlace.playerFile, ec)) {
    fs::create_directories(gRecordPlace.playerDir, ec);
    // The copy goes through the same safe rewrite as every later save. A failure is left for
    // the save to report: the menu meanwhile reads the missing file as an empty table.
    try {
      const RecordTable first = gRecordPlace.shippedTable.empty()
                                    ? RecordTable{}
                                    : ReadRecordFile(gRecordPlace.shippedTable);
      WriteRecordFile(gRecordPlace.playerFile, first);
    } catch (const Exception&) {
    }
  }
  return gRecordPlace.playerFile;
}

}  // namespace game
