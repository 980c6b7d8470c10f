#include "game/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "game/textfile.h"
#include "toolkit/errors.h"

namespace game {

namespace {
std::string FullName(const std::string& native) {
  std::error_code ec;
  auto abs = std::filesystem::absolute(native, ec);
  return ec ? native : abs.lexically_normal().string();
}

// Raises the create error for `full` with `err` as the reason.
[[noreturn]] void Fail(const std::string& full, int err) {
  errno = err;
  RaiseCreateError(full);
}

bool WriteBitsCleared(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}
}  // namespace

void WriteFileSafely(const std::string& path, const std::string& bytes) {
  const std::string target = NativePath(path);
  const std::string full = FullName(target);
  // A file or folder the player made read-only is left alone even where the system would let
  // this user through (root): the mode bits say what the player meant.
  std::string folder = std::filesystem::path(target).parent_path().string();
  if (folder.empty()) folder = ".";
  if (WriteBitsCleared(target) || WriteBitsCleared(folder)) Fail(full, EACCES);
  const std::string temp = target + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Fail(full, errno);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::close(fd);
      ::unlink(temp.c_str());
      Fail(full, saved);
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0) {
    int saved = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    Fail(full, saved);
  }
  if (::close(fd) != 0) {
    int saved = errno;
    ::unlink(temp.c_str());
    Fail(full, saved);
  }
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    int saved = errno;
    ::unlink(temp.c_str());
    Fail(full, saved);
  }
}

}  // namespace game
