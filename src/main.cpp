// KobalTix: the program starts here. It reads the command line, finds the game's data and the
// player's record table, installs the SDL platform and runs the game's windows.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "game/command_line.h"
#include "game/data_paths.h"
#include "game/level_set.h"
#include "game/main_form.h"
#include "game/replay_player.h"
#include "game/settings.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/stop_signals.h"
#include "toolkit/translate.h"

int main(int argc, char** argv) {
  platform::EndOnStopSignals();
  game::CommandLine options;
  const std::string error = game::ParseCommandLine(
      std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), options);
  if (!error.empty()) {
    std::fprintf(stderr, "kobaltix: %s\n%s", error.c_str(), game::UsageText().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(game::UsageText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("%s\n", game::VersionText().c_str());
    return 0;
  }
  const std::string settingsFile = game::SettingsFile();
  if (options.settings) {
    if (settingsFile.empty()) {
      std::fprintf(
          stderr,
          "kobaltix: no place for the settings (neither XDG_CONFIG_HOME nor HOME is set)\n");
      return 1;
    }
    std::printf("%s\n", settingsFile.c_str());
    return 0;
  }
  // The settings come before anything is shown: the language of every text depends on them.
  game::LoadSettings(settingsFile);
  game::SettingsFileInUse = settingsFile;
  toolkit::SetLanguage(toolkit::ChooseLanguage(options.lang, Settings.Language,
                                               [](const char* name) { return std::getenv(name); }));

  // The game reads its files relative to the working directory: the data directory found
  // becomes it, so started from its data directory nothing changes at all.
  std::error_code ec;
  const std::string cwd = std::filesystem::current_path(ec).string();
  // A level set's folder, made absolute now: a path on the command line means the folder seen
  // from where the program was started.
  std::string setFolder;
  if (options.edit || !options.levels.empty()) {
    const std::string set = options.edit ? options.editSet : options.levels;
    if (!game::IsSetPath(set) && !game::ValidSetName(set)) {
      std::fprintf(stderr, "kobaltix: not a level set's name: %s\n%s", set.c_str(),
                   game::UsageText().c_str());
      return 2;
    }
    setFolder = game::SetFolderFor(set);
    if (setFolder.empty()) {
      std::fprintf(stderr, "kobaltix: no folder for named level sets (HOME is not set)\n");
      return 1;
    }
    setFolder = std::filesystem::absolute(setFolder, ec).lexically_normal().string();
  }
  const game::DataDirSearch data =
      game::FindDataDir(options.dataDir, cwd, platform::ProgramDir(), game::ConfiguredDataDir());
  if (data.dir.empty()) {
    std::fputs(game::DataNotFoundMessage(data).c_str(), stderr);
    return 1;
  }
  std::filesystem::current_path(data.dir, ec);
  if (ec) {
    std::fprintf(stderr, "kobaltix: cannot enter the data directory %s: %s\n", data.dir.c_str(),
                 ec.message().c_str());
    return 1;
  }
  game::ChooseRecordPlace(data, game::PlayerDataDir());
  if (!options.replay.empty() || !options.verifyReplay.empty()) {
    const bool check = !options.verifyReplay.empty();
    std::string file = check ? options.verifyReplay : options.replay;
    // The replay's path means the file seen from where the program was started.
    file = (std::filesystem::path(cwd) / file).lexically_normal().string();
    if (check) return replay::RunReplay(file, true);
    auto sdl = platform::sdl::Make();
    if (!sdl) {
      std::fprintf(stderr, "kobaltix: the display system could not be started\n");
      return 1;
    }
    platform::Install(std::move(sdl));
    const int status = replay::RunReplay(file, false);
    platform::Uninstall();
    return status;
  }
  if (options.edit) {
    std::string why;
    if (!game::EnsureLevelSet(setFolder, "levels", why)) {
      std::fprintf(stderr, "kobaltix: cannot make the level set: %s\n", why.c_str());
      return 1;
    }
  } else if (!setFolder.empty()) {
    if (!game::HoldsLevelSet(setFolder)) {
      std::fprintf(stderr, "kobaltix: no level set in %s (make one with --edit)\n",
                   setFolder.c_str());
      return 1;
    }
    // A set keeps its own records, made from the clean table that ships with the game (never the
    // scores a build tree's data folder has gathered) when it is first played.
    game::UseRecordsInPlayerDir(setFolder, game::ShippedRecordTable(data));
  }

  auto sdl = platform::sdl::Make();
  if (!sdl) {
    // The reason is already out; nothing is opened, nothing waits.
    std::fprintf(stderr, "kobaltix: the display system could not be started\n");
    return 1;
  }
  platform::Install(std::move(sdl));
  int status = RunGame(Settings.FullScreen && !options.window, setFolder, options.edit);
  platform::Uninstall();
  return status;
}
