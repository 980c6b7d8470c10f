// KobalTix: the program starts here. It reads the command line, finds the game's data and the
// player's record table, installs the SDL platform and runs the game's windows.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "game/command_line.h"
#include "game/data_paths.h"
#include "game/main_form.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/sdl/sdl_platform.h"

int main(int argc, char** argv) {
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

  // The game reads its files relative to the working directory: the data directory found
  // becomes it, so started from its data directory nothing changes at all.
  std::error_code ec;
  const std::string cwd = std::filesystem::current_path(ec).string();
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

  auto sdl = platform::sdl::Make();
  if (!sdl) {
    std::fprintf(stderr, "kobaltix: the display system could not be started\n");
    return 1;
  }
  platform::Install(std::move(sdl));
  int status = RunGame(!options.window);
  platform::Uninstall();
  return status;
}
