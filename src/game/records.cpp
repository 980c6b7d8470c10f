#include "game/records.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "game/textfile.h"
#include "platform/data_file.h"
#include "toolkit/errors.h"

namespace game {

bool gSimulateStopAfterTempWrite = false;

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

namespace {
std::string FullName(const std::string& path) {
  std::error_code ec;
  auto abs = std::filesystem::absolute(NativePath(path), ec);
  return ec ? NativePath(path) : abs.lexically_normal().string();
}
}  // namespace

void WriteRecordFile(const std::string& path, const RecordTable& table) {
  // A record file that is a symbolic link is rewritten where the link points, beside its target,
  // so the link itself survives the rename.
  const std::string target = platform::FinalLinkTarget(NativePath(path));
  const std::string full = FullName(path);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    // Only a regular file is replaced: a folder, a pipe or a device in its place (or behind its
    // link) is not the table, and renaming over a device would destroy it.
    if (!S_ISREG(st.st_mode))
      RaiseCreateError(full, S_ISDIR(st.st_mode) ? EISDIR : platform::kNotRegularFile);
    // A read-only record file is the player's decision to keep the table: honour it, as writing
    // through the file itself would have failed.
    // (The mode bits are checked, not access(): root may write anywhere, yet a player who made
    // the file read-only meant it.)
    if ((st.st_mode & 0222) == 0) RaiseCreateError(full, EACCES);
  }
  const std::string temp = target + ".tmp";
  // The temporary name is made afresh and never followed: whatever a stop left there (or anyone
  // put there) is removed first, and O_EXCL | O_NOFOLLOW create a new regular file or fail.
  ::unlink(temp.c_str());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) RaiseCreateError(full);
  const std::string bytes = FormatRecordFile(table);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::close(fd);
      ::unlink(temp.c_str());
      errno = saved;
      RaiseCreateError(full);
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    RaiseCreateError(full);
  }
  if (gSimulateStopAfterTempWrite) return;
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    RaiseCreateError(full);
  }
}

}  // namespace game
