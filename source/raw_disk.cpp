#include "source/raw_disk.h"

namespace pagerake {

bool RawDiskAccess::ReadPathSectors(const std::string& path, uint16_t count, void* buffer,
                                    int64_t sector) {
  if (!pathFile_.isOpen() || pathFile_.name() != path) {
    if (!pathFile_.Open(path)) return false;
  }
  return ReadOpen(pathFile_, sector, count, buffer);
}

bool RawDiskAccess::ReadDriveSectors(uint8_t driveNumber, const std::string& devicePath,
                                     int64_t sector, uint16_t count, void* buffer) {
  const std::string name = PartitionDeviceName(driveNumber, devicePath);
  if (!driveFile_.isOpen() || driveFile_.name() != name) {
    if (!driveFile_.Open(name)) return false;
  }
  return ReadOpen(driveFile_, sector, count, buffer);
}

bool RawDiskAccess::ReadDirect(const std::string& name, int64_t sector, uint16_t count,
                              void* buffer) {
  if (count == 0 || sector < 0 || sector > INT64_MAX / kSectorSize - count) return false;
  if (!directFile_.isOpen() || directFile_.name() != name) {
    if (name == directRefused_) return false;
    if (!directFile_.OpenDirect(name)) {
      directRefused_ = name;
      return false;
    }
    directRefused_.clear();
  }
  const int64_t offset = sector * kSectorSize;
  const size_t bytes = static_cast<size_t>(count) * kSectorSize;
  const uint64_t align = directFile_.directAlign();
  if (offset % align != 0 || bytes % align != 0 ||
      reinterpret_cast<uintptr_t>(buffer) % align != 0) {
    return false;
  }
  return directFile_.ReadAt(buffer, bytes, offset) == static_cast<int64_t>(bytes);
}

bool RawDiskAccess::CachedRun(const std::string& name, int64_t sector, uint16_t count) {
  if (count == 0 || sector < 0 || sector > INT64_MAX / kSectorSize - count) return false;
  if (!cachedFile_.isOpen() || cachedFile_.name() != name) {
    if (!cachedFile_.Open(name)) return false;
  }
  return cachedFile_.IsCached(sector * kSectorSize, static_cast<size_t>(count) * kSectorSize);
}

bool RawDiskAccess::ReadOpen(DeviceFile& file, int64_t sector, uint16_t count, void* buffer) {
  if (count == 0 || sector < 0) return false;
  // The byte position of the last sector must fit in 64 bits.
  if (sector > INT64_MAX / kSectorSize - count) return false;
  return ReadInChunks(file, sector * kSectorSize, static_cast<size_t>(count) * kSectorSize,
                      file.sizeBytes(), static_cast<uint8_t*>(buffer), transfer_);
}

}  // namespace pagerake
