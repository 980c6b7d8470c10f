// The number and line rules shared by level and record files, and the record file's round trip.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "game/levels.h"
#include "game/records.h"
#include "game/safe_file.h"
#include "game/textfile.h"
#include "support/scratch_dir.h"
#include "support/temp_files.h"
#include "toolkit/errors.h"

using namespace game;

namespace {
int32_t Num(const std::string& text) {
  int32_t v = 12345;
  EXPECT_TRUE(ParseNumber(text, v)) << text;
  return v;
}

std::string ReadAll(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}
}  // namespace

TEST(NumberRule, DecimalHexAndSigns) {
  EXPECT_EQ(Num("12"), 12);
  EXPECT_EQ(Num("-7"), -7);
  EXPECT_EQ(Num("+7"), 7);
  EXPECT_EQ(Num("$FF"), 255);
  EXPECT_EQ(Num("x1f"), 31);
  EXPECT_EQ(Num("X10"), 16);
  EXPECT_EQ(Num("0x10"), 16);
  EXPECT_EQ(Num("0X7fffffff"), 2147483647);
  EXPECT_EQ(Num("$FFFFFFFF"), -1);  // the digits are the 32-bit pattern
  EXPECT_EQ(Num("-$10"), -16);
  EXPECT_EQ(Num("2147483647"), 2147483647);
  EXPECT_EQ(Num("-2147483648"), INT32_MIN);
  int32_t v;
  EXPECT_FALSE(ParseNumber("2147483648", v));
  EXPECT_FALSE(ParseNumber("99999999999999999999", v));
  EXPECT_FALSE(ParseNumber("$123456789", v));  // more than eight hex digits
  EXPECT_FALSE(ParseNumber("12a", v));
  EXPECT_FALSE(ParseNumber("$1G", v));
  EXPECT_FALSE(ParseNumber("", v));
  EXPECT_FALSE(ParseNumber("-", v));
  EXPECT_FALSE(ParseNumber("$", v));
}

TEST(NumberRule, LinesBlanksAndEnd) {
  TextFileReader r("12 and a word\r\n\r\n\r\n  7\r\n$10 trailing\n-3");
  EXPECT_EQ(r.ReadNumber(), 12);
  EXPECT_EQ(r.ReadNumber(), 7);  // blank lines before a number are skipped
  EXPECT_EQ(r.ReadNumber(), 16);
  EXPECT_EQ(r.ReadNumber(), -3);
  EXPECT_EQ(r.ReadNumber(), 0);  // past the end
  EXPECT_TRUE(r.AtEnd());

  TextFileReader bad("abc\r\n5\r\n");
  EXPECT_EQ(bad.ReadNumber(), 0);  // an invalid text reads 0 and the reading goes on
  EXPECT_EQ(bad.ReadNumber(), 5);

  // Lines ended by CR alone are one line: the first number, then zeros.
  TextFileReader cr("3\r1\r2\r");
  EXPECT_EQ(cr.ReadNumber(), 3);
  EXPECT_EQ(cr.ReadNumber(), 0);

  // Ctrl-Z ends the file.
  TextFileReader z(
      std::string("4\r\n\x1a"
                  "5\r\n"));
  EXPECT_EQ(z.ReadNumber(), 4);
  EXPECT_EQ(z.ReadNumber(), 0);

  // At most 32 characters form the number; the rest of the line is skipped.
  TextFileReader longText(std::string(40, '1') + "\r\n9\r\n");
  EXPECT_EQ(longText.ReadNumber(), 0);
  EXPECT_EQ(longText.ReadNumber(), 9);
}

TEST(LevelFile, ExampleAndHostileFiles) {
  auto ex = ParseLevel("2\r\n0\r\n0\r\n1\r\n13\r\n0\r\n4\r\n");
  ASSERT_EQ(ex.size(), 2u);
  EXPECT_EQ(ex[0].column, 0);
  EXPECT_EQ(ex[0].type, 1);
  EXPECT_EQ(ex[1].column, 13);
  EXPECT_EQ(ex[1].row, 0);
  EXPECT_EQ(ex[1].type, 4);

  EXPECT_TRUE(ParseLevel("0\r\n").empty());
  EXPECT_TRUE(ParseLevel("-5\r\n1\r\n1\r\n1\r\n").empty());
  EXPECT_TRUE(ReadLevelFile("levels\\no_such_level.lev").empty());

  auto types = ParseLevel("3\r\n1\r\n1\r\n0\r\n2\r\n2\r\n12\r\n3\r\n3\r\n-1\r\n");
  ASSERT_EQ(types.size(), 3u);
  EXPECT_EQ(types[0].type, 1);  // 0 reads as 1
  EXPECT_EQ(types[1].type, 1);  // an unknown type is a plain brick, not a failed set-up
  EXPECT_EQ(types[2].type, 1);

  // A file cut short: the missing bricks are type 1 at column 0, row 0.
  auto cut = ParseLevel("3\r\n5\r\n6\r\n7\r\n8\r\n");
  ASSERT_EQ(cut.size(), 3u);
  EXPECT_EQ(cut[0].column, 5);
  EXPECT_EQ(cut[0].type, 7);
  EXPECT_EQ(cut[1].column, 8);
  EXPECT_EQ(cut[1].row, 0);
  EXPECT_EQ(cut[1].type, 1);
  EXPECT_EQ(cut[2].column, 0);

  // A corrupt count is bounded instead of exhausting memory.
  auto huge = ParseLevel("2000000000\r\n");
  EXPECT_EQ(huge.size(), static_cast<size_t>(kMaxLevelBricks));
  EXPECT_EQ(LevelFileName(7), "levels\\lev7.lev");
}

