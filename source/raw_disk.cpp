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

bool RawDiskAccess::ReadOpen(DeviceFile& file, int64_t sector, uint16_t count, void* buffer) {
  if (count == 0 || sector < 0) return false;
  // The byte position of the last sector must fit in 64 bits.
  if (sector > INT64_MAX / kSectorSize - count) return false;
  return ReadInChunks(file, sector * kSectorSize, static_cast<size_t>(count) * kSectorSize,
                      file.sizeBytes(), static_cast<uint8_t*>(buffer), transfer_);
}

}  // namespace pagerake
