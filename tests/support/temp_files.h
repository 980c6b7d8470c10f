// Whether a safe save left a temporary file beside a data file: the writer's temporary names are
// "<file>.tmp.<letters of its own>".
#pragma once

#include <filesystem>
#include <string>

// True when the folder of `file` holds a name that starts with "<file name>.tmp".
inline bool TempFileBeside(const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
  const std::string prefix = file.filename().string() + ".tmp";
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    if (e.path().filename().string().rfind(prefix, 0) == 0) return true;
  return false;
}
