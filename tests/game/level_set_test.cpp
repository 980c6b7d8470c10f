// The level writer, the editor's model of a level set and the level-set folders, without any
// window: exact bytes, the cells a brick may take, edits with undo and redo per level, and
// saving, including over damaged files and into a folder that cannot be written.
#include "game/level_set.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "game/command_line.h"
#include "game/editor_model.h"
#include "game/levels.h"
#include "game/textfile.h"
#include "support/temp_files.h"

namespace fs = std::filesystem;
using game::CellRule;
using game::LevelBrick;
using game::LevelSetModel;
using game::SaveResult;

namespace {

std::string ReadBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void WriteBytes(const fs::path& p, const std::string& b) {
  std::ofstream(p, std::ios::binary) << b;
}

// A private folder holding a copy of the twenty shipped levels.
class SetFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "kx_set_XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    root = tmpl;
    set = root / "set";
    fs::create_directory(set);
    for (int n = 1; n <= 20; ++n) fs::copy_file(Shipped(n), set / Name(n));
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(set, fs::perms::owner_all, ec);
    fs::remove_all(root, ec);
  }
  static std::string Name(int n) { return "lev" + std::to_string(n) + ".lev"; }
  static fs::path Shipped(int n) { return fs::path(KX_SOURCE_DIR) / "levels" / Name(n); }

  fs::path root, set;
};

}  // namespace

TEST(LevelWriter, WritesTheGamesExactForm) {
  // Two bricks: a type-1 brick in column 0 of row 0, a type-4 brick in column 13 of row 0.
  EXPECT_EQ(game::FormatLevel({{0, 0, 1}, {13, 0, 4}}), "2\r\n0\r\n0\r\n1\r\n13\r\n0\r\n4\r\n");
  EXPECT_EQ(game::FormatLevel({{-2, 20, 9}}), "1\r\n-2\r\n20\r\n9\r\n");
  EXPECT_EQ(game::FormatLevel({}), "0\r\n");
}

TEST(LevelWriter, EveryShippedLevelComesBackByteForByte) {
  for (int n = 1; n <= 20; ++n) {
    const std::string bytes =
        ReadBytes(fs::path(KX_SOURCE_DIR) / "levels" / ("lev" + std::to_string(n) + ".lev"));
    ASSERT_FALSE(bytes.empty()) << n;
    EXPECT_EQ(game::FormatLevel(game::ParseLevel(bytes)), bytes) << "level " << n;
  }
}

TEST_F(SetFolder, OpeningAndSavingTheShippedSetChangesNoByte) {
  LevelSetModel m;
  m.Open(set.string());
  for (int n = 1; n <= 20; ++n) {
    EXPECT_FALSE(m.Report(n).missing || m.Report(n).inexact || m.Report(n).outside) << n;
    std::string error;
    ASSERT_EQ(m.Save(n, error), SaveResult::Saved) << n << error;
    EXPECT_EQ(ReadBytes(set / Name(n)), ReadBytes(Shipped(n))) << "level " << n;
  }
  EXPECT_FALSE(TempFileBeside(set / "lev1.lev"));
}

TEST(LevelSetModelRules, CellsInsideTheFrameAndAboveThePaddleLine) {
  LevelSetModel m(800, 600, 530);
  EXPECT_EQ(m.Rule(0, 0), CellRule::Free);
  EXPECT_EQ(m.Rule(-2, 0), CellRule::Free);   // x = 0
  EXPECT_EQ(m.Rule(13, 20), CellRule::Free);  // x = 750..800, y = 500..520
  EXPECT_EQ(m.Rule(-3, 5), CellRule::OutsideField);
  EXPECT_EQ(m.Rule(14, 5), CellRule::OutsideField);
  EXPECT_EQ(m.Rule(0, 25), CellRule::OutsideField);  // y = 600
  EXPECT_EQ(m.Rule(0, 21), CellRule::PaddleZone);    // y = 520..540 meets the paddle at 530
  EXPECT_EQ(m.Rule(0, 24), CellRule::PaddleZone);
  EXPECT_EQ(m.Rule(0, -1), CellRule::AboveField);
  EXPECT_EQ(m.Rule(2147483647, -2147483647 - 1), CellRule::OutsideField);
  int c = 0, r = 0;
  game::CellAt(99, 99, c, r);
  EXPECT_EQ(c, -1);
  EXPECT_EQ(r, -1);
  game::CellAt(225, 170, c, r);
  EXPECT_EQ(c, 2);
  EXPECT_EQ(r, 3);
}

