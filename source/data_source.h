// The one current data source and the one read operation on it.
//
// DataSource says what the medium is (a physical disk or image file read by path, or a partition
// read by its device), how it is addressed and where it ends; boot-sector reading adds the volume
// parameters. ReadSectors copies a run of 512-byte sectors of it into the caller's buffer,
// shortening a read that would run past the end. Nothing in the program writes to a source.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace pagerake {

class RawDiskAccess;  // the platform read layers (source/raw_disk.h)

struct DataSource {
  DataSource();
  ~DataSource();
  DataSource(DataSource&&) noexcept;
  DataSource& operator=(DataSource&&) noexcept;
  // Copies share nothing: the copy opens its own handles when it first reads.
  DataSource(const DataSource& other);
  DataSource& operator=(const DataSource& other);

  bool sourceChosen = false;   // a source has been chosen in this run; scanning requires it
  bool isPartition = false;    // read through the partition (drive) layer, else by path
  uint8_t driveNumber = 0;     // Windows: drive letter as a number, 1 = "A"
  std::string devicePath;      // disk device or image file; on Linux also the partition device
  int64_t sourceSectors = 0;   // size basis: image/disk sector count, partition last sector
  int64_t sourceEnd = 0;       // shortening end: a count, or for partitions an inclusive sector
  bool isVolume = false;       // holds one volume whose boot sector is read
  std::string fsName;          // "NTFS", "FAT32" or "不可识别"
  int16_t sectorsPerCluster = 0;
  int64_t dataStart = 0;       // sector where cluster addressing starts
  int64_t mftCluster = 0;      // NTFS
  int64_t fatReservedSectors = 0;  // FAT32
  int64_t fatSectors = 0;          // FAT32
  int64_t volumeSectors = 0;       // the volume's own size from its boot sector; 0: not known

  // The open handles of the read layers; kept between reads, not part of the record's value.
  mutable std::unique_ptr<RawDiskAccess> raw;
};

// The first sector past what ReadSectors reads of `source`: reads are cut there (a large number
// when the source has no known end).
int64_t ReadableEnd(const DataSource& source);

// Reads `count` (1 to 65535) sectors starting at `sector` into `buffer` (count × 512 bytes).
//
// The last sector allowed is `sourceEnd` for a partition (an inclusive sector number) and
// `sourceEnd` − 1 for a disk or image file (a count). A read past it is shortened silently: the
// part of the buffer behind the shortened run keeps what it held. One that starts past it fails
// without touching the buffer. When `sourceEnd` is 0 or less nothing is shortened. A partition
// is then read through the drive layer, anything else through the path layer (raw_disk.h), with
// the full 64-bit sector number; a read that fails there has delivered the whole 128-sector
// chunks in front of the failing one and nothing behind it.
//
// True when every sector finally requested arrived. Shows nothing. Not reentrant for one source:
// two reads through the same record (or its layers) must never overlap.
[[nodiscard]] bool ReadSectors(const DataSource& source, int64_t sector, int32_t count,
                               void* buffer);

// ReadSectors for large sequential reads: the same sectors, the same shortening at the end and
// the same outcome, but when the (shortened) run's byte position and length and the buffer's
// address suit the device's direct-transfer alignment (4096 bytes suits every usual one), the
// run is read in one transfer that bypasses the system's cache, which keeps a disk as busy as a
// raw copy does. Anything else, a source that refuses such transfers, and any transfer that
// fails or comes back short are read again through ReadSectors. Where it fails, `buffer` holds
// what ReadSectors delivered in front of the failing chunk; bytes behind that are unspecified.
// Same reentrancy rule as ReadSectors.
inline constexpr size_t kBulkReadAlign = 4096;
[[nodiscard]] bool ReadSectorsBulk(const DataSource& source, int64_t sector, int32_t count,
                                   void* buffer);

// True when the system's cache seems to hold the sectors that ReadSectors would read for this
// request (a few of them spread over the run are asked about), so that a plain read is as fast as
// memory; false when one is not held, when nothing would be read, or when the platform cannot
// tell. Reads nothing from the source.
[[nodiscard]] bool SectorsCached(const DataSource& source, int64_t sector, int32_t count);

// Whether reading `source` ahead on a second thread pays: true for a disk, partition or plain
// image file. False for an image in a container format: its library reads the container's file
// through the system's cache, which already reads ahead for it, and a second thread would only
// add a copy of every sector into a large buffer that has left the processor's cache by the time
// the walk tests it (slower, with the file cached or not). Reads at most the file's signature.
[[nodiscard]] bool ReadAheadPays(const DataSource& source);

}  // namespace pagerake
