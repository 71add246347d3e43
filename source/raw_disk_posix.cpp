#include <fcntl.h>
#include <unistd.h>

#include "source/raw_disk.h"

namespace pagerake {

RawDiskAccess::RawDiskAccess() = default;

RawDiskAccess::~RawDiskAccess() {
  if (fd_ >= 0) ::close(fd_);
}

bool RawDiskAccess::ReadPathSectors(const std::string& path, uint16_t count, void* buffer,
                                    int64_t sector) {
  if (fd_ < 0 || path != openPath_) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    openPath_ = path;
    if (fd_ < 0) return false;
  }
  if (sector < 0) return false;
  const size_t bytes = static_cast<size_t>(count) * 512;
  return ::pread(fd_, buffer, bytes, sector * 512) == static_cast<ssize_t>(bytes);
}

}  // namespace pagerake
