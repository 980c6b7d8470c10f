#include "platform/paths.h"

#include <unistd.h>

#include <filesystem>

namespace platform {

std::string ProgramDir() {
  // Linux names the running program's file here; a relocated install is found through it.
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return {};
  return exe.parent_path().string();
}

bool CanWriteDir(const std::string& dir) {
  // A safe rewrite makes a temporary file beside the target and renames it: that needs write and
  // search rights on the directory itself.
  return !dir.empty() && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

}  // namespace platform
