// The record file "rec.kbx": five names and scores, ten lines ending in CR LF, 8-bit text in
// Windows-1251. Names are kept in memory as the file's bytes; the menu converts them to UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace game {

struct RecordTable {
  std::array<std::string, 5> names;  // rank 1 first; bytes as stored (Windows-1251)
  std::array<int32_t, 5> scores{};
};

// Reads the table from `path`; a missing or unreadable file gives five empty names and zeros.
RecordTable ReadRecordFile(const std::string& path);

// The rank (1..5) a score `s` takes: the topmost rank r with s >= scores[r]. 0 when none
// qualifies (only possible when the file changed while the game ran).
int InsertPosition(const RecordTable& table, int32_t s);

// Inserts `name`/`s` at `position` (1..5), shifting the lower ranks down; the fifth drops out.
void InsertRecord(RecordTable& table, int position, const std::string& name, int32_t s);

// The file's bytes for `table`: ten lines, each ended by CR LF.
std::string FormatRecordFile(const RecordTable& table);

// Writes the table safely: a temporary file beside `path` (beside the end of its links when it is
// a symbolic link, so the link survives) is written and flushed to disk, then renamed over it, so
// a stop mid-write never loses the old table. Raises EFCreateError ("Cannot create file "%s". %s")
// with the full name when it cannot be written, or when `path` is read-only or is there but not a
// regular file; the old file is then untouched.
void WriteRecordFile(const std::string& path, const RecordTable& table);

// How long a save waits for another game to finish its own save of the same table.
constexpr int kRecordLockTimeoutMs = 1000;

// Enters `name`/`s` in the table at `path` as one step that two games sharing the table can take
// at the same moment: an advisory lock on "<table>.lock" beside the table (beside the end of its
// links) is taken, the table is read again under it, the entry inserted at its rank and the table
// written safely; then the lock is let go. Returns the rank taken (0: below every entry, the table
// is written back unchanged). Raises EFCreateError with the table's full name and the reason when
// the lock is not taken within `lockTimeoutMs` or the table cannot be written; the table is then
// as it was.
int SaveNewRecord(const std::string& path, const std::string& name, int32_t s,
                  int lockTimeoutMs = kRecordLockTimeoutMs);

}  // namespace game