TEST_F(SetFolder, PlaceReplaceEraseAndUndoStayWithTheirLevel) {
  LevelSetModel m;
  m.Open(set.string());
  const auto level1 = m.Bricks(1);
  const auto level2 = m.Bricks(2);
  // Level 1 holds a brick in column 3, row 2 (its first brick) and nothing in column 0, row 10.
  ASSERT_EQ(m.TypeAt(0, 10), 0);
  const int first = m.TypeAt(3, 2);
  ASSERT_NE(first, 0);

  EXPECT_EQ(m.Place(0, 10, 7), CellRule::Free);
  EXPECT_EQ(m.TypeAt(0, 10), 7);
  EXPECT_EQ(m.Place(3, 2, 9), CellRule::Free);  // replaces in place: still the first brick
  EXPECT_EQ(m.Bricks()[0], (LevelBrick{3, 2, 9}));
  EXPECT_EQ(m.Bricks().size(), level1.size() + 1);
  EXPECT_EQ(m.Place(0, 21, 1), CellRule::PaddleZone);
  EXPECT_EQ(m.Bricks().size(), level1.size() + 1);
  EXPECT_TRUE(m.Modified(1));
  EXPECT_FALSE(m.Modified(2));

  m.SetLevel(2);
  m.BeginStroke();  // one drag: three cells, one step
  for (int c = 0; c < 3; ++c) m.Erase(c, 11), m.Place(c, 11, 5);
  m.EndStroke();
  EXPECT_EQ(m.Bricks().size(), level2.size() + 3);
  EXPECT_EQ(m.ModifiedLevels(), (std::vector<int>{1, 2}));
  EXPECT_TRUE(m.Undo());
  EXPECT_EQ(m.Bricks(), level2);
  EXPECT_FALSE(m.Undo());
  EXPECT_EQ(m.Bricks(1).size(), level1.size() + 1);  // level 1 untouched by level 2's undo

  m.SetLevel(1);
  EXPECT_TRUE(m.Undo());
  EXPECT_EQ(m.TypeAt(3, 2), first);
  EXPECT_TRUE(m.Redo());
  EXPECT_EQ(m.TypeAt(3, 2), 9);
  EXPECT_TRUE(m.Erase(3, 2));
  EXPECT_FALSE(m.Erase(3, 2));
  EXPECT_FALSE(m.Redo());  // a new change drops what could be redone
  EXPECT_TRUE(m.Undo());
  EXPECT_TRUE(m.Undo());
  EXPECT_TRUE(m.Undo());
  EXPECT_EQ(m.Bricks(), level1);
  EXPECT_FALSE(m.Modified(1));  // back where the file was
}

TEST_F(SetFolder, SaveWritesWhatTheGamesReaderReadsBack) {
  LevelSetModel m;
  m.Open(set.string());
  m.SetLevel(4);
  m.Place(-2, 0, 3);
  m.Place(13, 20, 6);
  std::string error;
  ASSERT_EQ(m.Save(4, error), SaveResult::Saved) << error;
  EXPECT_FALSE(m.Modified(4));
  EXPECT_EQ(game::ReadLevelFile((set / "lev4.lev").string()), m.Bricks(4));
  EXPECT_EQ(ReadBytes(set / "lev4.lev"), game::FormatLevel(m.Bricks(4)));
}

TEST_F(SetFolder, ALevelThatCouldNeverBeCompletedIsNotSaved) {
  WriteBytes(set / "lev5.lev", "2\r\n40\r\n0\r\n1\r\n1\r\n1\r\n1\r\n");  // column 40 is off screen
  LevelSetModel m;
  m.Open(set.string());
  const std::string before = ReadBytes(set / "lev5.lev");
  EXPECT_EQ(m.Report(5).outside, 1);
  std::string error;
  EXPECT_EQ(m.Save(5, error), SaveResult::Unreachable);
  m.SetLevel(5);
  EXPECT_EQ(m.DropOutside(), 1);
  EXPECT_EQ(m.Save(5, error), SaveResult::Saved);
  EXPECT_EQ(ReadBytes(set / "lev5.lev"), "1\r\n1\r\n1\r\n1\r\n");
  EXPECT_NE(before, ReadBytes(set / "lev5.lev"));

  m.SetLevel(6);
  for (const LevelBrick& b : std::vector<LevelBrick>(m.Bricks())) m.Erase(b.column, b.row);
  EXPECT_TRUE(m.Bricks().empty());
  EXPECT_EQ(m.Save(6, error), SaveResult::Empty);
  EXPECT_EQ(ReadBytes(set / "lev6.lev"), ReadBytes(Shipped(6)));
}

