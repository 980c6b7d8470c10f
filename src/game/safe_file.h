// Writing a whole data file so that a stop in the middle, or a second save of the same file at
// the same moment, never loses or mixes one (the system's side is platform/safe_write.h).
#pragma once

#include <string>

#include "platform/safe_write.h"

namespace game {

// Writes `bytes` to `path` through `writer` (see platform::SafeWriter: a temporary file of this
// write's own beside the end of any links is written, flushed, given the old file's mode and
// renamed over it). A path without a '/' is one of the game's stored names and its backslashes
// are folder separators; any other path is taken as it is. Raises EFCreateError
// ("Cannot create file "%s". %s") with the full name and the system's reason when refused; the
// old file is then untouched and no temporary file is left.
void WriteFileSafely(const std::string& path, const std::string& bytes,
                     const platform::SafeWriter& writer);
// The same with a writer that never stops; `folderBitsCount` as SafeWriter::folderBitsCount.
void WriteFileSafely(const std::string& path, const std::string& bytes,
                     bool folderBitsCount = true);

}  // namespace game
