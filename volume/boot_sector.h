// The boot sector of a volume source: which file system it holds (NTFS, FAT32 or neither) and the
// few layout values that the free-space bitmap and the default scan range need.
//
// Only these fields of sector 0 are read: the OEM name (bytes 3..6, "NTFS"), sectors per cluster
// (byte 13), the reserved sector count (bytes 14..15), sectors per FAT (bytes 36..39), the MFT
// cluster (bytes 48..55), the FAT file system type (bytes 82..86, "FAT32") and the volume's own
// sector count (NTFS bytes 40..47; FAT32 bytes 32..35, or 19..20 when those are 0). A FAT32 volume
// is always taken to have two FATs; sectors are 512 bytes. The scan range comes from the source's
// size; only the count of the volume's clusters uses the volume's own sector count.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/host.h"
#include "source/data_source.h"

namespace pagerake {

// The names `fsName` takes.
inline constexpr std::string_view kFsNameNtfs = "NTFS";
inline constexpr std::string_view kFsNameFat32 = "FAT32";
inline constexpr std::string_view kFsNameUnrecognised = "不可识别";

// The file system as the bitmap code distinguishes it.
enum class FileSystemKind { kOther, kNtfs, kFat32 };

inline FileSystemKind KindOfFileSystem(std::string_view fsName) {
  if (fsName == kFsNameFat32) return FileSystemKind::kFat32;
  if (fsName == kFsNameNtfs) return FileSystemKind::kNtfs;
  return FileSystemKind::kOther;
}

// What sector 0 says, decoded without touching a DataSource.
struct BootSectorFacts {
  FileSystemKind kind = FileSystemKind::kOther;
  int16_t sectorsPerCluster = 0;   // byte 13, whatever the file system
  int64_t mftCluster = 0;          // NTFS only
  int64_t fatReservedSectors = 0;  // FAT32 only
  int64_t fatSectors = 0;          // FAT32 only
  int64_t dataStart = 0;           // NTFS 0; FAT32 reserved + 2 × sectors per FAT
  int64_t volumeSectors = 0;       // the volume's own sector count; 0 when it gives none
};

// Decodes a 512-byte boot sector. "NTFS" at byte 3 wins over "FAT32" at byte 82; both compare
// exactly and case-sensitively, and nothing after the compared characters is looked at.
BootSectorFacts DecodeBootSector(const uint8_t* sector);

// Reads sector 0 of `source` and writes the facts into it: `fsName` ("NTFS", "FAT32" or
// "不可识别"), `sectorsPerCluster` and `volumeSectors` always; `mftCluster` and `dataStart` (0) for NTFS;
// `fatReservedSectors`, `fatSectors` and `dataStart` for FAT32; nothing else for an unrecognised
// volume, which is still a success. When sector 0 cannot be read, adds "512error 读取sec0" to the
// data-source memo, changes nothing and returns false. Setting `sourceEnd` and the scan range from
// the result is the caller's part.
[[nodiscard]] bool ReadBootSector(DataSource& source, Host& host);

// The first sector behind the last whole cluster of the volume in `source` (FAT32 clusters are
// counted from `dataStart`, NTFS clusters from sector 0), from its own sector count and cluster
// size; INT64_MAX when it is no recognised volume or its boot sector gave neither.
int64_t ClusterAreaEnd(const DataSource& source);

}  // namespace pagerake
