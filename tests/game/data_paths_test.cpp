// Where the data and the records are found: the player's folder, the data directory search in its
// order, and the record table kept in the player's folder when the data is installed.
#include "game/data_paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "game/records.h"
#include "toolkit/errors.h"

namespace fs = std::filesystem;

namespace {

// A fresh directory of this test's own, removed afterwards.
class TempTree {
 public:
  TempTree() {
    std::string tmpl = (fs::temp_directory_path() / "kx_paths_XXXXXX").string();
    root_ = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
  }
  ~TempTree() {
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, ec);
    fs::remove_all(root_, ec);
  }
  std::string Path(const std::string& rel) const { return root_ + "/" + rel; }
  // A data directory: its levels and fon folders and a shipped record table.
  std::string MakeData(const std::string& rel, const std::string& table = "") const {
    fs::create_directories(Path(rel) + "/levels");
    fs::create_directories(Path(rel) + "/fon");
    if (!table.empty()) std::ofstream(Path(rel) + "/rec.kbx", std::ios::binary) << table;
    return Path(rel);
  }
  const std::string& Root() const { return root_; }

 private:
  std::string root_;
};

std::string ReadAll(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

const char kShipped[] = "Ann\r\n500\r\nBob\r\n400\r\nCid\r\n300\r\nDee\r\n200\r\nEve\r\n100\r\n";

// Puts the records back beside the data whatever a test did.
struct RecordPlaceReset {
  ~RecordPlaceReset() { game::UseRecordsBesideData(); }
};

}  // namespace

TEST(DataPaths, PlayerFolderFollowsXdgThenHome) {
  EXPECT_EQ(game::PlayerDataDirFor("/x/data", "/home/p"), "/x/data/kobaltix");
  EXPECT_EQ(game::PlayerDataDirFor("/x/data/", "/home/p"), "/x/data/kobaltix");
  EXPECT_EQ(game::PlayerDataDirFor("", "/home/p"), "/home/p/.local/share/kobaltix");
  EXPECT_EQ(game::PlayerDataDirFor("relative", "/home/p"), "/home/p/.local/share/kobaltix");
  EXPECT_EQ(game::PlayerDataDirFor("", ""), "");

  const char* oldXdg = std::getenv("XDG_DATA_HOME");
  const std::string savedXdg = oldXdg ? oldXdg : "";
  ::setenv("XDG_DATA_HOME", "/xdg/place", 1);
  EXPECT_EQ(game::PlayerDataDir(), "/xdg/place/kobaltix");
  if (oldXdg)
    ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
}

TEST(DataPaths, SearchOrderWorkingDirBuildTreeRelocatedInstallConfigured) {
  TempTree t;
  const std::string work = t.MakeData("work");
  const std::string build = t.MakeData("prefix/bin/data");
  const std::string share = t.MakeData("prefix/share/kobaltix");
  const std::string conf = t.MakeData("conf");
  const std::string bin = t.Path("prefix/bin");
  fs::create_directories(t.Path("empty"));

  auto s = game::FindDataDir("", work, bin, conf);
  EXPECT_EQ(s.dir, work);
  EXPECT_FALSE(s.installed);
  s = game::FindDataDir("", t.Path("empty"), bin, conf);
  EXPECT_EQ(s.dir, build);
  EXPECT_FALSE(s.installed);
  fs::remove_all(build);
  s = game::FindDataDir("", t.Path("empty"), bin, conf);
  EXPECT_EQ(s.dir, share);
  EXPECT_TRUE(s.installed);
  fs::remove_all(share);
  s = game::FindDataDir("", t.Path("empty"), bin, conf);
  EXPECT_EQ(s.dir, conf);
  EXPECT_TRUE(s.installed);
  EXPECT_EQ(s.tried.size(), 4u);

  // A directory named on the command line is the only place looked at.
  s = game::FindDataDir(t.Path("empty") + "/", work, bin, conf);
  EXPECT_EQ(s.dir, "");
  ASSERT_EQ(s.tried.size(), 1u);
  EXPECT_EQ(s.tried[0], t.Path("empty"));
  EXPECT_EQ(game::FindDataDir(work, t.Path("empty"), bin, "").dir, work);
}

TEST(DataPaths, NothingFoundListsEveryPlace) {
  TempTree t;
  fs::create_directories(t.Path("only_levels/levels"));
  EXPECT_FALSE(game::HoldsGameData(t.Path("only_levels")));
  auto s = game::FindDataDir("", t.Path("only_levels"), t.Path("bin"), t.Path("conf"));
  EXPECT_EQ(s.dir, "");
  const std::string m = game::DataNotFoundMessage(s);
  for (const std::string& p :
       {t.Path("only_levels"), t.Path("bin/data"), t.Path("share/kobaltix"), t.Path("conf")})
    EXPECT_NE(m.find("  " + p + "\n"), std::string::npos) << p << " missing from:\n" << m;
  EXPECT_NE(m.find("--data"), std::string::npos);
}

