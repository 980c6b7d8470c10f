// The player's language: the .po reader, the choice of language from the command line, the
// settings and the environment, the Russian and English word forms for counts, and the English
// catalogue against every message id in the sources (a text without its translation fails here).
#include "toolkit/translate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace toolkit;

namespace {

struct LanguageBack {
  ~LanguageBack() { SetLanguage("ru"); }
};

// An environment of the given variables only.
std::function<const char*(const char*)> Env(std::map<std::string, std::string> vars) {
  return [vars = std::move(vars)](const char* name) -> const char* {
    auto it = vars.find(name);
    return it == vars.end() ? nullptr : it->second.c_str();
  };
}

// The string literal (adjacent literals joined) starting at `s[i]`, C escapes resolved; false
// when `s[i]` starts none. `i` ends after it.
bool ReadLiteral(const std::string& s, size_t& i, std::string& out) {
  auto skipSpace = [&] {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  };
  skipSpace();
  if (i >= s.size() || s[i] != '"') return false;
  out.clear();
  while (i < s.size() && s[i] == '"') {
    for (++i; i < s.size() && s[i] != '"'; ++i) {
      if (s[i] == '\\' && i + 1 < s.size()) {
        const char c = s[++i];
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
      } else {
        out += s[i];
      }
    }
    ++i;
    skipSpace();
  }
  return true;
}

// Every message id written as Tr("..."), TrLater("...") or TrCount(n, "...", "...", "...") in
// the sources under `root`, with the file it was first seen in.
std::map<std::string, std::string> MessageIds(const fs::path& root) {
  std::map<std::string, std::string> ids;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".cpp" && ext != ".h") continue;
    std::ifstream f(entry.path(), std::ios::binary);
    const std::string s((std::istreambuf_iterator<char>(f)), {});
    for (const char* call : {"Tr(", "TrLater(", "TrCount("}) {
      const std::string token = call;
      for (size_t at = s.find(token); at != std::string::npos; at = s.find(token, at + 1)) {
        if (at > 0 && (std::isalnum(static_cast<unsigned char>(s[at - 1])) || s[at - 1] == '_'))
          continue;
        size_t i = at + token.size();
        int literals = 1;
        if (token == "TrCount(") {
          i = s.find(',', i);
          if (i == std::string::npos) continue;
          ++i;
          literals = 3;
        }
        for (int k = 0; k < literals; ++k) {
          std::string id;
          if (!ReadLiteral(s, i, id)) break;
          ids.emplace(id, entry.path().filename().string());
          if (i < s.size() && s[i] == ',') ++i;
        }
      }
    }
  }
  return ids;
}

// The printf conversions of a format, in order ("%d", "%s", "%.*s"; "%%" left out).
std::vector<std::string> Conversions(const std::string& f) {
  std::vector<std::string> out;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] != '%') continue;
    if (i + 1 < f.size() && f[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < f.size() && std::string_view("0123456789.*-+ #l").find(f[j]) != std::string::npos)
      ++j;
    out.push_back(f.substr(i, j + 1 - i));
    i = j;
  }
  return out;
}

}  // namespace

TEST(Translate, PoReaderTakesEntriesAsGettextWritesThem) {
  const char* po =
      "# a comment\n"
      "msgid \"\"\n"
      "msgstr \"\"\n"
      "\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
      "\n"
      "msgid \"Уровень: %d\"\n"
      "msgstr \"Level %d\"\n"
      "\n"
      "#, fuzzy\n"
      "msgid \"Рекорды:\"\n"
      "msgstr \"Records?\"\n"
      "\n"
      "msgid \"\"\n"
      "\"Две \"\n"
      "\"строки\"\n"
      "msgstr \"\"\n"
      "\"Two \\\"quoted\\\" \"\n"
      "\"lines\\n\"\n"
      "msgid \"Не переведено\"\n"
      "msgstr \"\"\n"
      "garbage line\n"
      "msgctxt \"menu\"\n"
      "msgid \"ОК\"\n"
      "msgstr \"OK\"\n";
  int bad = -1;
  const auto c = ParsePo(po, &bad);
  EXPECT_EQ(bad, 1);
  EXPECT_EQ(c.size(), 3u);
  EXPECT_EQ(c.at("Уровень: %d"), "Level %d");
  EXPECT_EQ(c.at("Две строки"), "Two \"quoted\" lines\n");
  EXPECT_EQ(c.at("ОК"), "OK");
  EXPECT_EQ(c.count("Рекорды:"), 0u);       // fuzzy: not a translation yet
  EXPECT_EQ(c.count("Не переведено"), 0u);  // empty: the id is shown
  EXPECT_EQ(c.count(""), 0u);               // the header is no message
}

