// Opening data files without blocking, regular files only, and finding where a link ends.
#include "platform/data_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class DataFileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "kx_datafile_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

TEST_F(DataFileTest, ReadsRegularFilesUpToTheLimitAndRefusesEverythingElse) {
  std::ofstream(dir / "f") << "0123456789";
  std::vector<uint8_t> out;
  int error = 0;
  ASSERT_TRUE(platform::ReadDataFile((dir / "f").string(), 4, out, error));
  EXPECT_EQ(std::string(out.begin(), out.end()), "0123");
  ASSERT_TRUE(platform::ReadDataFile((dir / "f").string(), 100, out, error));
  EXPECT_EQ(out.size(), 10u);

  // A pipe without a writer would block a plain open() forever.
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
  EXPECT_FALSE(platform::ReadDataFile((dir / "pipe").string(), 100, out, error));
  EXPECT_EQ(error, platform::kNotRegularFile);
  EXPECT_EQ(platform::DataFileReason(error), "Not a regular file");
  fs::create_symlink("/dev/zero", dir / "zero");
  EXPECT_FALSE(platform::ReadDataFile((dir / "zero").string(), 100, out, error));
  EXPECT_EQ(error, platform::kNotRegularFile);
  EXPECT_TRUE(out.empty());
  fs::create_directory(dir / "d");
  EXPECT_FALSE(platform::ReadDataFile((dir / "d").string(), 100, out, error));
  EXPECT_EQ(platform::DataFileReason(error), "Is a directory");
  EXPECT_FALSE(platform::ReadDataFile((dir / "none").string(), 100, out, error));
  EXPECT_EQ(platform::DataFileReason(error), "No such file or directory");
}

TEST_F(DataFileTest, FinalLinkTargetFollowsRelativeAndAbsoluteLinksAndStopsOnALoop) {
  fs::create_directory(dir / "a");
  fs::create_symlink("a/b.lnk", dir / "start");                   // relative to its own folder
  fs::create_symlink((dir / "t").string(), dir / "a" / "b.lnk");  // absolute
  EXPECT_EQ(platform::FinalLinkTarget((dir / "start").string()), (dir / "t").string());
  EXPECT_EQ(platform::FinalLinkTarget((dir / "plain").string()), (dir / "plain").string());
  fs::create_symlink("loop2", dir / "loop1");
  fs::create_symlink("loop1", dir / "loop2");
  const std::string end = platform::FinalLinkTarget((dir / "loop1").string());
  EXPECT_TRUE(end == (dir / "loop1").string() || end == (dir / "loop2").string()) << end;
}

}  // namespace
