// Writing a whole data file so that neither a stop in the middle nor a second save of the same
// file at the same moment ever loses or mixes one, and locking a file that several games share.
//
// The system calls of every write the game makes (open, write, fsync, rename, unlink, locks) are
// here, beside the data-file opener; the game asks for a whole file's bytes to be put in place.
#pragma once

#include <functional>
#include <string>

namespace platform {

// The steps of a safe write at which a stop can be asked for (see SafeWriter::stopAt).
enum class WriteStep {
  TempWritten,  // the temporary file holds every byte and is on disk; the target is untouched
  Renamed,      // the temporary file has replaced the target; the folder is not yet synced
};

// Writes a whole file safely: a temporary file with a name of its own (made with O_EXCL, never an
// existing name) in the target's folder is written, flushed to disk, given the replaced file's
// mode bits (and group, where the system allows) and renamed over the target; then the folder is
// flushed. Only the temporary name this write created is ever removed.
class SafeWriter {
 public:
  // When false, a folder whose mode bits forbid writing is left to the system to refuse.
  bool folderBitsCount = true;
  // Called at each step; a true answer ends the write there as a machine stop would (nothing is
  // cleaned up) and Write returns 0. Empty: never stops.
  std::function<bool(WriteStep)> stopAt;

  // Puts `bytes` in place of `path` (a symbolic link is kept: the file at the end of its chain is
  // replaced). 0 on success, else the failure code (an errno value or kNotRegularFile), with the
  // old file untouched and no temporary file left. Refused: a path that is there but is not a
  // regular file (EISDIR for a folder), a file whose mode bits forbid writing, when
  // `folderBitsCount` a folder whose mode bits forbid writing (EACCES), a chain of links that
  // loops or is longer than 40 (ELOOP), and a link that belongs neither to the player nor to root
  // (EACCES).
  int Write(const std::string& path, const std::string& bytes) const;
  // What Write would refuse before writing a byte (see Write), 0 when it would go ahead; lets a
  // caller find out before it takes a lock or makes anything beside the file.
  int Refusal(const std::string& path) const;

 private:
  // Resolves `path` and checks it and its folder; fills in the file to replace, whether there is
  // one, its mode and its group.
  int Prepare(const std::string& path, std::string& target, bool& replacing, unsigned& mode,
              unsigned& group) const;
};

// The file a rewrite of `path` must replace so that a symbolic link keeps pointing at it: the end
// of the chain of links (relative targets taken from the link's own folder), or `path` itself
// when it is no link. 0 with `target` set, else ELOOP (a loop or more than 40 links) or EACCES (a
// link owned by someone other than the player and root).
int ResolveWriteTarget(const std::string& path, std::string& target);

// An advisory lock on a lock file (made when missing, never removed). Released when destroyed.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock on `lockPath` exclusively, waiting at most `timeoutMs` milliseconds for
  // another holder to let go. 0 when held, else the failure code (EWOULDBLOCK when the time ran
  // out, the system's reason when the lock file cannot be made or opened).
  int Acquire(const std::string& lockPath, int timeoutMs);
  // Lets go of the lock (nothing when none is held).
  void Release();
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace platform
