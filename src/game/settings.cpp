#include "game/settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "game/safe_file.h"
#include "platform/data_file.h"
#include "toolkit/errors.h"

TSettings Settings;

namespace game {

std::string SettingsFileInUse;

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxSettingsBytes = 1 << 20;

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  const size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The key of a "key = value" line, lower case ("" for comments, blank and broken lines).
std::string KeyOf(const std::string& line) {
  const std::string t = Trim(line);
  if (t.empty() || t[0] == '#' || t[0] == ';' || t[0] == '[') return {};
  const size_t eq = t.find('=');
  return eq == std::string::npos ? std::string() : Lower(Trim(t.substr(0, eq)));
}

bool ReadBool(const std::string& v, bool& out) {
  const std::string l = Lower(v);
  if (l == "yes" || l == "true" || l == "on" || l == "1") return out = true, true;
  if (l == "no" || l == "false" || l == "off" || l == "0") return out = false, true;
  return false;
}

// A whole number; `clamped` when it lay outside lo..hi.
bool ReadInt(const std::string& v, int lo, int hi, int& out, bool& clamped) {
  if (v.empty()) return false;
  char* end = nullptr;
  const long long n = std::strtoll(v.c_str(), &end, 10);
  if (end == v.c_str() || *end != '\0') return false;
  out = static_cast<int>(std::clamp<long long>(n, lo, hi));
  clamped = n < lo || n > hi;
  return true;
}

std::string Percent(int v) { return std::to_string(v); }
std::string YesNo(bool b) { return b ? "yes" : "no"; }
std::string Number(double d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", d);
  return buf;
}

// The known keys in the order a new file lists them, with their values in `s`.
std::vector<std::pair<std::string, std::string>> Values(const TSettings& s) {
  return {{"music_volume", Percent(s.MusicVolume)},
          {"music_mute", YesNo(s.MusicMuted)},
          {"effects_volume", Percent(s.EffectsVolume)},
          {"effects_mute", YesNo(s.EffectsMuted)},
          {"fullscreen", YesNo(s.FullScreen)},
          {"mouse_sensitivity", Number(s.MouseSensitivity)},
          {"language", s.Language}};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

}  // namespace

std::string SettingsFileFor(const std::string& xdgConfigHome, const std::string& home) {
  // A relative XDG_CONFIG_HOME is invalid by the base-directory rules and is ignored.
  if (!xdgConfigHome.empty() && xdgConfigHome.front() == '/') {
    return (fs::path(xdgConfigHome) / "kobaltix/settings.ini").lexically_normal().string();
  }
  if (!home.empty()) {
    return (fs::path(home) / ".config/kobaltix/settings.ini").lexically_normal().string();
  }
  return {};
}

std::string SettingsFile() {
  const char* x = std::getenv("XDG_CONFIG_HOME");
  const char* h = std::getenv("HOME");
  return SettingsFileFor(x ? x : "", h ? h : "");
}

std::vector<std::string> ParseSettings(const std::string& text, TSettings& s) {
  std::vector<std::string> warnings;
  const std::vector<std::string> lines = Lines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string where = "line " + std::to_string(i + 1) + ": ";
    const std::string t = Trim(lines[i]);
    if (t.empty() || t[0] == '#' || t[0] == ';' || t[0] == '[') continue;
    if (t.find('\0') != std::string::npos) {
      warnings.push_back(where + "not text, ignored");
      continue;
    }
    const size_t eq = t.find('=');
    if (eq == std::string::npos) {
      warnings.push_back(where + "no \"key = value\", ignored");
      continue;
    }
    const std::string key = Lower(Trim(t.substr(0, eq)));
    const std::string value = Trim(t.substr(eq + 1));
    bool ok = true, clamped = false;
    if (key == "music_volume") {
      ok = ReadInt(value, 0, 100, s.MusicVolume, clamped);
    } else if (key == "effects_volume") {
      ok = ReadInt(value, 0, 100, s.EffectsVolume, clamped);
    } else if (key == "music_mute") {
      ok = ReadBool(value, s.MusicMuted);
    } else if (key == "effects_mute") {
      ok = ReadBool(value, s.EffectsMuted);
    } else if (key == "fullscreen") {
      ok = ReadBool(value, s.FullScreen);
    } else if (key == "mouse_sensitivity") {
      char* end = nullptr;
      const double d = std::strtod(value.c_str(), &end);
      ok = !value.empty() && *end == '\0' && std::isfinite(d);
      if (ok) {
        s.MouseSensitivity = std::clamp(d, 0.1, 10.0);
        clamped = s.MouseSensitivity != d;
      }
    } else if (key == "language") {
      ok = value.empty() ||
           value.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos;
      if (ok) s.Language = value;
    }
    if (!ok) warnings.push_back(where + "\"" + value + "\" is no value for " + key + ", ignored");
    if (clamped) warnings.push_back(where + key + " out of range, limited");
  }
  return warnings;
}

std::string FormatSettings(const std::string& old, const TSettings& s) {
  const auto values = Values(s);
  std::vector<bool> written(values.size(), false);
  std::string out;
  for (const std::string& line : Lines(old)) {
    const std::string key = KeyOf(line);
    auto it = std::find_if(values.begin(), values.end(), [&](auto& kv) { return kv.first == key; });
    if (it == values.end()) {
      out += line + "\n";
      continue;
    }
    const size_t k = static_cast<size_t>(it - values.begin());
    if (written[k]) continue;  // a repeated key: the first line holds the value now
    written[k] = true;
    out += it->first + " = " + it->second + "\n";
  }
  for (size_t k = 0; k < values.size(); ++k) {
    if (!written[k]) out += values[k].first + " = " + values[k].second + "\n";
  }
  return out;
}

namespace {
// The file's text; false (with `why`) when it cannot be read. A missing file is empty text.
bool ReadSettingsText(const std::string& path, std::string& text, std::string& why) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(path, ec))) return true;
  std::vector<uint8_t> bytes;
  int error = 0;
  if (!platform::ReadDataFile(path, kMaxSettingsBytes + 1, bytes, error)) {
    why = platform::DataFileReason(error);
    return false;
  }
  if (bytes.size() > kMaxSettingsBytes) {
    why = "larger than 1 MiB";
    return false;
  }
  text.assign(bytes.begin(), bytes.end());
  return true;
}
}  // namespace

void LoadSettings(const std::string& path) {
  if (path.empty()) return;
  std::string text, why;
  if (!ReadSettingsText(path, text, why)) {
    std::fprintf(stderr, "kobaltix: %s: %s; the defaults are used\n", path.c_str(), why.c_str());
    return;
  }
  for (const std::string& w : ParseSettings(text, Settings)) {
    std::fprintf(stderr, "kobaltix: %s: %s\n", path.c_str(), w.c_str());
  }
}

bool SaveSettings(const std::string& path) {
  if (path.empty()) return false;
  std::string old, why;
  // A file that cannot be read is not written over: it may be something else than ours.
  if (!ReadSettingsText(path, old, why)) {
    std::fprintf(stderr, "kobaltix: %s: %s; the settings are not saved\n", path.c_str(),
                 why.c_str());
    return false;
  }
  try {
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    WriteFileSafely(path, FormatSettings(old, Settings));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kobaltix: the settings are not saved: %s\n", e.what());
    return false;
  }
  return true;
}

}  // namespace game
