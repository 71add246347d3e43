#include "app/translation.h"

#include <cstdlib>
#include <vector>

#include "app/text_templates.h"
#include "source/message_catalog.h"

namespace pagerake {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether `text` from `t` on has the shape of `tmpl` from `k` on; the parts standing for %d and
// %s are appended to `args`.
bool Match(std::string_view tmpl, size_t k, std::string_view text, size_t t,
           std::vector<std::string>& args) {
  while (k < tmpl.size()) {
    if (tmpl[k] == '%' && k + 1 < tmpl.size() && tmpl[k + 1] == 'd') {
      size_t e = t;
      while (e < text.size() && IsDigit(text[e])) ++e;
      if (e == t) return false;
      args.emplace_back(text.substr(t, e - t));
      k += 2;
      t = e;
      continue;
    }
    if (tmpl[k] == '%' && k + 1 < tmpl.size() && tmpl[k + 1] == 's') {
      for (size_t e = t; e <= text.size(); ++e) {  // the shortest part that lets the rest match
        const size_t held = args.size();
        args.emplace_back(text.substr(t, e - t));
        if (Match(tmpl, k + 2, text, e, args)) return true;
        args.resize(held);
      }
      return false;
    }
    const size_t step = tmpl[k] == '%' && k + 1 < tmpl.size() && tmpl[k + 1] == '%' ? 2 : 1;
    if (t >= text.size() || text[t] != tmpl[k]) return false;
    k += step;
    ++t;
  }
  return t == text.size();
}

// `translated` with its %d, %s (in turn) and %N$d, %N$s (by number) replaced by `args`.
std::string Fill(std::string_view translated, const std::vector<std::string>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < translated.size(); ++i) {
    if (translated[i] != '%' || i + 1 >= translated.size()) {
      out += translated[i];
      continue;
    }
    size_t j = i + 1;
    size_t index = next;
    if (IsDigit(translated[j])) {
      size_t e = j;
      while (e < translated.size() && IsDigit(translated[e])) ++e;
      if (e < translated.size() && translated[e] == '$') {
        index = static_cast<size_t>(std::atoi(std::string(translated.substr(j, e - j)).c_str())) - 1;
        j = e + 1;
      }
    }
    if (j < translated.size() && (translated[j] == 'd' || translated[j] == 's') &&
        index < args.size()) {
      out += args[index];
      if (index == next) ++next;
      i = j;
    } else if (j < translated.size() && translated[j] == '%') {
      out += '%';
      i = j;
    } else {
      out += '%';
    }
  }
  return out;
}

// Where the number that begins at `i` ends: its digits, and groups of three after commas (1,234).
size_t NumberEnd(std::string_view text, size_t i) {
  const auto digit = [text](size_t k) { return k < text.size() && IsDigit(text[k]); };
  while (digit(i)) ++i;
  while (i < text.size() && text[i] == ',' && digit(i + 1) && digit(i + 2) && digit(i + 3) &&
         !digit(i + 4)) {
    i += 4;
  }
  return i;
}

// A part of a line made of parts, through the catalog's text for it with %s for each number (a
// grouped number is one: "%s proven"); the part as it is where the catalog has none.
std::string TranslatePart(std::string_view part,
                          const std::function<const char*(const char*)>& lookup) {
  std::string shape;
  std::vector<std::string> numbers;
  for (size_t i = 0; i < part.size();) {
    if (IsDigit(part[i])) {
      const size_t end = NumberEnd(part, i);
      numbers.emplace_back(part.substr(i, end - i));
      shape += "%s";
      i = end;
    } else {
      if (part[i] == '%') shape += '%';
      shape += part[i++];
    }
  }
  // An empty part looks up the empty msgid, which a catalog answers with its header.
  const char* text = shape.empty() ? nullptr : lookup(shape.c_str());
  return text != nullptr ? Fill(text, numbers) : std::string(part);
}

