// POSIX: open with O_EXCL, and rename(), which replaces the target in one step.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "source/file_names.h"

namespace pagerake {

NewFile CreateNewFile(const std::string& path, std::string& reason) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) return NewFile::kExists;
    reason = std::generic_category().message(errno);
    return NewFile::kFailed;
  }
  ::close(fd);
  return NewFile::kCreated;
}

bool MoveOnto(const std::string& from, const std::string& to, std::string& reason) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  reason = std::generic_category().message(errno);
  return false;
}

}  // namespace pagerake