TEST(Translate, LanguagesSwitchAndTextsStay) {
  LanguageBack back;
  EXPECT_EQ(SetLanguage("en"), "en");
  const char* en = Tr("Рекорды:");
  EXPECT_STREQ(en, "High scores:");
  EXPECT_STREQ(Tr("Нет такого текста"), "Нет такого текста");
  EXPECT_EQ(SetLanguage("ru"), "ru");
  EXPECT_STREQ(Tr("Рекорды:"), "Рекорды:");
  EXPECT_STREQ(en, "High scores:");    // what was handed out stays valid
  EXPECT_EQ(SetLanguage("de"), "ru");  // no German catalogue: the texts as written
  EXPECT_STREQ(Tr("Рекорды:"), "Рекорды:");
  EXPECT_EQ(SetLanguage(""), "ru");
  EXPECT_EQ(Language(), "ru");
}

TEST(Translate, CountsTakeEachLanguagesWordForm) {
  LanguageBack back;
  const auto ru = [](long long n) {
    return std::string(TrCount(n, "кирпич", "кирпича", "кирпичей"));
  };
  SetLanguage("ru");
  EXPECT_EQ(ru(1), "кирпич");
  EXPECT_EQ(ru(21), "кирпич");
  EXPECT_EQ(ru(101), "кирпич");
  EXPECT_EQ(ru(2), "кирпича");
  EXPECT_EQ(ru(24), "кирпича");
  EXPECT_EQ(ru(0), "кирпичей");
  EXPECT_EQ(ru(5), "кирпичей");
  EXPECT_EQ(ru(11), "кирпичей");
  EXPECT_EQ(ru(12), "кирпичей");
  EXPECT_EQ(ru(14), "кирпичей");
  EXPECT_EQ(ru(111), "кирпичей");
  EXPECT_EQ(ru(112), "кирпичей");
  SetLanguage("en");
  EXPECT_EQ(ru(1), "brick");
  EXPECT_EQ(ru(21), "bricks");
  EXPECT_EQ(ru(2), "bricks");
  EXPECT_EQ(ru(0), "bricks");
}

