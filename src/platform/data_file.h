// Opening the files of the data directory so that none of them can hang or exhaust the game.
//
// Every data file (pictures, levels, rec.kbx, music) is opened here: without blocking, so a named
// pipe or a device in its place cannot stop the game in open(), and only when it is a regular
// file, whose size is known before a byte is read. Readers then bound what they read by what
// their format can need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The failure code of a data file that exists but is neither a regular file nor a directory
// (a named pipe, a device, a socket); every other failure is an errno value.
constexpr int kNotRegularFile = -1;

// The reason text of a failure code: the system's text of an errno value ("Is a directory"),
// "Not a regular file" for kNotRegularFile.
std::string DataFileReason(int error);

// A data file open for reading. Move-only; closes its descriptor when destroyed.
class DataFile {
 public:
  DataFile() = default;
  ~DataFile();
  DataFile(DataFile&& other) noexcept;
  DataFile& operator=(DataFile&& other) noexcept;
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  // Opens `path` (following links) read-only and non-blocking when it is a regular file, checked
  // before opening (nothing else is ever opened) and again on the descriptor: a directory fails
  // with EISDIR, anything else that is not a regular file with kNotRegularFile. False on failure,
  // with Error() set. Never blocks.
  bool Open(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }
  // The failure code of the last Open or Read (0 when none).
  int Error() const { return error_; }
  // The file's size when it was opened.
  uint64_t Size() const { return size_; }
  // Reads up to `n` bytes at the current position (again after a signal); the count read, 0 at
  // the end, -1 on failure with Error() set.
  long Read(void* buffer, size_t n);
  // Appends to `out` what follows the current position, up to `limit` bytes or the end; false on
  // a read failure (Error() set). Never reserves more than the file's size.
  bool ReadUpTo(size_t limit, std::vector<uint8_t>& out);
  // Hands the descriptor (blocking again, close-on-exec) to a caller that closes it; -1 when none.
  int Release();

 private:
  void Close();
  int fd_ = -1;
  int error_ = 0;
  uint64_t size_ = 0;
};

// Reads at most `limit` bytes of the regular file `path` into `out`; false when it cannot be
// opened or read, with `error` set to the failure code.
bool ReadDataFile(const std::string& path, size_t limit, std::vector<uint8_t>& out, int& error);

}  // namespace platform
