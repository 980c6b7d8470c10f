// The program's command line: the options, their parser and the texts of --help and --version.
// A new option is a field here, a branch in ParseCommandLine and a line of UsageText.
#pragma once

#include <string>
#include <vector>

namespace game {

struct CommandLine {
  bool help = false;         // --help: print the usage on standard output and end with status 0
  bool version = false;      // --version: print VersionText() and end with status 0
  bool window = false;       // --window: start in a window instead of full screen
  std::string dataDir;       // --data DIR: the data directory to use; "" searches for it
  bool edit = false;         // --edit [SET]: open the level editor instead of the game
  std::string editSet;       // the set --edit works on ("mine" when none is given)
  std::string levels;        // --levels SET: play the levels of SET; "" plays the shipped levels
  std::string replay;        // --replay FILE: play the recorded game FILE in the window
  std::string verifyReplay;  // --verify-replay FILE: check FILE with no window, print the verdict
  std::string lang;          // --lang CODE: the language of the game's texts ("ru", "en"); ""
                             // follows the settings file, then the environment
  bool settings = false;     // --settings: print the settings file's path and end with status 0
};

// Parses the arguments that follow the program's name into `out`. Options taking a value accept
// it as the next argument or after "=" (--data=DIR); --edit takes the next argument as its set
// only when that does not begin with "-". --edit and --levels exclude each other. Returns "" on
// success, else a one-line reason ("unknown argument: -x"); `out` is then only partly filled.
std::string ParseCommandLine(const std::vector<std::string>& args, CommandLine& out);

// The usage text (several lines, ending with a newline).
std::string UsageText();

// "KobalTix 1.3 (build <id>)": the game's version and the build it came from.
std::string VersionText();

}  // namespace game
