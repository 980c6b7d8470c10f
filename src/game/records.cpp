#include "game/records.h"

#include <filesystem>

#include "game/safe_file.h"
#include "game/textfile.h"
#include "platform/safe_write.h"
#include "toolkit/errors.h"

namespace game {

RecordTable ReadRecordFile(const std::string& path) {
  TextFileReader in = TextFileReader::Open(path);
  RecordTable t;
  for (int r = 0; r < 5; ++r) {
    t.names[r] = in.ReadLine();
    t.scores[r] = in.ReadNumber();
  }
  return t;
}

int InsertPosition(const RecordTable& table, int32_t s) {
  int p = 0;
  for (int r = 5; r >= 1; --r)
    if (s >= table.scores[r - 1]) p = r;
  return p;
}

void InsertRecord(RecordTable& table, int position, const std::string& name, int32_t s) {
  if (position < 1 || position > 5) return;
  for (int r = 5; r > position; --r) {
    table.names[r - 1] = table.names[r - 2];
    table.scores[r - 1] = table.scores[r - 2];
  }
  table.names[position - 1] = name;
  table.scores[position - 1] = s;
}

std::string FormatRecordFile(const RecordTable& table) {
  std::string out;
  for (int r = 0; r < 5; ++r) {
    out += table.names[r];
    out += "\r\n";
    out += std::to_string(table.scores[r]);
    out += "\r\n";
  }
  return out;
}

void WriteRecordFile(const std::string& path, const RecordTable& table) {
  // Only the file's own mode bits count: a table in a folder the player cannot change is still
  // the player's to rewrite where the system lets them.
  WriteFileSafely(path, FormatRecordFile(table), /*folderBitsCount=*/false);
}

int SaveNewRecord(const std::string& path, const std::string& name, int32_t s, int lockTimeoutMs) {
  const std::string native = NativePath(path);
  std::error_code ec;
  const std::string full = std::filesystem::absolute(native, ec).lexically_normal().string();
  // The lock lives beside the file the save replaces, so every name that leads to one table
  // (through a link, say) takes the same lock.
  // A table that could not be written anyway (a pipe, a folder, read-only) is refused before
  // anything is made beside it.
  platform::SafeWriter writer;
  writer.folderBitsCount = false;  // as WriteRecordFile
  std::string target;
  if (int error = writer.Refusal(native);
      error || (error = platform::ResolveWriteTarget(native, target))) {
    RaiseCreateError(full, error);
  }
  platform::FileLock lock;
  if (const int error = lock.Acquire(target + ".lock", lockTimeoutMs)) {
    RaiseCreateError(full, error);
  }
  // Read under the lock: another game may have entered a record since this one read the table,
  // and writing back an older copy would drop it.
  RecordTable table = ReadRecordFile(native);
  const int rank = InsertPosition(table, s);
  if (rank >= 1) InsertRecord(table, rank, name, s);
  WriteRecordFile(native, table);
  return rank;
}

}  // namespace game