// The lines the core makes of parts ("640 pages: 632 proven, 8 zero", "size: 640 pages, from
// page 0 (page 0 as read recorded 1,000)"), part by part, whichever parts a line has.
std::string TranslateParts(std::string_view line,
                           const std::function<const char*(const char*)>& lookup) {
  static constexpr std::string_view kSeparators[] = {": ", ", ", " (", ")"};
  std::string out;
  size_t begin = 0;
  for (size_t i = 0; i < line.size();) {
    std::string_view separator;
    for (std::string_view s : kSeparators) {
      if (line.substr(i).starts_with(s)) {
        separator = s;
        break;
      }
    }
    if (separator.empty()) {
      ++i;
      continue;
    }
    out += TranslatePart(line.substr(begin, i - begin), lookup);
    out += separator;
    i += separator.size();
    begin = i;
  }
  return out + TranslatePart(line.substr(begin), lookup);
}

std::string TranslateLine(std::string_view line,
                          const std::function<const char*(const char*)>& lookup) {
  if (line.empty()) return {};
  const std::string whole(line);
  if (const char* text = lookup(whole.c_str())) return text;
  // The shape: each run of digits stands as %d.
  std::string shape;
  std::vector<std::string> args;
  bool shaped = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (IsDigit(line[i])) {
      size_t e = i;
      while (e < line.size() && IsDigit(line[e])) ++e;
      args.emplace_back(line.substr(i, e - i));
      shape += "%d";
      i = e - 1;
      shaped = true;
    } else if (line[i] == '%') {
      shape += "%%";
      shaped = true;
    } else {
      shape += line[i];
    }
  }
  if (shaped) {
    if (const char* text = lookup(shape.c_str())) return Fill(text, args);
  }
  for (const char* tmpl : NamedTextTemplates()) {
    args.clear();
    if (!Match(tmpl, 0, line, 0, args)) continue;
    if (const char* text = lookup(tmpl)) return Fill(text, args);
  }
  return TranslateParts(line, lookup);
}

}  // namespace

std::optional<Language> ParseLanguage(std::string_view name) {
  if (name == "en" || name.starts_with("en_") || name.starts_with("en-")) return Language::kEnglish;
  if (name == "zh" || name.starts_with("zh_") || name.starts_with("zh-")) return Language::kChinese;
  return std::nullopt;
}

Language LanguageOfEnvironment(const std::function<const char*(const char*)>& getenv,
                               const std::optional<std::string>& system) {
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = getenv(name);
    if (value == nullptr || *value == '\0') continue;
    return std::string_view(value).starts_with("zh") ? Language::kChinese : Language::kEnglish;
  }
  return system ? ParseLanguage(*system).value_or(Language::kEnglish) : Language::kEnglish;
}

Language LanguageOfCommandLine(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    std::optional<Language> asked;
    if (arg == "--lang" && i + 1 < argc) asked = ParseLanguage(argv[i + 1]);
    if (arg.starts_with("--lang=")) asked = ParseLanguage(arg.substr(7));
    if (asked) return *asked;
  }
  return LanguageOfEnvironment([](const char* name) { return std::getenv(name); },
                               SystemMessageLanguage());
}

bool UseLanguage(Language language) {
  return OpenMessageCatalog(language == Language::kChinese ? "zh_CN" : "en");
}

std::string TranslateWith(std::string_view text,
                          const std::function<const char*(const char*)>& lookup) {
  std::string out;
  size_t begin = 0;
  while (true) {
    const size_t end = text.find('\n', begin);
    out += TranslateLine(text.substr(begin, end - begin), lookup);
    if (end == std::string_view::npos) break;
    out += '\n';
    begin = end + 1;
  }
  return out;
}

std::string Tr(std::string_view text) {
  return TranslateWith(text, [](const char* msgid) { return LookUpMessage(msgid); });
}

}  // namespace pagerake
