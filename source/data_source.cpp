#include "source/data_source.h"

#include <limits>

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
      fatSectors(o.fatSectors), volumeSectors(o.volumeSectors) {}

DataSource& DataSource::operator=(const DataSource& o) {
  if (this != &o) {
    DataSource copy(o);
    *this = std::move(copy);
  }
  return *this;
}

namespace {

// The count a read of `count` sectors at `sector` keeps after shortening at the source's end;
// 0 when nothing is left to read (or the count is out of range).
int32_t ShortenedCount(const DataSource& source, int64_t sector, int32_t count) {
  if (count < 1 || count > 65535) return 0;
  // The last sector the source allows: partitions store an inclusive sector, the others a count.
  const int64_t last = source.isPartition ? source.sourceEnd : source.sourceEnd - 1;
  // Written as sector > last - (count - 1) so that no sector number can overflow.
  if (source.sourceEnd > 0 && sector > last - (count - 1)) {
    const int64_t left = last - sector + 1;
    return left <= 0 ? 0 : static_cast<int32_t>(left);
  }
  return count;
}

// The file or device a source's sectors are read from.
std::string DeviceName(const DataSource& source) {
  return source.isPartition ? PartitionDeviceName(source.driveNumber, source.devicePath)
                            : source.devicePath;
}

}  // namespace

int64_t ReadableEnd(const DataSource& source) {
  if (source.sourceEnd <= 0) return std::numeric_limits<int64_t>::max();
  // Partitions keep their last sector number, the other kinds their sector count.
  return source.isPartition ? source.sourceEnd + 1 : source.sourceEnd;
}

bool ReadSectors(const DataSource& source, int64_t sector, int32_t count, void* buffer) {
  // 1.-2. Shorten silently; a read that starts past the end has nothing left and fails.
  count = ShortenedCount(source, sector, count);
  if (count == 0) return false;
  // 3. Dispatch: partitions through the drive layer, disks and image files through the path
  //    layer, both with the full 64-bit sector number.
  if (!source.raw) source.raw = std::make_unique<RawDiskAccess>();
  const auto n = static_cast<uint16_t>(count);
  if (source.isPartition)
    return source.raw->ReadDriveSectors(source.driveNumber, source.devicePath, sector, n, buffer);
  return source.raw->ReadPathSectors(source.devicePath, n, buffer, sector);
}

bool ReadSectorsBulk(const DataSource& source, int64_t sector, int32_t count, void* buffer) {
  const int32_t n = ShortenedCount(source, sector, count);
  if (n == 0) return false;
  if (!source.raw) source.raw = std::make_unique<RawDiskAccess>();
  if (source.raw->ReadDirect(DeviceName(source), sector, static_cast<uint16_t>(n), buffer))
    return true;
  return ReadSectors(source, sector, count, buffer);
}

bool SectorsCached(const DataSource& source, int64_t sector, int32_t count) {
  const int32_t n = ShortenedCount(source, sector, count);
  if (n == 0) return false;
  if (!source.raw) source.raw = std::make_unique<RawDiskAccess>();
  return source.raw->CachedRun(DeviceName(source), sector, static_cast<uint16_t>(n));
}

bool ReadAheadPays(const DataSource& source) {
  if (source.isPartition) return true;
  if (!source.raw) source.raw = std::make_unique<RawDiskAccess>();
  return !source.raw->IsContainer(source.devicePath);
}

}  // namespace pagerake
