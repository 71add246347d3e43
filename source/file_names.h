// Giving output files their names: creating a file under a name that nothing holds yet, and
// moving a finished file onto its name. Paths are UTF-8.
#pragma once

#include <string>

namespace pagerake {

enum class NewFile {
  kCreated,  // a new empty file is there now
  kExists,   // something holds the name (a file, a folder, even a dangling link)
  kFailed,   // it cannot be created for another reason, given in `reason`
};

// Creates an empty file at `path` only if nothing is there yet, in one step, so that two writers
// never both believe they created it.
[[nodiscard]] NewFile CreateNewFile(const std::string& path, std::string& reason);

// Renames the file `from` to `to`, replacing a file that is there, in one step: `to` names either
// the old file or the new one, never nothing. Both in the same folder (or at least on the same
// volume). False, with the system's reason, when it fails; nothing has changed then.
[[nodiscard]] bool MoveOnto(const std::string& from, const std::string& to, std::string& reason);

}  // namespace pagerake
