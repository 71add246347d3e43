#include "source/raw_disk.h"

#include <climits>

namespace pagerake {

bool RawDiskAccess::IsContainer(const std::string& name) {
  if (name != formatOf_) {
    formatOf_ = name;
    format_ = DetectContainer(name);
  }
  return format_ != ContainerFormat::kRaw;
}

bool RawDiskAccess::ReadPathSectors(const std::string& path, uint16_t count, void* buffer,
                                    int64_t sector) {
  if (IsContainer(path)) {
    if (!container_ || containerName_ != path) {
      container_.reset();
      std::string error;
      container_ = ContainerImage::Open(path, format_, error);
      if (!container_) return false;
      containerName_ = path;
    }
    if (count == 0 || sector < 0 || sector > INT64_MAX / kSectorSize - count) return false;
    return ReadInChunks(*container_, sector * kSectorSize, static_cast<size_t>(count) * kSectorSize,
                        container_->facts().mediaBytes, static_cast<uint8_t*>(buffer), transfer_);
  }
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
  if (IsContainer(name)) return false;
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
  if (IsContainer(name)) return false;
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
