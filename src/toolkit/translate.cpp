#include "toolkit/translate.h"

#include <cctype>
#include <cstdlib>
#include <vector>

namespace toolkit {
namespace carried {
// The catalogues the build carries: {language, .po text} pairs, ended by {nullptr, nullptr}
// (generated from po/*.po by tools/embed_po.cmake).
extern const char* const kCatalogues[][2];
}  // namespace carried

namespace {

using Catalogue = std::map<std::string, std::string, std::less<>>;

// Every catalogue read so far stays for the program's life, so the texts Tr handed out stay
// valid when the language changes.
std::map<std::string, Catalogue, std::less<>>& Loaded() {
  static std::map<std::string, Catalogue, std::less<>> loaded;
  return loaded;
}

std::string& Current() {
  static std::string code = "ru";
  return code;
}

const Catalogue* g_active = nullptr;  // null: Russian, the ids themselves

bool HasCatalogue(std::string_view code) { return !CarriedCatalogue(code).empty(); }

// The body of a quoted .po string starting at `s[i]` == '"', escapes resolved; false when the
// quote is not closed.
bool ReadQuoted(std::string_view s, size_t i, std::string& out) {
  if (i >= s.size() || s[i] != '"') return false;
  for (++i; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') return true;
    if (c == '\\' && i + 1 < s.size()) {
      c = s[++i];
      switch (c) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'a':
          out += '\a';
          break;
        default:
          out += c;
          break;  // \" \\ and the rest stand for themselves
      }
      continue;
    }
    out += c;
  }
  return false;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

std::map<std::string, std::string> ParsePo(std::string_view text, int* badLines) {
  std::map<std::string, std::string> out;
  int bad = 0;
  // The entry being read: which string the continuation lines extend.
  enum class Part { None, Context, Id, Plural, Str, OtherStr } part = Part::None;
  std::string id, str;
  bool fuzzy = false, hasId = false, fuzzyNext = false;
  auto finish = [&] {
    if (hasId && !id.empty() && !str.empty() && !fuzzy) out[id] = str;
    id.clear();
    str.clear();
    hasId = false;
    fuzzy = false;
    part = Part::None;
  };
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line[0] == '#') {
      // A comment starts the next entry; its flags say whether that entry is fuzzy.
      if (part == Part::Str || part == Part::OtherStr) finish();
      if (line.rfind("#,", 0) == 0 && line.find("fuzzy") != std::string_view::npos)
        fuzzyNext = true;
      continue;
    }
    std::string value;
    const size_t quote = line.find('"');
    if (quote == std::string_view::npos || !ReadQuoted(line, quote, value)) {
      ++bad;
      continue;
    }
    const std::string_view keyword = Trim(line.substr(0, quote));
    if (keyword.empty()) {
      switch (part) {
        case Part::Id:
          id += value;
          break;
        case Part::Str:
          str += value;
          break;
        case Part::None:
          ++bad;
          break;
        default:
          break;
      }
    } else if (keyword == "msgctxt" || keyword == "msgid") {
      if (part != Part::Context || keyword == "msgctxt") finish();
      fuzzy = fuzzyNext;
      fuzzyNext = false;
      if (keyword == "msgctxt") {
        part = Part::Context;
      } else {
        part = Part::Id;
        hasId = true;
        id = value;
      }
    } else if (keyword == "msgid_plural") {
      part = Part::Plural;
    } else if (keyword == "msgstr" || keyword == "msgstr[0]") {
      part = Part::Str;
      str = value;
    } else if (keyword.rfind("msgstr[", 0) == 0) {
      part = Part::OtherStr;
    } else {
      ++bad;
    }
  }
  finish();
  if (badLines) *badLines = bad;
  return out;
}

std::string_view CarriedCatalogue(std::string_view language) {
  for (size_t i = 0; carried::kCatalogues[i][0] != nullptr; ++i) {
    if (language == carried::kCatalogues[i][0]) return carried::kCatalogues[i][1];
  }
  return {};
}

const char* const* CatalogueLanguages() {
  static const std::vector<const char*> codes = [] {
    std::vector<const char*> v;
    for (size_t i = 0; carried::kCatalogues[i][0] != nullptr; ++i)
      v.push_back(carried::kCatalogues[i][0]);
    v.push_back(nullptr);
    return v;
  }();
  return codes.data();
}

std::string SetLanguage(std::string_view code) {
  if (code == "ru" || !HasCatalogue(code)) {
    Current() = "ru";
    g_active = nullptr;
    return Current();
  }
  auto& loaded = Loaded();
  auto it = loaded.find(code);
  if (it == loaded.end()) {
    Catalogue c;
    for (auto& [id, str] : ParsePo(CarriedCatalogue(code))) c.emplace(id, str);
    it = loaded.emplace(std::string(code), std::move(c)).first;
  }
  Current() = std::string(code);
  g_active = &it->second;
  return Current();
}

const std::string& Language() { return Current(); }

const char* Tr(const char* msgid) {
  if (g_active == nullptr || msgid == nullptr) return msgid;
  auto it = g_active->find(std::string_view(msgid));
  return it == g_active->end() ? msgid : it->second.c_str();
}

const char* TrCount(long long n, const char* one, const char* few, const char* many) {
  if (g_active != nullptr) return Tr(n == 1 || n == -1 ? one : many);
  const long long a = n < 0 ? -n : n;
  const long long ones = a % 10, tens = a % 100;
  if (ones == 1 && tens != 11) return one;
  if (ones >= 2 && ones <= 4 && (tens < 12 || tens > 14)) return few;
  return many;
}

std::string LocaleLanguage(std::string_view locale) {
  std::string code;
  for (char c : locale) {
    if (c == '_' || c == '.' || c == '@' || c == '-') break;
    code += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return code;
}

std::string EnvironmentLanguage(const std::function<const char*(const char*)>& getenv) {
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = getenv(name);
    if (v == nullptr || *v == '\0') continue;
    const std::string_view value(v);
    if (std::string_view(name) != "LANGUAGE") return LocaleLanguage(value);
    // A list of preferences: the first one the game speaks.
    std::string first;
    size_t start = 0;
    while (start <= value.size()) {
      size_t colon = value.find(':', start);
      if (colon == std::string_view::npos) colon = value.size();
      const std::string code = LocaleLanguage(value.substr(start, colon - start));
      start = colon + 1;
      if (code.empty()) continue;
      if (code == "ru" || HasCatalogue(code)) return code;
      if (first.empty()) first = code;
    }
    if (!first.empty()) return first;
  }
  return {};
}

std::string ChooseLanguage(const std::string& commandLine, const std::string& settings,
                           const std::function<const char*(const char*)>& getenv) {
  if (!commandLine.empty()) return commandLine;
  if (!settings.empty()) return settings;
  return EnvironmentLanguage(getenv);
}

}  // namespace toolkit
