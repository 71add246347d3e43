// The message catalogs of the program's texts: the system's gettext where it has one. The
// catalogs are the files po/ compiles into <locale dir>/<language>/LC_MESSAGES/pagerake.mo.
#pragma once

#include <optional>
#include <string>

namespace pagerake {

// Opens the catalog of `language` ("en" or "zh_CN"): beside the program (../share/locale), where
// it was installed, or in the build tree. Works under any locale the process runs with, the C
// locale of a minimal system included. False when no catalog is found (the texts then stay as the
// program writes them).
bool OpenMessageCatalog(const std::string& language);

// The catalog's text for `msgid`, or nullptr where the catalog has none.
const char* LookUpMessage(const char* msgid);

// The language the system's settings give the user where no variable of the environment names
// one ("en", "zh"): Windows' display language. Nothing where those variables are the system's
// only word (Linux).
std::optional<std::string> SystemMessageLanguage();

}  // namespace pagerake