TEST_F(SetFolder, DamagedFilesOpenAsTheReaderReadsThemWithAReport) {
  fs::remove(set / "lev1.lev");
  WriteBytes(set / "lev2.lev", "3 bricks\n1\n1\n2\n");           // LF only, a word, a short file
  WriteBytes(set / "lev3.lev", std::string("\x01\xff\x1a", 3));  // binary garbage
  WriteBytes(set / "lev4.lev", "99999999999\r\n");               // an invalid count reads 0
  WriteBytes(set / "lev7.lev", "4096\r\n");                      // a count promising 4096 bricks
  LevelSetModel m;
  m.Open(set.string());
  EXPECT_TRUE(m.Report(1).missing);
  EXPECT_TRUE(m.Bricks(1).empty());
  EXPECT_TRUE(m.Report(2).inexact);
  EXPECT_EQ(m.Bricks(2), (std::vector<LevelBrick>{{1, 1, 2}, {0, 0, 1}, {0, 0, 1}}));
  EXPECT_TRUE(m.Report(3).inexact);
  EXPECT_TRUE(m.Report(4).inexact);
  EXPECT_EQ(m.Bricks(7).size(), 4096u);  // every missing brick is a type-1 brick in 0, 0
  EXPECT_FALSE(m.Report(8).inexact);
  m.SetLevel(7);
  EXPECT_EQ(m.Place(0, 0, 8), CellRule::Free);  // one brick replaces all of the cell
  EXPECT_EQ(m.Bricks().size(), 1u);
  std::string error;
  EXPECT_EQ(m.Save(7, error), SaveResult::Saved);
  EXPECT_EQ(ReadBytes(set / "lev7.lev"), "1\r\n0\r\n0\r\n8\r\n");
}

TEST_F(SetFolder, AReadOnlyFolderReportsTheSystemsReasonAndLosesNothing) {
  LevelSetModel m;
  m.Open(set.string());
  m.Place(0, 15, 2);
  fs::permissions(set, fs::perms::owner_read | fs::perms::owner_exec);
  std::string error;
  EXPECT_EQ(m.Save(1, error), SaveResult::Failed);
  EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
  EXPECT_NE(error.find("lev1.lev"), std::string::npos) << error;
  EXPECT_TRUE(m.Modified(1));  // the edit is still there to save elsewhere or later
  EXPECT_EQ(m.TypeAt(0, 15), 2);
  EXPECT_EQ(ReadBytes(set / "lev1.lev"), ReadBytes(Shipped(1)));
  EXPECT_FALSE(TempFileBeside(set / "lev1.lev"));
  fs::permissions(set, fs::perms::owner_all);
  EXPECT_EQ(m.Save(1, error), SaveResult::Saved);
}

TEST_F(SetFolder, ANamedSetIsMadeFromTheShippedLevelsOnFirstUseOnly) {
  ::setenv("XDG_DATA_HOME", (root / "home").c_str(), 1);
  const std::string folder = game::SetFolderFor("mine");
  EXPECT_EQ(folder, (root / "home" / "kobaltix" / "sets" / "mine").string());
  EXPECT_EQ(game::SetFolderFor("./here"), "./here");
  EXPECT_FALSE(game::ValidSetName(".."));
  EXPECT_FALSE(game::ValidSetName(""));
  std::string error;
  ASSERT_TRUE(game::EnsureLevelSet(folder, set.string(), error)) << error;
  for (int n = 1; n <= 20; ++n)
    EXPECT_EQ(ReadBytes(fs::path(folder) / Name(n)), ReadBytes(Shipped(n)));
  WriteBytes(fs::path(folder) / "lev1.lev", "1\r\n0\r\n0\r\n1\r\n");
  fs::remove(fs::path(folder) / "lev2.lev");
  ASSERT_TRUE(game::EnsureLevelSet(folder, set.string(), error));
  EXPECT_EQ(ReadBytes(fs::path(folder) / "lev1.lev"), "1\r\n0\r\n0\r\n1\r\n");  // kept
  EXPECT_FALSE(fs::exists(fs::path(folder) / "lev2.lev"));  // a set is never filled up again
  ::unsetenv("XDG_DATA_HOME");
}

