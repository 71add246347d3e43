// Linux and other POSIX systems: image files and block devices read with pread(2).
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#ifdef __linux__
#include <linux/fs.h>  // BLKGETSIZE64, BLKSSZGET
#endif

#include "source/device_file.h"

namespace pagerake {

static_assert(sizeof(off_t) == 8, "sector positions need a 64-bit off_t");

namespace {

// Size in bytes and logical sector size of an open block device; -1 and 512 when not told.
void QueryBlockDevice(int fd, int64_t* sizeBytes, uint32_t* sectorBytes) {
#ifdef __linux__
  uint64_t size = 0;
  if (::ioctl(fd, BLKGETSIZE64, &size) == 0 && size <= static_cast<uint64_t>(INT64_MAX))
    *sizeBytes = static_cast<int64_t>(size);
  int logical = 0;
  if (::ioctl(fd, BLKSSZGET, &logical) == 0 && logical >= kSectorSize)
    *sectorBytes = static_cast<uint32_t>(logical);
#else
  const off_t end = ::lseek(fd, 0, SEEK_END);
  if (end >= 0) *sizeBytes = end;
#endif
}

}  // namespace

DeviceFile::~DeviceFile() { Close(); }

void DeviceFile::Close() {
  if (handle_ != kNoHandle) ::close(static_cast<int>(handle_));
  handle_ = kNoHandle;
  name_.clear();
  sizeBytes_ = -1;
  sectorBytes_ = kSectorSize;
}

bool DeviceFile::Open(const std::string& name) {
  Close();
  // 1. Open for reading only. O_NONBLOCK keeps a pipe or a terminal from holding the open; it
  //    is cleared again below, before any read.
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  // 2. Only an image file or a block device is a data source.
  struct stat st {};
  int64_t size = -1;
  uint32_t sector = kSectorSize;
  bool usable = ::fstat(fd, &st) == 0;
  if (usable && S_ISREG(st.st_mode)) {
    size = st.st_size;
  } else if (usable && S_ISBLK(st.st_mode)) {
    QueryBlockDevice(fd, &size, &sector);
  } else {
    usable = false;
  }
  const int flags = usable ? ::fcntl(fd, F_GETFL) : -1;
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return false;
  }
  handle_ = fd;
  name_ = name;
  sizeBytes_ = size;
  sectorBytes_ = sector;
  return true;
}

int64_t DeviceFile::ReadAt(void* dst, size_t bytes, int64_t offset) {
  if (handle_ == kNoHandle || offset < 0) return -1;
  ssize_t n;
  do {
    n = ::pread(static_cast<int>(handle_), dst, bytes, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  return n;
}

std::string PartitionDeviceName(uint8_t /*driveNumber*/, const std::string& devicePath) {
  return devicePath;
}

}  // namespace pagerake
