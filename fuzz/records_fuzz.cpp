// Feeds arbitrary bytes to the record-file reading and to the text helpers it relies on:
//  - five names and scores read as the game reads rec.kbx, compared with an independent reading;
//    the table written back and read again must be the same table; inserting a score into a
//    sorted table keeps it sorted;
//  - the number rule on the bytes as one number's text, compared with the independent rule;
//  - Windows-1251 -> UTF-8 -> Windows-1251 gives the bytes back (0x98, which has no character,
//    becomes '?'), and any UTF-8 (valid or not) settles after one conversion.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

#include "game/records.h"
#include "game/textfile.h"
#include "text_model.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool ValidUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    i += len;
  }
  return true;
}

game::RecordTable ReadTable(const std::string& bytes) {
  game::TextFileReader in(bytes);
  game::RecordTable t;
  for (int r = 0; r < 5; ++r) {
    t.names[r] = in.ReadLine();
    t.scores[r] = in.ReadNumber();
  }
  return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // The record table.
  const game::RecordTable table = ReadTable(bytes);
  fuzzmodel::Reader model(bytes);
  for (int r = 0; r < 5; ++r) {
    Check(table.names[r] == model.Line());
    Check(table.scores[r] == model.Num());
    Check(table.names[r].find_first_of("\r\n\x1a") == std::string::npos);
  }
  const std::string written = game::FormatRecordFile(table);
  const game::RecordTable again = ReadTable(written);
  Check(again.names == table.names && again.scores == table.scores);

  game::RecordTable sorted = table;
  std::sort(sorted.scores.begin(), sorted.scores.end(), std::greater<int32_t>());
  const int32_t s = size >= 4 ? static_cast<int32_t>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                                     (static_cast<uint32_t>(data[3]) << 24))
                              : 0;
  const int p = game::InsertPosition(sorted, s);
  if (s >= sorted.scores[4]) {
    Check(p >= 1 && p <= 5);
    game::InsertRecord(sorted, p, "new", s);
    Check(sorted.scores[p - 1] == s && sorted.names[p - 1] == "new");
    Check(std::is_sorted(sorted.scores.begin(), sorted.scores.end(), std::greater<int32_t>()));
  } else {
    Check(p == 0);
  }

  // One number's text.
  const std::string text = bytes.substr(0, 40);
  int32_t got = 12345, want = 0;
  const bool ok = game::ParseNumber(text, got);
  Check(ok == fuzzmodel::Number(text, want));
  if (ok) Check(got == want);

  // Code pages.
  const std::string utf8 = game::Cp1251ToUtf8(bytes);
  Check(ValidUtf8(utf8));
  std::string expect = bytes;
  std::replace(expect.begin(), expect.end(), '\x98', '?');
  Check(game::Utf8ToCp1251(utf8) == expect);
  const std::string once = game::Utf8ToCp1251(bytes);
  Check(game::Utf8ToCp1251(game::Cp1251ToUtf8(once)) == once);
  return 0;
}
