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
  if (source.sourceEnd > 0 && sector + count - 1 > last) {
    const int64_t left = last - sector + 1;
    if (left <= 0) return false;
    count = static_cast<int32_t>(left);
  }
  // 3. Dispatch to the read layer.
  if (!source.raw) source.raw = std::make_unique<RawDiskAccess>();
  return source.raw->ReadPathSectors(source.devicePath, static_cast<uint16_t>(count), buffer, sector);
}

}  // namespace pagerake
