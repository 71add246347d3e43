// Linux and other POSIX systems: image files and block devices read with pread(2).
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#ifdef __linux__
#include <linux/fs.h>  // BLKGETSIZE64, BLKSSZGET
#include <sys/stat.h>  // statx
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

// The alignment direct transfers on `fd` need: what the file system tells (statx), else the
// device's logical sector for a block device, else the usual 4096 bytes.
uint32_t DirectAlignment(int fd, uint32_t sectorBytes) {
#if defined(__linux__) && defined(STATX_DIOALIGN)
  struct statx sx {};
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_DIOALIGN, &sx) == 0 &&
      (sx.stx_mask & STATX_DIOALIGN) != 0) {
    if (sx.stx_dio_offset_align == 0) return 0;  // the file system refuses direct transfers
    return std::max(sx.stx_dio_offset_align, sx.stx_dio_mem_align);
  }
#endif
  struct stat st {};
  const bool blockDevice = ::fstat(fd, &st) == 0 && S_ISBLK(st.st_mode);
  return blockDevice ? sectorBytes : 4096;
}

constexpr int kCacheProbes = 8;  // pages IsCached asks about

}  // namespace

DeviceFile::~DeviceFile() { Close(); }

void DeviceFile::Close() {
  if (handle_ != kNoHandle) ::close(static_cast<int>(handle_));
  handle_ = kNoHandle;
  name_.clear();
  sizeBytes_ = -1;
  sectorBytes_ = kSectorSize;
  directAlign_ = 0;
}

bool DeviceFile::Open(const std::string& name) { return OpenWith(name, 0); }

bool DeviceFile::OpenDirect(const std::string& name) {
#ifdef O_DIRECT
  if (!OpenWith(name, O_DIRECT)) return false;
  directAlign_ = DirectAlignment(static_cast<int>(handle_), sectorBytes_);
  if (directAlign_ != 0) return true;
#endif
  Close();
  return false;
}

bool DeviceFile::OpenWith(const std::string& name, int extraFlags) {
  Close();
  // 1. Open for reading only. O_NONBLOCK keeps a pipe or a terminal from holding the open; it
  //    is cleared again below, before any read.
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | extraFlags);
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

bool DeviceFile::IsCached(int64_t offset, size_t bytes) const {
  if (handle_ == kNoHandle || offset < 0 || bytes == 0) return false;
  const long pageBytes = ::sysconf(_SC_PAGESIZE);
  if (pageBytes <= 0) return false;
  const int64_t first = offset / pageBytes * pageBytes;
  const size_t length = static_cast<size_t>(offset - first) + bytes;
  void* map = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, static_cast<int>(handle_),
                     static_cast<off_t>(first));
  if (map == MAP_FAILED) return false;
  // A few pages spread over the range stand for all of it: asking for every page of a large
  // range costs more than the answer saves.
  const size_t pages = (length + pageBytes - 1) / pageBytes;
  bool cached = true;
  for (int k = 0; cached && k < kCacheProbes; ++k) {
    const size_t page = pages <= 1 ? 0 : (pages - 1) * k / (kCacheProbes - 1);
    unsigned char resident = 0;
    cached = ::mincore(static_cast<uint8_t*>(map) + page * pageBytes, 1, &resident) == 0 &&
             (resident & 1) != 0;
  }
  ::munmap(map, length);
  return cached;
}

std::string PartitionDeviceName(uint8_t /*driveNumber*/, const std::string& devicePath) {
  return devicePath;
}

}  // namespace pagerake
