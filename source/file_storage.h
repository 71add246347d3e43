// Making a written file survive the machine stopping: its bytes and its name on the storage
// itself, not only in the system's cache.
#pragma once

#include <cstdint>
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

// Starts the writing to the storage device of what was written to a file so far, without waiting
// for it, so that the device works while the writer goes on and the final flush has little left
// to wait for. Only a hint: where the platform has no such call, or the file cannot be opened, it
// does nothing, and nothing depends on it (FlushFileToStorage is what makes the bytes durable).
class BackgroundWriteback {
 public:
  explicit BackgroundWriteback(const std::string& path);
  ~BackgroundWriteback();
  BackgroundWriteback(const BackgroundWriteback&) = delete;
  BackgroundWriteback& operator=(const BackgroundWriteback&) = delete;

  // Bytes [offset, offset + length) of the file have been written: start them on their way.
  void Start(int64_t offset, int64_t length);

 private:
  int fd_ = -1;
};

}  // namespace pagerake
