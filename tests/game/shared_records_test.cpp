// The record table shared by two games: two processes confirming a name at the same moment both
// end up in the table in score order, a save killed at any moment leaves a whole table, and a
// table locked too long by another game is reported like any write failure, with nothing lost.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "game/records.h"
#include "platform/safe_write.h"
#include "support/scratch_dir.h"
#include "toolkit/errors.h"

using namespace game;

namespace {

std::string ReadAll(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

RecordTable Table(const std::string& stem, int32_t top) {
  RecordTable t;
  for (int r = 0; r < 5; ++r) {
    t.names[r] = stem + std::to_string(r);
    t.scores[r] = top - 10 * r;
  }
  return t;
}

}  // namespace

TEST(SharedRecords, TwoGamesSavingAtOnceBothKeepTheirEntry) {
  ScratchDir dir("kx_rec");
  const std::string path = dir / "rec.kbx";
  int lost = 0;
  for (int round = 0; round < 200; ++round) {
    std::ofstream(path, std::ios::binary) << FormatRecordFile(RecordTable{});
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    pid_t kids[2];
    for (int k = 0; k < 2; ++k) {
      kids[k] = ::fork();
      ASSERT_GE(kids[k], 0);
      if (kids[k] == 0) {
        ::close(go[1]);
        char c;
        (void)!::read(go[0], &c, 1);  // both start when the parent lets go
        try {
          SaveNewRecord(path, k ? "B" : "A", k ? 700 + round : 300 + round);
        } catch (const Exception&) {
          ::_exit(1);
        }
        ::_exit(0);
      }
    }
    ::close(go[0]);
    ::close(go[1]);  // end of file for both at once
    for (pid_t kid : kids) {
      int status = -1;
      ASSERT_EQ(::waitpid(kid, &status, 0), kid);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
    }
    const RecordTable t = ReadRecordFile(path);
    if (t.names[0] != "B" || t.scores[0] != 700 + round || t.names[1] != "A" ||
        t.scores[1] != 300 + round || t.scores[2] != 0)
      ++lost;
  }
  EXPECT_EQ(lost, 0) << "rounds in which an entry was lost or misplaced";
}

TEST(SharedRecords, ASaveKilledAtAnyMomentLeavesAWholeTable) {
  ScratchDir dir("kx_rec");
  const std::string path = dir / "rec.kbx";
  const RecordTable one = Table("one", 5000), two = Table("two-longer-name", 90000);
  const std::string bytesOne = FormatRecordFile(one), bytesTwo = FormatRecordFile(two);
  WriteRecordFile(path, one);
  std::mt19937 rng(24);
  int torn = 0, killedMidway = 0;
  for (int round = 0; round < 300; ++round) {
    const pid_t kid = ::fork();
    ASSERT_GE(kid, 0);
    if (kid == 0) {
      for (int i = 0;; ++i) WriteRecordFile(path, i % 2 ? one : two);
    }
    ::usleep(std::uniform_int_distribution<useconds_t>(0, 3000)(rng));
    ::kill(kid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(kid, &status, 0), kid);
    killedMidway += WIFSIGNALED(status);
    const std::string now = ReadAll(path);
    if (now != bytesOne && now != bytesTwo) ++torn;
  }
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(killedMidway, 300);
  // The table is still read and saved as ever, whatever the stops left beside it.
  SaveNewRecord(path, "after", 1000000);
  EXPECT_EQ(ReadRecordFile(path).names[0], "after");
}

TEST(SharedRecords, ATableLockedTooLongIsReportedAndKeepsEveryEntry) {
  ScratchDir dir("kx_rec");
  const std::string path = dir / "rec.kbx";
  WriteRecordFile(path, Table("n", 500));
  const std::string before = ReadAll(path);
  platform::FileLock other;  // another game in the middle of its save
  ASSERT_EQ(other.Acquire(path + ".lock", 1000), 0);
  const pid_t kid = ::fork();
  ASSERT_GE(kid, 0);
  if (kid == 0) {
    // A lock is the process's own: the refusal is seen from another process.
    try {
      SaveNewRecord(path, "late", 9999, 50);
    } catch (const EFCreateError& e) {
      const std::string m = e.Message();
      ::_exit(m.find("Cannot create file \"" + path + "\"") == 0 &&
                      m.find("Resource temporarily unavailable") != std::string::npos
                  ? 0
                  : 2);
    }
    ::_exit(1);
  }
  int status = -1;
  ASSERT_EQ(::waitpid(kid, &status, 0), kid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: saved through a held lock, 2: wrong message";
  EXPECT_EQ(ReadAll(path), before);
  other.Release();
  EXPECT_EQ(SaveNewRecord(path, "late", 9999, 50), 1);  // the same entry, once the lock is free
  EXPECT_EQ(ReadRecordFile(path).names[0], "late");
  EXPECT_EQ(ReadRecordFile(path).names[1], "n0");
  EXPECT_EQ(SaveNewRecord(path, "low", 1), 0);  // below every entry: the table stays as it is
  EXPECT_EQ(ReadRecordFile(path).names[4], "n3");
}
