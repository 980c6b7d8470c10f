// The safe writer and the file lock: two processes saving one file at once never publish or
// delete each other's half-written bytes, links are followed only where the player could mean
// them, the replaced file keeps its mode, and a lock held elsewhere is waited for, then reported.
#include "platform/safe_write.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/data_file.h"
#include "support/scratch_dir.h"

namespace fs = std::filesystem;
using platform::FileLock;
using platform::SafeWriter;
using platform::WriteStep;

namespace {

std::string ReadAll(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// Names in `dir` other than `keep`.
std::vector<std::string> Others(const fs::path& dir, const std::set<std::string>& keep) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (!keep.count(name)) out.push_back(name);
  }
  return out;
}

// A version of a file that can be told apart from a torn one: `size` bytes of `fill` between two
// copies of its size.
std::string Version(char fill, size_t size) {
  const std::string tag = "<" + std::to_string(size) + ">";
  return tag + std::string(size, fill) + tag;
}

}  // namespace

TEST(SafeWriter, TwoProcessesSavingOneFileNeverMixOrLoseTheirVersions) {
  ScratchDir dir("kx_sw");
  const std::string target = dir / "rec.kbx";
  const std::string a = Version('a', 300000), b = Version('b', 7000);
  ASSERT_EQ(SafeWriter{}.Write(target, a), 0);
  pid_t kids[2];
  for (int k = 0; k < 2; ++k) {
    kids[k] = ::fork();
    ASSERT_GE(kids[k], 0);
    if (kids[k] == 0) {
      // Each save must answer the truth: success, and its own bytes were what the rename put in
      // place (the other process may replace them right after, never before).
      int failures = 0;
      for (int i = 0; i < 500; ++i) failures += SafeWriter{}.Write(target, k ? b : a) != 0;
      ::_exit(failures == 0 ? 0 : 1);
    }
  }
  // Meanwhile the file is always one of the two whole versions.
  int reads = 0, torn = 0, ended = 0;
  int status[2] = {-1, -1};
  while (ended < 2) {
    const std::string now = ReadAll(target);
    ++reads;
    if (now != a && now != b) ++torn;
    for (int k = 0; k < 2; ++k)
      if (status[k] == -1 && ::waitpid(kids[k], &status[k], WNOHANG) == kids[k]) ++ended;
  }
  for (int k = 0; k < 2; ++k) {
    EXPECT_TRUE(WIFEXITED(status[k]) && WEXITSTATUS(status[k]) == 0) << "a save failed";
  }
  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
  EXPECT_GT(reads, 10);
  const std::string last = ReadAll(target);
  EXPECT_TRUE(last == a || last == b);
  EXPECT_EQ(Others(dir.Path(), {"rec.kbx"}), std::vector<std::string>{});  // no temporary left
}

TEST(SafeWriter, AStopBeforeTheRenameLeavesTheOldFileAndNeverTouchesAnotherName) {
  ScratchDir dir("kx_sw");
  const std::string target = dir / "t";
  ASSERT_EQ(SafeWriter{}.Write(target, "old"), 0);
  // A name beside it that looks like the old fixed temporary name belongs to someone else.
  std::ofstream(dir / "t.tmp") << "not ours";
  SafeWriter stopped;
  std::vector<WriteStep> steps;
  stopped.stopAt = [&](WriteStep s) {
    steps.push_back(s);
    return s == WriteStep::TempWritten;
  };
  EXPECT_EQ(stopped.Write(target, "new"), 0);
  EXPECT_EQ(steps, std::vector<WriteStep>{WriteStep::TempWritten});
  EXPECT_EQ(ReadAll(target), "old");
  EXPECT_EQ(ReadAll(dir / "t.tmp"), "not ours");
  const auto left = Others(dir.Path(), {"t", "t.tmp"});
  ASSERT_EQ(left.size(), 1u);  // what a machine stop there leaves: the whole new bytes
  EXPECT_EQ(ReadAll(dir / left[0]), "new");

  stopped.stopAt = [&](WriteStep s) { return s == WriteStep::Renamed; };
  EXPECT_EQ(stopped.Write(target, "newer"), 0);
  EXPECT_EQ(ReadAll(target), "newer");
}

TEST(SafeWriter, AFailedWriteRemovesOnlyItsOwnTemporaryFile) {
  ScratchDir dir("kx_sw");
  const std::string target = dir / "t";
  ASSERT_EQ(SafeWriter{}.Write(target, "old"), 0);
  std::ofstream(dir / "t.tmp") << "not ours";
  // A folder that takes the target's place after the temporary file was written makes the rename
  // fail.
  SafeWriter writer;
  writer.stopAt = [&](WriteStep s) {
    if (s == WriteStep::TempWritten) {
      fs::remove(target);
      fs::create_directory(target);
      std::ofstream(target + "/keep") << "k";
    }
    return false;
  };
  EXPECT_EQ(writer.Write(target, std::string(1000, 'z')), EISDIR);
  EXPECT_EQ(ReadAll(dir / "t.tmp"), "not ours");
  EXPECT_EQ(Others(dir.Path(), {"t", "t.tmp"}), std::vector<std::string>{});
}

TEST(SafeWriter, TheReplacedFileKeepsItsModeAndGroup) {
  ScratchDir dir("kx_sw");
  const std::string target = dir / "rec.kbx";
  ASSERT_EQ(SafeWriter{}.Write(target, "1"), 0);
  ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(target.c_str(), static_cast<uid_t>(-1), 12345), 0);
  }
  ASSERT_EQ(SafeWriter{}.Write(target, "2"), 0);
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(st.st_gid, 12345u);  // a group the writer may give
  }
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(SafeWriter{}.Write(target, "3"), 0);
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadAll(target), "3");
}

