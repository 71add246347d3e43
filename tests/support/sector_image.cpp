#include "tests/support/sector_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "page/byte_order.h"

namespace pagerake::testing {

namespace {

constexpr int kSector = 512;

bool WriteAt(int fd, const std::vector<uint8_t>& bytes, int64_t offset) {
  return ::pwrite(fd, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
}

}  // namespace

std::vector<uint8_t> StampedSector(int64_t sector) {
  std::vector<uint8_t> s(kSector);
  StoreLe64(s.data(), static_cast<uint64_t>(sector));
  for (int i = 8; i < kSector; ++i) s[i] = static_cast<uint8_t>(sector * 31 + i);
  return s;
}

bool HasStamp(const uint8_t* p, int64_t sector) {
  return std::memcmp(p, StampedSector(sector).data(), kSector) == 0;
}

bool WriteStampedImage(const std::string& path, int64_t sectors, int tailBytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::vector<uint8_t> all;
  all.reserve(static_cast<size_t>(sectors) * kSector + tailBytes);
  for (int64_t s = 0; s < sectors; ++s) {
    const std::vector<uint8_t> one = StampedSector(s);
    all.insert(all.end(), one.begin(), one.end());
  }
  all.insert(all.end(), static_cast<size_t>(tailBytes), 0x5A);
  const bool ok = WriteAt(fd, all, 0);
  return (::close(fd) == 0) && ok;
}

bool WriteSparseImage(const std::string& path, int64_t sectors,
                      const std::vector<int64_t>& stamped) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::ftruncate(fd, static_cast<off_t>(sectors) * kSector) == 0;
  for (const int64_t s : stamped) ok = ok && WriteAt(fd, StampedSector(s), s * kSector);
  return (::close(fd) == 0) && ok;
}

bool EvictFromCache(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fdatasync(fd) == 0 && ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
  ::close(fd);
  return ok;
}

}  // namespace pagerake::testing
