#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "source/message_catalog.h"

namespace pagerake {
namespace {
constexpr const char* kDomain = "pagerake";

std::optional<std::string> FindLocaleDir(const std::string& language) {
  std::error_code error;
  std::vector<std::filesystem::path> dirs;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) dirs.push_back(self.parent_path().parent_path() / "share" / "locale");
  dirs.emplace_back(PAGERAKE_LOCALE_DIR);
  dirs.emplace_back(PAGERAKE_BUILD_LOCALE_DIR);
  for (const std::filesystem::path& dir : dirs) {
    if (std::filesystem::is_regular_file(dir / language / "LC_MESSAGES" / "pagerake.mo", error)) {
      return dir.string();
    }
  }
  return std::nullopt;
}
}  // namespace

bool OpenMessageCatalog(const std::string& language) {
  const std::optional<std::string> localeDir = FindLocaleDir(language);
  if (!localeDir) return false;
  // Only the messages follow the locale: numbers stay as the C locale writes them.
  std::setlocale(LC_MESSAGES, "");
  // gettext passes LANGUAGE by under the C locale; C.UTF-8 is built into the C library, so the
  // catalog is found without any locale being generated on the machine.
  const char* messages = std::setlocale(LC_MESSAGES, nullptr);
  const std::string current = messages != nullptr ? messages : "C";
  if (current == "C" || current == "POSIX") std::setlocale(LC_MESSAGES, "C.UTF-8");
  setenv("LANGUAGE", language.c_str(), 1);
  if (bindtextdomain(kDomain, localeDir->c_str()) == nullptr) return false;
  bind_textdomain_codeset(kDomain, "UTF-8");
  // The C library's own messages (strerror's, in the reasons of failed opens) follow LANGUAGE
  // too; the character type stays C, so without this they come out as question marks.
  bind_textdomain_codeset("libc", "UTF-8");
  return true;
}

const char* LookUpMessage(const char* msgid) {
  const char* text = dgettext(kDomain, msgid);
  return text == msgid ? nullptr : text;
}

std::optional<std::string> SystemMessageLanguage() { return std::nullopt; }

}  // namespace pagerake
