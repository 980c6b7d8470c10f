#include "game/level_set.h"

#include <filesystem>
#include <system_error>

#include "game/data_paths.h"
#include "game/levels.h"
#include "game/textfile.h"

namespace fs = std::filesystem;

namespace game {

bool IsSetPath(const std::string& arg) { return arg.find('/') != std::string::npos; }

bool ValidSetName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 32) return false;
  return true;
}

std::string NamedSetFolder(const std::string& name) {
  const std::string player = PlayerDataDir();
  return player.empty() ? std::string() : (fs::path(player) / "sets" / name).string();
}

std::string SetFolderFor(const std::string& arg) {
  return IsSetPath(arg) ? arg : NamedSetFolder(arg);
}

bool HoldsLevelSet(const std::string& folder) {
  std::error_code ec;
  for (int n = 1; n <= 20; ++n)
    if (fs::is_regular_file(NativePath(LevelFileIn(folder, n)), ec)) return true;
  return false;
}

bool EnsureLevelSet(const std::string& folder, const std::string& shippedLevels,
                    std::string& error) {
  if (HoldsLevelSet(folder)) return true;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    error = folder + ": " + ec.message();
    return false;
  }
  auto copy = [&](const std::string& from, const std::string& to) {
    if (!fs::is_regular_file(from, ec)) return true;
    fs::copy_file(from, to, fs::copy_options::skip_existing, ec);
    if (ec) error = to + ": " + ec.message();
    return !ec;
  };
  for (int n = 1; n <= 20; ++n) {
    if (!copy(NativePath(LevelFileIn(shippedLevels, n)), LevelFileIn(folder, n))) return false;
  }
  return true;
}

}  // namespace game