TEST(RecordFile, ReadsLineEndsAndMissingFile) {
  ScratchDir dir("kx_records");
  std::string p = dir / "rec.kbx";
  std::ofstream(p, std::ios::binary) << "Anna\n500\nBo\rb\n400\n"
                                     << std::string(40, 'N') << "\n300\n\n200\nLast\n100\n";
  RecordTable t = ReadRecordFile(p);
  EXPECT_EQ(t.names[0], "Anna");
  EXPECT_EQ(t.names[1], "Bob");  // a lone CR is left out of a name
  EXPECT_EQ(t.names[2], std::string(40, 'N'));
  EXPECT_EQ(t.names[3], "");
  EXPECT_EQ(t.scores[3], 200);
  EXPECT_EQ(t.scores[4], 100);

  RecordTable none = ReadRecordFile(dir / "missing.kbx");
  for (int r = 0; r < 5; ++r) {
    EXPECT_EQ(none.names[r], "");
    EXPECT_EQ(none.scores[r], 0);
  }
}

TEST(RecordFile, InsertionRules) {
  RecordTable t;
  t.scores = {900, 700, 700, 300, 100};
  for (int r = 0; r < 5; ++r) t.names[r] = "n" + std::to_string(r + 1);
  EXPECT_EQ(InsertPosition(t, 700), 2);  // the topmost qualifying rank wins
  InsertRecord(t, 2, "new", 700);
  EXPECT_EQ(t.names[1], "new");
  EXPECT_EQ(t.names[2], "n2");
  EXPECT_EQ(t.names[3], "n3");
  EXPECT_EQ(t.scores[4], 300);  // the old 100 dropped out

  RecordTable u;
  u.scores = {50, 40, 30, 20, 10};
  EXPECT_EQ(InsertPosition(u, 1000), 1);
  InsertRecord(u, 1, "top", 1000);
  EXPECT_EQ(u.scores[0], 1000);
  EXPECT_EQ(u.scores[1], 50);
  EXPECT_EQ(u.scores[4], 20);
  EXPECT_EQ(InsertPosition(u, 5), 0);  // below every entry: no rank
}

TEST(RecordFile, RoundTripCyrillicAndEmptyName) {
  ScratchDir dir("kx_records");
  std::string p = dir / "rec.kbx";
  RecordTable t;
  t.names = {Utf8ToCp1251("Вася"), "", "PLAYER", "x", "y"};
  t.scores = {1500, 1000, -5, 3, 0};
  WriteRecordFile(p, t);
  std::string bytes = ReadAll(p);
  size_t crlf = 0;
  for (size_t i = 0; i + 1 < bytes.size(); ++i)
    if (bytes[i] == '\r' && bytes[i + 1] == '\n') ++crlf;
  EXPECT_EQ(crlf, 10u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  RecordTable back = ReadRecordFile(p);
  EXPECT_EQ(Cp1251ToUtf8(back.names[0]), "Вася");
  EXPECT_EQ(back.names[1], "");
  EXPECT_EQ(back.scores[2], -5);
  EXPECT_FALSE(TempFileBeside(p));
  EXPECT_EQ(Utf8ToCp1251("日"), "?");  // a character 1251 lacks
  EXPECT_EQ(Cp1251ToUtf8(Utf8ToCp1251("Ёж №5")), "Ёж №5");
  EXPECT_EQ(Cp1251ToUtf8("\x80\x87\x88\xA5"), "Ђ‡€Ґ");
  // Every byte of the code page comes back through UTF-8 (0x98 has no character).
  for (int b = 0x80; b <= 0xFF; ++b) {
    if (b == 0x98) continue;
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(one)), one) << b;
  }
}

TEST(RecordFile, ReadOnlyFileAndInterruptedWriteKeepTheOldTable) {
  ScratchDir dir("kx_records");
  std::string p = dir / "rec.kbx";
  const std::string old = "A\r\n5\r\nB\r\n4\r\nC\r\n3\r\nD\r\n2\r\nE\r\n1\r\n";
  std::ofstream(p, std::ios::binary) << old;
  RecordTable t = ReadRecordFile(p);
  InsertRecord(t, 1, "Z", 99);

  ::chmod(p.c_str(), 0444);
  try {
    WriteRecordFile(p, t);
    FAIL() << "a read-only record file was overwritten";
  } catch (const EFCreateError& e) {
    std::string m = e.Message();
    EXPECT_EQ(m.rfind("Cannot create file \"", 0), 0u) << m;
    EXPECT_NE(m.find(std::filesystem::absolute(p).string()), std::string::npos) << m;
  }
  EXPECT_EQ(ReadAll(p), old);
  ::chmod(p.c_str(), 0644);

  platform::SafeWriter stopped;
  stopped.stopAt = [](platform::WriteStep step) {
    return step == platform::WriteStep::TempWritten;
  };
  WriteFileSafely(p, FormatRecordFile(t), stopped);
  EXPECT_EQ(ReadAll(p), old);  // the machine "stopped" before the rename: old table intact
  WriteRecordFile(p, t);
  EXPECT_EQ(ReadRecordFile(p).names[0], "Z");
}