TEST(DataPaths, InstalledDataKeepsEachPlayersTableInTheirFolder) {
  TempTree t;
  RecordPlaceReset reset;
  const std::string data = t.MakeData("share/kobaltix", kShipped);
  const std::string anna = t.Path("anna/.local/share/kobaltix");
  const std::string boris = t.Path("boris/.local/share/kobaltix");
  game::DataDirSearch found;
  found.dir = data;
  found.installed = true;

  game::ChooseRecordPlace(found, anna);
  const std::string annaFile = game::RecordFile();
  EXPECT_EQ(annaFile, anna + "/rec.kbx");
  EXPECT_EQ(ReadAll(annaFile), kShipped);  // created from the shipped table on first use
  game::RecordTable table = game::ReadRecordFile(annaFile);
  game::InsertRecord(table, 1, "Anna", 900);
  game::WriteRecordFile(game::RecordFile(), table);
  EXPECT_EQ(game::ReadRecordFile(game::RecordFile()).names[0], "Anna");  // not copied again

  game::ChooseRecordPlace(found, boris);
  EXPECT_EQ(game::ReadRecordFile(game::RecordFile()).names[0], "Ann");
  EXPECT_EQ(ReadAll(data + "/rec.kbx"), kShipped);
  EXPECT_EQ(game::ReadRecordFile(annaFile).names[0], "Anna");
}

TEST(DataPaths, WritableDataKeepsTheTableBesideIt) {
  TempTree t;
  RecordPlaceReset reset;
  game::DataDirSearch found;
  found.dir = t.MakeData("data", kShipped);
  game::ChooseRecordPlace(found, t.Path("home/kobaltix"));
  EXPECT_EQ(game::RecordFile(), "rec.kbx");
  EXPECT_FALSE(fs::exists(t.Path("home")));

  // With no place for a player's folder the table stays beside even installed data.
  found.installed = true;
  game::ChooseRecordPlace(found, "");
  EXPECT_EQ(game::RecordFile(), "rec.kbx");

  // A data directory this process cannot write (root may write anywhere: not checked as root).
  if (::geteuid() != 0) {
    found.installed = false;
    ::chmod(found.dir.c_str(), 0555);
    game::ChooseRecordPlace(found, t.Path("home/kobaltix"));
    EXPECT_EQ(game::RecordFile(), t.Path("home/kobaltix/rec.kbx"));
    ::chmod(found.dir.c_str(), 0755);
  }
}

TEST(DataPaths, AnUnwritablePlayerFolderGivesTheUsualError) {
  TempTree t;
  RecordPlaceReset reset;
  game::UseRecordsInPlayerDir(t.Path("file/kobaltix"), t.MakeData("data", kShipped) + "/rec.kbx");
  std::ofstream(t.Path("file"), std::ios::binary) << "not a folder";
  const std::string f = game::RecordFile();
  EXPECT_EQ(f, t.Path("file/kobaltix/rec.kbx"));
  EXPECT_THROW(game::WriteRecordFile(f, game::RecordTable{}), EFCreateError);
}

// A new level set's table starts as the clean one that ships with the game: the installed data's
// table, or in a build tree the one made for the install, never the build's data folder's table
// (the developer's own scores); without either it starts empty.
TEST(DataPaths, ANewSetStartsFromTheShippedTableNotTheDevelopersScores) {
  TempTree t;
  RecordPlaceReset reset;
  const char kDeveloper[] = "Dev\r\n99999\r\n\r\n0\r\n\r\n0\r\n\r\n0\r\n\r\n0\r\n";
  game::DataDirSearch build;
  build.dir = t.MakeData("build/data", kDeveloper);
  std::ofstream(t.Path("clean.kbx"), std::ios::binary) << kShipped;
  EXPECT_EQ(game::ShippedRecordTableFor(build, t.Path("clean.kbx")), t.Path("clean.kbx"));
  EXPECT_EQ(game::ShippedRecordTableFor(build, t.Path("gone.kbx")), "");
  game::DataDirSearch installed = build;
  installed.installed = true;
  EXPECT_EQ(game::ShippedRecordTableFor(installed, t.Path("clean.kbx")), build.dir + "/rec.kbx");

  fs::create_directories(t.Path("set"));
  game::UseRecordsInPlayerDir(t.Path("set"),
                              game::ShippedRecordTableFor(build, t.Path("clean.kbx")));
  EXPECT_EQ(ReadAll(game::RecordFile()), kShipped);
  fs::create_directories(t.Path("set2"));
  game::UseRecordsInPlayerDir(t.Path("set2"), game::ShippedRecordTableFor(build, ""));
  EXPECT_EQ(game::ReadRecordFile(game::RecordFile()).scores[0], 0);
  EXPECT_EQ(game::ReadRecordFile(game::RecordFile()).names[0], "");
}
