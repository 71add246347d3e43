#include "source/data_source.h"

#include "source/raw_disk.h"

namespace pagerake {

DataSource::DataSource() = default;
DataSource::~DataSource() = default;
DataSource::DataSource(DataSource&&) noexcept = default;
DataSource& DataSource::operator=(DataSource&&) noexcept = default;

DataSource::DataSource(const DataSource& o)
    : sourceChosen(o.sourceChosen), isPartition(o.isPartition), driveNumber(o.driveNumber),
      devicePath(o.devicePath), sourceSectors(o.sourceSectors), sourceEnd(o.sourceEnd),
      isVolume(o.isVolume), fsName(o.fsName), sectorsPerCluster(o.sectorsPerCluster),
      dataStart(o.dataStart), mftCluster(o.mftCluster), fatReservedSectors(o.fatReservedSectors),
      fatSectors(o.fatSectors) {}

DataSource& DataSource::operator=(const DataSource& o) {
  if (this != &o) {
    DataSource copy(o);
    *this = std::move(copy);
  }
  return *this;
}

bool ReadSectors(const DataSource& source, int64_t sector, int32_t count, void* buffer) {
  if (count < 1 || count > 65535) return false;
  // 1. The last sector the source allows: partitions store an inclusive sector, the others a count.
  const int64_t last = source.isPartition ? source.sourceEnd : source.sourceEnd - 1;
  // 2. Shorten silently; a read that starts past the end has nothing left and fails.
  //    (Written as sector > last - (count - 1) so that no sector number can overflow.)
  if (source.sourceEnd > 0 && sector > last - (count - 1)) {
    const int64_t left = last - sector + 1;
    if (left <= 0) return false;
    count = static_cast<int32_t>(left);
  }
  // 3. Dispatch: partitions through the drive layer, disks and image files through the path
  //    layer, both with the full 64-bit sector number.
  if (!source.raw) source.raw = std::make_unique<RawDiskAccess>();
  const auto n = static_cast<uint16_t>(count);
  if (source.isPartition)
    return source.raw->ReadDriveSectors(source.driveNumber, source.devicePath, sector, n, buffer);
  return source.raw->ReadPathSectors(source.devicePath, n, buffer, sector);
}

}  // namespace pagerake
