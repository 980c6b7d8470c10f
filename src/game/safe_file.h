// Writing a whole data file so that a stop in the middle never loses the old one.
#pragma once

#include <string>

namespace game {

// Writes `bytes` to `path` (backslashes mapped): a temporary file beside it (beside the end of its
// links when it is a symbolic link, so the link survives) is written, flushed to disk and renamed
// over it. Refused, with the old file untouched and no temporary file left: a `path` that is there
// but is not a regular file, a `path` whose mode bits forbid writing and, when `folderBitsCount`,
// a folder whose mode bits forbid writing. Raises EFCreateError ("Cannot create file "%s". %s")
// with the full name and the system's reason.
void WriteFileSafely(const std::string& path, const std::string& bytes,
                     bool folderBitsCount = true);

// Test hook: when set, WriteFileSafely stops right after the temporary file is written (as if
// the machine stopped there).
extern bool gSimulateStopAfterTempWrite;

}  // namespace game
