#include "platform/safe_write.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "platform/data_file.h"

namespace platform {

namespace {

constexpr int kMaxLinks = 40;  // the kernel's own bound on a chain of links

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteBitsCleared(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

// A temporary name of this write's own beside `target`. The generator is mixed with the process
// id at every draw: a forked process starts with its parent's state and must not race it for the
// same names (O_EXCL would settle it, but only after a wasted try each time).
std::string TempNameFor(const std::string& target) {
  static std::mt19937_64 rng{std::random_device{}()};
  static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  uint64_t v = rng() ^ (static_cast<uint64_t>(::getpid()) * 0x9E3779B97F4A7C15ull);
  std::string name = target + ".tmp.";
  for (int i = 0; i < 8; ++i) {
    name.push_back(kChars[v % 62]);
    v /= 62;
  }
  return name;
}

bool WriteAll(int fd, const std::string& bytes, int& error) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int ResolveWriteTarget(const std::string& path, std::string& target) {
  std::string at = path;
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      target = at;
      return 0;
    }
    if (hop == kMaxLinks) break;
    // As the kernel's protected-link rule: a link someone else planted (in a shared folder, say)
    // must not steer the player's write to a file of the planter's choosing.
    if (st.st_uid != ::geteuid() && st.st_uid != 0) return EACCES;
    std::string next(static_cast<size_t>(std::max<off_t>(st.st_size, 0)) + 256, '\0');
    const ssize_t n = ::readlink(at.c_str(), next.data(), next.size());
    if (n < 0) return errno;
    if (n == 0 || static_cast<size_t>(n) >= next.size()) return ELOOP;
    next.resize(static_cast<size_t>(n));
    if (next[0] != '/') {
      const size_t slash = at.find_last_of('/');
      if (slash != std::string::npos) next = at.substr(0, slash + 1) + next;
    }
    at = next;
  }
  // A loop, or a chain longer than any the system follows: replacing its last link with a
  // regular file would break the chain, so the write is refused as the system refuses opening it.
  return ELOOP;
}

int SafeWriter::Prepare(const std::string& path, std::string& target, bool& replacing,
                        unsigned& mode, unsigned& group) const {
  if (const int err = ResolveWriteTarget(path, target)) return err;
  struct stat st {};
  replacing = ::stat(target.c_str(), &st) == 0;
  mode = st.st_mode & 0777;
  group = st.st_gid;
  if (replacing) {
    // Only a regular file is replaced: a folder, a pipe or a device in its place is not ours, and
    // renaming over a device would destroy it.
    if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
    // A file the player made read-only is left alone even where the system would let this user
    // through (root): the mode bits say what the player meant.
    if ((st.st_mode & 0222) == 0) return EACCES;
  }
  if (folderBitsCount && WriteBitsCleared(FolderOf(target))) return EACCES;
  return 0;
}

int SafeWriter::Refusal(const std::string& path) const {
  std::string target;
  bool replacing = false;
  unsigned mode = 0, group = 0;
  return Prepare(path, target, replacing, mode, group);
}

int SafeWriter::Write(const std::string& path, const std::string& bytes) const {
  std::string target;
  bool replacing = false;
  unsigned mode = 0, group = 0;
  if (const int err = Prepare(path, target, replacing, mode, group)) return err;
  const std::string folder = FolderOf(target);

  // A name of this write's own, created here and never followed: two saves of one file at once
  // each write their own temporary file, and neither ever removes or publishes the other's.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = TempNameFor(target);
    // A new file gets the usual 0644 (less the umask); a replaced one gets its own bits below,
    // and until then nobody else may read the half-written bytes.
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                replacing ? 0600 : 0644);
    if (fd < 0 && errno != EEXIST && errno != EINTR) return errno;
  }
  if (fd < 0) return EEXIST;
  auto fail = [&](int error) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());  // the name this write created, and only that one
    return error;
  };
  int error = 0;
  if (!WriteAll(fd, bytes, error)) return fail(error);
  if (replacing) {
    // The table of a shared group keeps its group where the system lets the player give it; a
    // group the player is not in is beyond them, and the file then takes the player's group.
    if (group != ::getegid()) (void)::fchown(fd, static_cast<uid_t>(-1), group);
    if (::fchmod(fd, mode) != 0) return fail(errno);
  }
  if (::fsync(fd) != 0) return fail(errno);
  const int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return fail(errno);
  if (stopAt && stopAt(WriteStep::TempWritten)) return 0;
  if (std::rename(temp.c_str(), target.c_str()) != 0) return fail(errno);
  if (stopAt && stopAt(WriteStep::Renamed)) return 0;
  // The rename lives in the folder: flushing it makes the new name survive a power cut. The file
  // is in place whatever this answers (and some file systems cannot flush a folder), so the save
  // has succeeded either way.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    (void)::fsync(dir);
    ::close(dir);
  }
  return 0;
}

FileLock::~FileLock() { Release(); }

void FileLock::Release() {
  if (fd_ >= 0) ::close(fd_);  // closing the last descriptor lets go of the lock
  fd_ = -1;
}

int FileLock::Acquire(const std::string& lockPath, int timeoutMs) {
  Release();
  // Non-blocking and never followed: a pipe or a link planted in the lock file's place must
  // neither stop the game nor make it create a file elsewhere.
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  // A lock file another player made (the table is shared) may be theirs to write; a lock works
  // on a read-only descriptor as well.
  if (fd < 0 && errno == EACCES)
    fd = ::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      fd_ = fd;
      return 0;
    }
    const int error = errno;
    if (error == EINTR) continue;
    if (error != EWOULDBLOCK || std::chrono::steady_clock::now() >= until) {
      ::close(fd);
      return error;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace platform
