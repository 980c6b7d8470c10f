// KobalTix in a browser: the page's start-up code. The data is preloaded at /data; the player's
// home (/home/web_user, the XDG data and config folders under it) is kept in the browser's
// IndexedDB, so the record table, level sets and any later settings file last across reloads.
// `?edit` in the address opens the level editor, as --edit does on the command line;
// `?lang=en` chooses the language as --lang does, before the settings file and the browser's own
// language (navigator.language, which stands where LANG stands natively).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "game/data_paths.h"
#include "game/level_set.h"
#include "game/main_form.h"
#include "game/settings.h"
#include "platform/platform.h"
#include "platform/web/web_platform.h"
#include "toolkit/translate.h"

namespace {
constexpr const char* kHome = "/home/web_user";
constexpr const char* kData = "/data";
}  // namespace

int main() {
  // The native program's rules for the player's folders apply unchanged, inside the kept home.
  setenv("HOME", kHome, 1);
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_CONFIG_HOME");
  if (!platform::web::KeepFolder(kHome)) {
    std::fprintf(stderr, "kobaltix: records will last only until the page is left\n");
  }
  const std::string query = platform::web::PageQuery();
  const bool edit = platform::web::QueryHas(query, "edit");

  // The settings file in the kept home, read before anything is shown, as natively.
  const std::string settingsFile = game::SettingsFile();
  game::LoadSettings(settingsFile);
  game::SettingsFileInUse = settingsFile;
  const std::string browserLanguage = platform::web::BrowserLanguage();
  toolkit::SetLanguage(toolkit::ChooseLanguage(
      platform::web::QueryValue(query, "lang"), Settings.Language, [&](const char* name) {
        return std::string(name) == "LANG" && !browserLanguage.empty() ? browserLanguage.c_str()
                                                                       : nullptr;
      }));

  std::error_code ec;
  std::filesystem::current_path(kData, ec);
  if (ec || !game::HoldsGameData(kData)) {
    std::fprintf(stderr, "kobaltix: the page's data is missing (%s)\n", kData);
    platform::web::ReportEnded(1);
    return 1;
  }
  // The preloaded data is shared and rebuilt with every new version of the page: like installed
  // data, it keeps the records in the player's folder.
  game::DataDirSearch data;
  data.dir = kData;
  data.installed = true;
  game::ChooseRecordPlace(data, game::PlayerDataDir());

  std::string setFolder;
  if (edit) {
    setFolder = game::SetFolderFor("mine");
    std::string why;
    if (setFolder.empty() || !game::EnsureLevelSet(setFolder, "levels", why)) {
      std::fprintf(stderr, "kobaltix: cannot make the level set: %s\n", why.c_str());
      platform::web::ReportEnded(1);
      return 1;
    }
  }

  platform::Install(platform::web::Make());
  // The page is the window: the game runs windowed in it whatever `fullscreen` says; full screen
  // is the browser's.
  const int status = RunGame(false, setFolder, edit);
  platform::Uninstall();
  platform::web::ReportEnded(status);
  return status;
}