TEST(SafeWriter, LinksAreKeptButALoopOrAForeignLinkIsRefused) {
  ScratchDir dir("kx_sw");
  // A link of the player's own: the file at its end is replaced and the link stays.
  ASSERT_EQ(SafeWriter{}.Write(dir / "real", "old"), 0);
  fs::create_symlink("real", dir / "link");
  EXPECT_EQ(SafeWriter{}.Write(dir / "link", "new"), 0);
  EXPECT_TRUE(fs::is_symlink(dir / "link"));
  EXPECT_EQ(ReadAll(dir / "real"), "new");

  // A loop: refused with the system's reason, and no link is replaced by a file.
  fs::create_symlink("loop2", dir / "loop1");
  fs::create_symlink("loop1", dir / "loop2");
  EXPECT_EQ(SafeWriter{}.Write(dir / "loop1", "x"), ELOOP);
  EXPECT_EQ(platform::DataFileReason(ELOOP), "Too many levels of symbolic links");
  EXPECT_TRUE(fs::is_symlink(dir / "loop1"));
  EXPECT_TRUE(fs::is_symlink(dir / "loop2"));
  // A chain longer than the system follows is a loop too.
  fs::create_symlink("real", dir / "c0");
  for (int i = 1; i <= 40; ++i)
    fs::create_symlink("c" + std::to_string(i - 1), dir / ("c" + std::to_string(i)));
  EXPECT_EQ(SafeWriter{}.Write(dir / "c39", "x"), 0);  // 40 links
  EXPECT_EQ(SafeWriter{}.Write(dir / "c40", "x"), ELOOP);
  EXPECT_EQ(ReadAll(dir / "c40"), "");  // the system follows no more either

  // A link that belongs to someone else (neither the player nor root) steers no write.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a link away";
  fs::create_symlink("real", dir / "planted");
  ASSERT_EQ(::lchown((dir / "planted").c_str(), 4321, 4321), 0);
  EXPECT_EQ(SafeWriter{}.Write(dir / "planted", "evil"), EACCES);
  EXPECT_EQ(ReadAll(dir / "real"), "x");
  EXPECT_TRUE(fs::is_symlink(dir / "planted"));
  // Root's own link is followed.
  fs::create_symlink("real", dir / "rootlink");
  ASSERT_EQ(::lchown((dir / "rootlink").c_str(), 0, 0), 0);
  EXPECT_EQ(SafeWriter{}.Write(dir / "rootlink", "fine"), 0);
  EXPECT_EQ(ReadAll(dir / "real"), "fine");
  EXPECT_EQ(Others(dir.Path(), {"real", "link", "loop1", "loop2", "planted", "rootlink"}).size(),
            41u);  // the chain c0..c40, nothing else
}

TEST(SafeWriter, WhatIsNotARegularFileOrIsReadOnlyIsLeftAlone) {
  ScratchDir dir("kx_sw");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  EXPECT_EQ(SafeWriter{}.Write(dir / "fifo", "x"), platform::kNotRegularFile);
  fs::create_directory(dir / "d");
  EXPECT_EQ(SafeWriter{}.Write(dir / "d", "x"), EISDIR);
  ASSERT_EQ(SafeWriter{}.Write(dir / "ro", "old"), 0);
  ASSERT_EQ(::chmod((dir / "ro").c_str(), 0444), 0);
  EXPECT_EQ(SafeWriter{}.Write(dir / "ro", "new"), EACCES);
  EXPECT_EQ(ReadAll(dir / "ro"), "old");
  ASSERT_EQ(::chmod((dir / "d").c_str(), 0555), 0);
  EXPECT_EQ(SafeWriter{}.Write(dir / "d/f", "x"), EACCES);
  SafeWriter systemDecides;
  systemDecides.folderBitsCount = false;
  const int answer = systemDecides.Write(dir / "d/f", "x");
  EXPECT_EQ(answer, ::geteuid() == 0 ? 0 : EACCES);
  ::chmod((dir / "d").c_str(), 0755);
  EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
}

TEST(FileLock, ALockHeldElsewhereIsWaitedForThenReported) {
  ScratchDir dir("kx_lock");
  const std::string lockFile = dir / "rec.kbx.lock";
  int ready[2], release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t kid = ::fork();
  ASSERT_GE(kid, 0);
  if (kid == 0) {
    FileLock held;
    const char ok = held.Acquire(lockFile, 1000) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    char c;
    (void)!::read(release[0], &c, 1);  // holds the lock until told (or until the parent ends)
    ::_exit(0);
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  FileLock mine;
  EXPECT_EQ(mine.Acquire(lockFile, 30), EWOULDBLOCK);
  EXPECT_FALSE(mine.Held());
  // Let go while this process waits: the lock is then taken.
  const char go = 'g';
  ASSERT_EQ(::write(release[1], &go, 1), 1);
  EXPECT_EQ(mine.Acquire(lockFile, 60000), 0);
  EXPECT_TRUE(mine.Held());
  int status = 0;
  ::waitpid(kid, &status, 0);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);

  // A pipe in the lock file's place neither blocks nor is taken for a lock file.
  ASSERT_EQ(::mkfifo((dir / "p.lock").c_str(), 0644), 0);
  FileLock odd;
  EXPECT_EQ(odd.Acquire(dir / "p.lock", 1000), platform::kNotRegularFile);
}
