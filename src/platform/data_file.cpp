#include "platform/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {

std::string DataFileReason(int error) {
  if (error == kNotRegularFile) return "Not a regular file";
  return std::strerror(error);
}

DataFile::~DataFile() { Close(); }

DataFile::DataFile(DataFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(other.error_), size_(other.size_) {}

DataFile& DataFile::operator=(DataFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
    error_ = other.error_;
    size_ = other.size_;
  }
  return *this;
}

void DataFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool DataFile::Open(const std::string& path) {
  Close();
  error_ = 0;
  size_ = 0;
  // O_NONBLOCK: opening a named pipe for reading would otherwise wait for a writer forever, and
  // some devices wait too. A regular file ignores the flag.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error_ = errno;
    ::close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    // Only a regular file has a size known before reading: /dev/zero never ends, a pipe may
    // never deliver.
    error_ = S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = static_cast<uint64_t>(st.st_size);
  return true;
}

long DataFile::Read(void* buffer, size_t n) {
  if (fd_ < 0) {
    error_ = EBADF;
    return -1;
  }
  ssize_t got;
  do {
    got = ::read(fd_, buffer, n);
  } while (got < 0 && errno == EINTR);
  if (got < 0) error_ = errno;
  return static_cast<long>(got);
}

bool DataFile::ReadUpTo(size_t limit, std::vector<uint8_t>& out) {
  const size_t start = out.size();
  // The file may grow or shrink while it is read; its size only guides the first allocation.
  out.reserve(start + static_cast<size_t>(std::min<uint64_t>(size_, limit)));
  uint8_t buf[65536];
  while (out.size() - start < limit) {
    const size_t want = std::min(sizeof buf, limit - (out.size() - start));
    const long got = Read(buf, want);
    if (got < 0) return false;
    if (got == 0) break;
    out.insert(out.end(), buf, buf + got);
  }
  return true;
}

int DataFile::Release() {
  if (fd_ < 0) return -1;
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
  return std::exchange(fd_, -1);
}

bool ReadDataFile(const std::string& path, size_t limit, std::vector<uint8_t>& out, int& error) {
  DataFile f;
  out.clear();
  const bool ok = f.Open(path) && f.ReadUpTo(limit, out);
  error = f.Error();
  return ok;
}

std::string FinalLinkTarget(const std::string& path) {
  std::string at = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string target(static_cast<size_t>(std::max<off_t>(st.st_size, 0)) + 256, '\0');
    const ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
    if (n <= 0 || static_cast<size_t>(n) >= target.size()) break;
    target.resize(static_cast<size_t>(n));
    if (target[0] != '/') {
      const size_t slash = at.find_last_of('/');
      if (slash != std::string::npos) target = at.substr(0, slash + 1) + target;
    }
    at = target;
  }
  return at;
}

}  // namespace platform
