// Writing a whole data file so that a stop in the middle never loses the old one.
#pragma once

#include <string>

namespace game {

// Writes `bytes` to `path` (backslashes mapped): a temporary file beside it is written, flushed to
// disk and renamed over it. A file or folder whose mode bits forbid writing is left alone, as
// the system itself would refuse it. Raises EFCreateError ("Cannot create file "%s". %s") with the
// full name and the system's reason; the old file is then untouched and no temporary file is left.
void WriteFileSafely(const std::string& path, const std::string& bytes);

}  // namespace game
