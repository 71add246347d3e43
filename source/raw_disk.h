// The platform read layers: sectors of a disk or image by path, sectors of a partition, and the
// size of a disk. The only code that touches the storage platform. Sources are opened read-only.
#pragma once

#include <cstdint>
#include <string>

namespace pagerake {

class RawDiskAccess {
 public:
  RawDiskAccess();
  ~RawDiskAccess();
  RawDiskAccess(const RawDiskAccess&) = delete;
  RawDiskAccess& operator=(const RawDiskAccess&) = delete;

  // Sectors of a disk device or image file, 512 bytes each.
  [[nodiscard]] bool ReadPathSectors(const std::string& path, uint16_t count, void* buffer,
                                     int64_t sector);

 private:
  int fd_ = -1;
  std::string openPath_;
};

}  // namespace pagerake
