// The Windows build has no gettext: its texts stay as the program writes them.
#include "source/message_catalog.h"

namespace pagerake {

bool OpenMessageCatalog(const std::string&) { return false; }

const char* LookUpMessage(const char*) { return nullptr; }

}  // namespace pagerake
