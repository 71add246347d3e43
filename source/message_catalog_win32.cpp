// Windows has no gettext: the program carries its catalogs, compiled from the same po/ files at
// build time (embedded_catalogs.h), and reads them itself.
#include <windows.h>

#include "source/compiled_catalog.h"
#include "source/embedded_catalogs.h"
#include "source/message_catalog.h"

namespace pagerake {
namespace {

// The catalog in use, process-wide as gettext's own choice is on other systems: opened once at
// start, before any thread, then only read.
std::optional<CompiledCatalog>& CatalogInUse() {
  static std::optional<CompiledCatalog> catalog;
  return catalog;
}

}  // namespace

bool OpenMessageCatalog(const std::string& language) {
  const std::string_view bytes = EmbeddedCatalog(language);
  if (bytes.empty()) return false;
  CatalogInUse() = CompiledCatalog::Read(std::string(bytes));
  return CatalogInUse().has_value();
}

const char* LookUpMessage(const char* msgid) {
  return CatalogInUse() ? CatalogInUse()->Find(msgid) : nullptr;
}

std::optional<std::string> SystemMessageLanguage() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE ? "zh" : "en";
}

}  // namespace pagerake
