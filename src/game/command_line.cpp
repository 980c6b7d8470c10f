#include "game/command_line.h"

#ifndef KX_BUILD_ID
#define KX_BUILD_ID "unknown"
#endif

namespace game {

std::string ParseCommandLine(const std::vector<std::string>& args, CommandLine& out) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const size_t eq = a.find('=');
    const std::string name = a.rfind("--", 0) == 0 && eq != std::string::npos ? a.substr(0, eq) : a;
    const bool inlineValue = name.size() != a.size();
    // The value of an option that takes one: after "=", else the next argument.
    auto value = [&](std::string& into) -> std::string {
      if (inlineValue) {
        into = a.substr(eq + 1);
      } else if (i + 1 < args.size()) {
        into = args[++i];
      } else {
        return "option " + name + " needs a value";
      }
      if (into.empty()) return "option " + name + " needs a value";
      return {};
    };
    std::string error;
    if (name == "--help" && !inlineValue) {
      out.help = true;
    } else if (name == "--version" && !inlineValue) {
      out.version = true;
    } else if (name == "--window" && !inlineValue) {
      out.window = true;
    } else if (name == "--data") {
      error = value(out.dataDir);
    } else if (name == "--edit") {
      out.edit = true;
      if (inlineValue || (i + 1 < args.size() && args[i + 1].rfind("-", 0) != 0)) {
        error = value(out.editSet);
      } else {
        out.editSet = "mine";
      }
    } else if (name == "--levels") {
      error = value(out.levels);
    } else if (name == "--lang") {
      error = value(out.lang);
    } else if (name == "--settings" && !inlineValue) {
      out.settings = true;
    } else if (name == "--replay") {
      error = value(out.replay);
    } else if (name == "--verify-replay") {
      error = value(out.verifyReplay);
    } else {
      error = "unknown argument: " + a;
    }
    if (!error.empty()) return error;
  }
  if (out.edit && !out.levels.empty()) return "--edit and --levels cannot be used together";
  if ((out.edit || !out.levels.empty()) && !(out.replay.empty() && out.verifyReplay.empty()))
    return "a replay plays the level files it was recorded with: no --edit or --levels with it";
  if (!out.replay.empty() && !out.verifyReplay.empty())
    return "--replay and --verify-replay cannot be used together";
  return {};
}

std::string UsageText() {
  return "Usage: kobaltix [OPTION]...\n"
         "KobalTix, a brick-breaking arcade game.\n"
         "\n"
         "  --window             start in a window instead of full screen\n"
         "  --data DIR           use the game's data in DIR\n"
         "  --edit [SET]         open the level editor on the level set SET (default: mine)\n"
         "  --levels SET         play the levels of the level set SET, with its own records\n"
         "  --lang CODE          the language of the game's texts: ru (Russian) or en (English)\n"
         "  --settings           print the settings file's path and exit\n"
         "  --replay FILE        play the recorded game FILE (Space pauses, Right and Left\n"
         "                       run at 4x and 1/4x, Home starts again, Escape leaves)\n"
         "  --verify-replay FILE check FILE with no window and no sound and print\n"
         "                       \"score S, level L, frames F, ok\" (status 0) or where it\n"
         "                       differs (status 1)\n"
         "  --help               print this help and exit\n"
         "  --version            print the version and the build and exit\n"
         "\n"
         "Without --data the game uses the working directory when it holds the data, else the\n"
         "installed data. With installed or read-only data the records are kept in\n"
         "$XDG_DATA_HOME/kobaltix/rec.kbx (~/.local/share/kobaltix/rec.kbx), else beside the "
         "data.\n"
         "A level set is a folder of lev1.lev ... lev20.lev and its rec.kbx. SET is a name, kept "
         "in\n"
         "$XDG_DATA_HOME/kobaltix/sets/SET/ and made from the shipped levels when --edit first\n"
         "opens it, or a folder's path (anything holding a '/', such as ./mylevels).\n"
         "The settings (volumes, full screen, mouse, language) are kept in\n"
         "$XDG_CONFIG_HOME/kobaltix/settings.ini (~/.config/kobaltix/settings.ini).\n"
         "Every game is recorded in $XDG_DATA_HOME/kobaltix/replays/ (a level set's games in a\n"
         "folder of its own); the newest 100 and those of the record table are kept.\n";
}

std::string VersionText() { return std::string("KobalTix 1.3 (build ") + KX_BUILD_ID + ")"; }

}  // namespace game