TEST(Translate, LanguageFollowsCommandLineSettingsThenEnvironment) {
  EXPECT_EQ(LocaleLanguage("en_US.UTF-8"), "en");
  EXPECT_EQ(LocaleLanguage("ru_RU.KOI8-R"), "ru");
  EXPECT_EQ(LocaleLanguage("de_DE@euro"), "de");
  EXPECT_EQ(LocaleLanguage("EN"), "en");
  EXPECT_EQ(LocaleLanguage("C.UTF-8"), "c");
  EXPECT_EQ(LocaleLanguage(""), "");

  // The first variable set (and not empty) decides, whether or not its locale exists here.
  EXPECT_EQ(EnvironmentLanguage(Env({})), "");
  EXPECT_EQ(EnvironmentLanguage(Env({{"LANG", "en_GB.UTF-8"}})), "en");
  EXPECT_EQ(EnvironmentLanguage(Env({{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "ru_RU.UTF-8"}})),
            "ru");
  EXPECT_EQ(EnvironmentLanguage(Env({{"LC_MESSAGES", "ru_RU.UTF-8"}, {"LC_ALL", "en_US"}})), "en");
  EXPECT_EQ(EnvironmentLanguage(Env({{"LC_ALL", ""}, {"LANG", "en_US"}})), "en");
  EXPECT_EQ(EnvironmentLanguage(Env({{"LANGUAGE", "en"}, {"LC_ALL", "ru_RU"}})), "en");
  // LANGUAGE is a list of preferences: the first the game speaks.
  EXPECT_EQ(EnvironmentLanguage(Env({{"LANGUAGE", "fr_FR:en_US:ru"}})), "en");
  EXPECT_EQ(EnvironmentLanguage(Env({{"LANGUAGE", ":ru:en"}})), "ru");
  EXPECT_EQ(EnvironmentLanguage(Env({{"LANGUAGE", "fr:de"}, {"LANG", "en_US"}})), "fr");
  EXPECT_EQ(EnvironmentLanguage(Env({{"LANG", "C"}})), "c");

  const auto env = Env({{"LANG", "en_US.UTF-8"}});
  EXPECT_EQ(ChooseLanguage("ru", "en", env), "ru");
  EXPECT_EQ(ChooseLanguage("", "ru", env), "ru");
  EXPECT_EQ(ChooseLanguage("", "", env), "en");
  EXPECT_EQ(ChooseLanguage("", "", Env({})), "");
}

TEST(Translate, CCAndUnknownLocalesShowTheTextsAsWritten) {
  LanguageBack back;
  for (const char* lang : {"C", "POSIX", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
    SetLanguage(ChooseLanguage("", "", Env({{"LANG", lang}})));
    EXPECT_EQ(Language(), "ru") << lang;
    EXPECT_STREQ(Tr("Чтобы  начать игру  нажмите  ENTER"), "Чтобы  начать игру  нажмите  ENTER");
  }
}

// Every text the sources show has its English translation, with the same printf conversions in
// the same order (a translation that dropped a %s would print garbage or crash).
TEST(Translate, EveryMessageIdHasItsEnglishTranslation) {
  const auto ids = MessageIds(fs::path(KX_SOURCE_DIR) / "src");
  ASSERT_GT(ids.size(), 80u);  // the scan found the game's texts
  ASSERT_TRUE(ids.count("Рекорды:"));
  ASSERT_TRUE(ids.count("кирпича"));               // TrCount's forms
  ASSERT_TRUE(ids.count("Image '%s' not found"));  // the component layers' formats
  const auto en = ParsePo(CarriedCatalogue("en"));
  std::vector<std::string> missing;
  for (const auto& [id, file] : ids) {
    auto it = en.find(id);
    if (it == en.end()) {
      missing.push_back(file + ": \"" + id + "\"");
      continue;
    }
    EXPECT_EQ(Conversions(it->second), Conversions(id)) << id;
  }
  EXPECT_TRUE(missing.empty()) << "no English translation for " << missing.size() << " texts:\n"
                               << ::testing::PrintToString(missing);
}

// The carried catalogue is the file in po/, read whole: no entry is lost on the way.
TEST(Translate, CarriedCatalogueIsThePoFile) {
  std::ifstream f(fs::path(KX_SOURCE_DIR) / "po" / "en.po", std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(f)), {});
  int bad = -1;
  const auto fromFile = ParsePo(file, &bad);
  EXPECT_EQ(bad, 0);
  const auto carried = ParsePo(CarriedCatalogue("en"));
  for (const auto& [id, str] : fromFile) EXPECT_EQ(carried.count(id), 1u) << id;
  EXPECT_GE(carried.size(), fromFile.size());
  // Each entry stands once and is translated: a message id written twice would leave it to the
  // reader which translation the player sees (msgfmt refuses such a file).
  size_t entries = 0;
  for (size_t at = 0; (at = file.find("msgid ", at)) != std::string::npos; at += 6)
    if (at == 0 || file[at - 1] == '\n') ++entries;
  EXPECT_EQ(entries, fromFile.size() + 1) << "entries in po/en.po, the header included";
}
