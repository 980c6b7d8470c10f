// The player's language. Every text the game shows goes through Tr: the message id is the game's
// own text (its Russian texts in UTF-8, the component layers' messages as written), and the
// answer is its translation in the chosen language's catalogue, or the id itself when the
// language is Russian, unset, or the catalogue lacks it. The catalogues are the po/*.po files,
// carried in the program by the build.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace toolkit {

// The text to show for `msgid`; the pointer stays valid for the program's life. A printf format
// passed through Tr keeps being checked against its arguments.
const char* Tr(const char* msgid) __attribute__((format_arg(1)));

// Marks a message id kept in a table and translated with Tr where it is shown.
constexpr const char* TrLater(const char* msgid) { return msgid; }

// The Russian word form for the count `n` among `one` (1, 21, 31 ...), `few` (2–4, 22–24 ...) and
// `many` (the rest), translated; the language in force picks by its own rule (English: `one` for
// exactly 1, else `many`).
const char* TrCount(long long n, const char* one, const char* few, const char* many);

// Chooses the language by its code ("ru", "en"); any other code, or "", chooses Russian (the
// texts as written). Returns the code in force afterwards.
std::string SetLanguage(std::string_view code);
// The code of the language in force ("ru" until SetLanguage chooses another).
const std::string& Language();
// The codes that have a catalogue, besides "ru" (whose texts are the ids).
const char* const* CatalogueLanguages();  // null-terminated

// The language part of a locale name ("en_US.UTF-8" -> "en", "ru" -> "ru", "C" -> "c"), lower
// case; "" for an empty name.
std::string LocaleLanguage(std::string_view locale);
// The language the environment asks for: the first of LANGUAGE (a colon list: its first entry
// that has a catalogue or is Russian, else its first entry), LC_ALL, LC_MESSAGES and LANG that is
// set and not empty, as LocaleLanguage of it; "" when none is. `getenv` reads one variable
// (null: unset).
std::string EnvironmentLanguage(const std::function<const char*(const char*)>& getenv);
// The language to use: `commandLine` when not empty, else `settings` when not empty, else the
// environment's. Unknown codes are passed on as they are (SetLanguage turns them to Russian).
std::string ChooseLanguage(const std::string& commandLine, const std::string& settings,
                           const std::function<const char*(const char*)>& getenv);

// Reads a GNU gettext catalogue (.po text): msgid -> msgstr for every entry with a non-empty
// translation that is not marked fuzzy (the header entry, whose msgid is "", is left out).
// Malformed lines are skipped and counted in `badLines` when given.
std::map<std::string, std::string> ParsePo(std::string_view text, int* badLines = nullptr);
// The carried catalogue text of `language` ("" when there is none).
std::string_view CarriedCatalogue(std::string_view language);

}  // namespace toolkit
