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
  // The kind is checked before opening: opening has effects of its own on some devices (a tape
  // rewinds, a terminal becomes the controlling one), so only a regular file is ever opened.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    error_ = errno;
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    // Only a regular file has a size known before reading: /dev/zero never ends, a pipe may
    // never deliver.
    error_ = S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
    return false;
  }
  // O_NONBLOCK: the name may have been swapped for a named pipe since the check, and opening one
  // for reading would otherwise wait for a writer forever. A regular file ignores the flag.
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  // Checked again on what was opened: the name may now lead somewhere else.
  if (::fstat(fd, &st) != 0) {
    error_ = errno;
    ::close(fd);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
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

}  // namespace platform
