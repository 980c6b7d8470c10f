// The player's settings: sound volumes, the start-up display, the mouse and the language. With
// the defaults below the game behaves as it always has. They live in
// $XDG_CONFIG_HOME/kobaltix/settings.ini as plain "key = value" lines.
#pragma once

#include <string>
#include <vector>

struct TSettings {
  int MusicVolume = 100;          // 0..100 %
  bool MusicMuted = false;        // the music is silent (its volume is kept)
  int EffectsVolume = 100;        // 0..100 %
  bool EffectsMuted = false;      // the effects are silent (their volume is kept)
  bool FullScreen = true;         // start in full screen (false: in a window)
  double MouseSensitivity = 1.0;  // paddle pixels per pixel of mouse motion
  std::string Language;           // "ru", "en", or empty: follow the environment
};

// The settings in force, read at start-up.
extern TSettings Settings;

namespace game {

// $XDG_CONFIG_HOME/kobaltix/settings.ini, or $HOME/.config/kobaltix/settings.ini when
// XDG_CONFIG_HOME is unset, empty or relative; "" when neither gives a place.
std::string SettingsFileFor(const std::string& xdgConfigHome, const std::string& home);
// SettingsFileFor with this process's XDG_CONFIG_HOME and HOME.
std::string SettingsFile();

// Reads the settings text into `s`, starting from the values `s` holds: known keys set their
// value, unknown keys and comments are passed over, and each line that cannot be read (no "=",
// a value out of its kind or range, a NUL byte) adds a warning naming its line and is otherwise
// ignored (a number out of range is clamped). Returns the warnings.
std::vector<std::string> ParseSettings(const std::string& text, TSettings& s);
// The text to write for `s` over the file's `old` text: every line of `old` stays as it was
// except the known keys' lines, which take the values of `s` (a key written twice keeps only its
// first line); known keys missing from `old` are added at the end. LF line ends.
std::string FormatSettings(const std::string& old, const TSettings& s);

// The file the running game saves changed settings to; "" (the default) saves nothing.
extern std::string SettingsFileInUse;

// Reads `path` into Settings (the defaults when it is missing), warnings on stderr prefixed by
// the path. A file too large (over 1 MiB) or not a regular file is left alone with a warning.
void LoadSettings(const std::string& path);
// Writes Settings to `path` through WriteFileSafely, making its folder; false (with the reason
// on stderr) when that fails. An empty `path` writes nothing and returns false.
bool SaveSettings(const std::string& path);

}  // namespace game
