// Making a written file survive the machine stopping: its bytes and its name on the storage
// itself, not only in the system's cache.
#pragma once

#include <string>

namespace pagerake {

// Waits until every byte written to the file at `path` has reached the storage device. False,
// with the system's reason in `reason`, when the file cannot be opened or the device reports a
// write error (the bytes may then be lost even though every write call succeeded). Paths are
// UTF-8.
[[nodiscard]] bool FlushFileToStorage(const std::string& path, std::string& reason);

// Waits until the names in `folder` (a file just renamed there) have reached the storage device.
// Where the platform keeps names durable by itself (Windows), does nothing. False when the folder
// cannot be opened or flushed.
bool FlushFolderToStorage(const std::string& folder);

}  // namespace pagerake
