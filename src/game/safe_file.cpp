#include "game/safe_file.h"

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
}  // namespace

void WriteFileSafely(const std::string& path, const std::string& bytes,
                     const platform::SafeWriter& writer) {
  const std::string native = NativePath(path);
  if (const int error = writer.Write(native, bytes)) RaiseCreateError(FullName(native), error);
}

void WriteFileSafely(const std::string& path, const std::string& bytes, bool folderBitsCount) {
  platform::SafeWriter writer;
  writer.folderBitsCount = folderBitsCount;
  WriteFileSafely(path, bytes, writer);
}

}  // namespace game