TEST_F(SetFolder, LevelsOutsideTheSetAndTypesOutsideOneToNineAreRefused) {
  LevelSetModel m;
  m.Open(set.string());
  for (int level : {0, 21, -1}) {
    EXPECT_TRUE(m.Bricks(level).empty()) << level;
    EXPECT_FALSE(m.Report(level).missing || m.Report(level).inexact) << level;
    EXPECT_FALSE(m.Modified(level)) << level;
    EXPECT_EQ(m.OutsideCount(level), 0) << level;
    std::string error;
    EXPECT_EQ(m.Save(level, error), SaveResult::Failed) << level;
    EXPECT_NE(error.find("No level"), std::string::npos) << error;
  }
  EXPECT_FALSE(fs::exists(set / "lev0.lev"));
  EXPECT_FALSE(fs::exists(set / "lev21.lev"));
  const auto before = m.Bricks();
  for (int type : {0, 10, -3}) {
    EXPECT_EQ(m.Place(0, 19, type), CellRule::NoSuchType) << type;
    EXPECT_EQ(m.Place(-3, 5, type), CellRule::NoSuchType) << type;  // the type is told first
  }
  EXPECT_EQ(m.Bricks(), before);
  EXPECT_FALSE(m.Modified(1));
  EXPECT_FALSE(m.CanUndo());
  EXPECT_EQ(m.Place(0, 19, 9), CellRule::Free);
  EXPECT_EQ(m.TypeAt(0, 19), 9);
}

// A folder the system names may hold a backslash in a name: it is a folder's name, never a
// separator, while the game's own stored names still use it.
TEST_F(SetFolder, ABackslashInAFoldersNameIsNoSeparator) {
  EXPECT_FALSE(game::ValidSetName("a\\b"));
  EXPECT_TRUE(game::ValidSetName("a b"));
  EXPECT_EQ(game::NativePath("levels\\lev1.lev"), "levels/lev1.lev");
  EXPECT_EQ(game::NativePath("/home/a\\b/sets/x/lev1.lev"), "/home/a\\b/sets/x/lev1.lev");
  EXPECT_EQ(game::NativePath("/data/x\\y/levels\\lev1.lev"), "/data/x\\y/levels/lev1.lev");
  const fs::path odd = root / "a\\b";
  fs::create_directory(odd);
  fs::copy_file(set / "lev1.lev", odd / "lev1.lev");
  EXPECT_TRUE(game::HoldsLevelSet(odd.string()));
  LevelSetModel m;
  m.Open(odd.string());
  EXPECT_FALSE(m.Report(1).missing);
  EXPECT_EQ(m.Bricks(), game::ParseLevel(ReadBytes(set / "lev1.lev")));
  m.Place(0, 19, 2);
  std::string error;
  ASSERT_EQ(m.Save(1, error), SaveResult::Saved) << error;
  EXPECT_EQ(game::ReadLevelFile((odd / "lev1.lev").string()), m.Bricks());
  EXPECT_FALSE(fs::exists(root / "a"));  // nothing was made where a separator would have led
}

TEST(LevelSetCommandLine, EditTakesAnOptionalSetAndLevelsARequiredOne) {
  game::CommandLine none;
  EXPECT_EQ(game::ParseCommandLine({"--window"}, none), "");
  EXPECT_FALSE(none.edit);
  EXPECT_EQ(none.levels, "");

  game::CommandLine e;
  EXPECT_EQ(game::ParseCommandLine({"--edit", "--window"}, e), "");
  EXPECT_TRUE(e.edit);
  EXPECT_EQ(e.editSet, "mine");
  EXPECT_TRUE(e.window);
  game::CommandLine named;
  EXPECT_EQ(game::ParseCommandLine({"--edit", "castles"}, named), "");
  EXPECT_EQ(named.editSet, "castles");
  game::CommandLine inlined;
  EXPECT_EQ(game::ParseCommandLine({"--edit=./my levels"}, inlined), "");
  EXPECT_EQ(inlined.editSet, "./my levels");

  game::CommandLine l;
  EXPECT_EQ(game::ParseCommandLine({"--levels", "castles"}, l), "");
  EXPECT_EQ(l.levels, "castles");
  EXPECT_FALSE(l.edit);
  EXPECT_EQ(game::ParseCommandLine({"--levels"}, l), "option --levels needs a value");
  game::CommandLine both;
  EXPECT_NE(game::ParseCommandLine({"--edit", "--levels", "x"}, both), "");
  const std::string usage = game::UsageText();
  EXPECT_NE(usage.find("--edit [SET]"), std::string::npos);
  EXPECT_NE(usage.find("--levels SET"), std::string::npos);
}
