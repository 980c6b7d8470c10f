#include "game/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "game/textfile.h"
#include "platform/data_file.h"
#include "toolkit/errors.h"

namespace game {

bool gSimulateStopAfterTempWrite = false;

namespace {
std::string FullName(const std::string& native) {
  std::error_code ec;
  auto abs = std::filesystem::absolute(native, ec);
  return ec ? native : abs.lexically_normal().string();
}

// Removes the temporary file and raises the create error for `full` with `err` as the reason.
[[noreturn]] void Fail(const std::string& full, const std::string& temp, int err) {
  if (!temp.empty()) ::unlink(temp.c_str());
  RaiseCreateError(full, err);
}

bool WriteBitsCleared(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}
}  // namespace

void WriteFileSafely(const std::string& path, const std::string& bytes, bool folderBitsCount) {
  const std::string native = NativePath(path);
  const std::string full = FullName(native);
  // A file that is a symbolic link is rewritten where the link points, so the link survives.
  const std::string target = platform::FinalLinkTarget(native);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    // Only a regular file is replaced: a folder, a pipe or a device in its place (or behind its
    // link) is not ours, and renaming over a device would destroy it.
    if (!S_ISREG(st.st_mode))
      Fail(full, "", S_ISDIR(st.st_mode) ? EISDIR : platform::kNotRegularFile);
    // A file the player made read-only is left alone even where the system would let this user
    // through (root): the mode bits say what the player meant.
    if ((st.st_mode & 0222) == 0) Fail(full, "", EACCES);
  }
  if (folderBitsCount) {
    std::string folder = std::filesystem::path(target).parent_path().string();
    if (folder.empty()) folder = ".";
    if (WriteBitsCleared(folder)) Fail(full, "", EACCES);
  }
  const std::string temp = target + ".tmp";
  // The temporary name is made afresh and never followed: whatever a stop left there (or anyone
  // put there) is removed first, and O_EXCL | O_NOFOLLOW create a new regular file or fail.
  ::unlink(temp.c_str());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) Fail(full, "", errno);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::close(fd);
      Fail(full, temp, saved);
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) {
    int saved = errno;
    ::close(fd);
    Fail(full, temp, saved);
  }
  if (::close(fd) != 0) Fail(full, temp, errno);
  if (gSimulateStopAfterTempWrite) return;
  if (std::rename(temp.c_str(), target.c_str()) != 0) Fail(full, temp, errno);
}

}  // namespace game
