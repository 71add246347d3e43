// The language of the program's texts. The texts are written in the code in one language (the
// window's and the core's in Chinese, the command line's own in English) and shown in the user's
// through the message catalogs. A text often carries numbers and names ("缺少页面233"): it is
// looked up by its shape, the numbers standing as %d ("缺少页面%d"), and where that is not in the
// catalog, by the templates of texts that carry names (%s). Texts are translated where they are
// shown (the Hosts, the command line's printing), never where they are made, so that the core,
// its tests and the JSON keep the program's own texts.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pagerake {

enum class Language { kChinese, kEnglish };

// "en" or "zh" (also "zh_CN", "zh-TW" and the like); nothing for any other name.
std::optional<Language> ParseLanguage(std::string_view name);

// The language the usual variables ask for: the first set of LANGUAGE, LC_ALL, LC_MESSAGES and
// LANG. Chinese for zh*, English for every other value, C, POSIX and C.UTF-8 included. When none
// is set, the system's language where it has one of its own (Windows' display language), else
// English. `getenv` reads a variable (nullptr where it is not set).
Language LanguageOfEnvironment(const std::function<const char*(const char*)>& getenv,
                               const std::optional<std::string>& system = std::nullopt);

// Opens the catalog of `language` for Tr(). False where it cannot be found (the texts then stay
// as written).
bool UseLanguage(Language language);

// The language of `--lang` where given (its value after the flag, or "--lang=X"), else of the
// environment. A value that is not a language is left for the command line's parser to refuse.
Language LanguageOfCommandLine(int argc, const char* const* argv);

// `text` in the language opened, line by line; lines the catalog does not hold stay as they are.
std::string Tr(std::string_view text);

// Tr() through `lookup` (the catalog's text for a msgid, nullptr where it has none).
std::string TranslateWith(std::string_view text,
                          const std::function<const char*(const char*)>& lookup);

}  // namespace pagerake
