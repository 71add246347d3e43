// Synthetic volume pieces for unit tests of boot-sector reading and the free-space bitmap: boot
// sectors, FAT sectors, the $Bitmap file record with its data runs, and sparse image files that
// hold them at chosen sectors. For volumes written by the real tools see volume_images.h.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "source/data_source.h"

namespace pagerake::testing {

// An image file of `sectors` sectors that is zero except where pieces are put. Written sparse.
class SectorImage {
 public:
  explicit SectorImage(int64_t sectors) : sectors_(sectors) {}
  // Puts `bytes` at the start of `sector` (they may run over several sectors).
  void Put(int64_t sector, const std::vector<uint8_t>& bytes) { pieces_[sector] = bytes; }
  // Writes the image, replacing `path`. False when it cannot.
  bool WriteTo(const std::string& path) const;

 private:
  int64_t sectors_;
  std::map<int64_t, std::vector<uint8_t>> pieces_;
};

// A DataSource reading `path` as a partition image, as choosing an image file that the user
// declares to hold one partition sets it: sourceSectors = sourceEnd = size / 512, isVolume.
// The boot sector is not read.
DataSource ImageVolumeSource(const std::string& path);

// ImageVolumeSource with its boot sector read, and the read end moved to dataStart + sourceSectors
// as choosing a partition image does. `bootSectorRead` tells whether sector 0 was read.
DataSource ChosenImageVolume(const std::string& path, bool* bootSectorRead = nullptr);

// Boot sectors (512 bytes, with the 0x55AA mark).
std::vector<uint8_t> NtfsBootSector(uint8_t sectorsPerCluster, int64_t mftCluster);
std::vector<uint8_t> Fat32BootSector(uint8_t sectorsPerCluster, uint16_t reservedSectors,
                                     uint32_t fatSectors, uint8_t fatCount = 2);
// A FAT16 boot sector ("FAT16   " at byte 54, nothing at 82) and an exFAT one ("EXFAT   " at 3).
std::vector<uint8_t> Fat16BootSector(uint8_t sectorsPerCluster);
std::vector<uint8_t> ExfatBootSector(uint8_t sectorsPerCluster);

// A data run of the $Bitmap data attribute.
struct RunSpec {
  int64_t startCluster = 0;
  int64_t clusters = 0;
};

// The run list bytes of `runs`: first start absolute, later ones as signed differences, each
// field in as few bytes as hold it with the right sign; ends with the 0 byte.
std::vector<uint8_t> EncodeRunList(const std::vector<RunSpec>& runs);

// How the $Bitmap file record is made. Defaults give a sound NTFS 3.1 record 6.
struct BitmapRecordSpec {
  std::vector<RunSpec> runs;
  int64_t bytesPerCluster = 4096;    // for the allocated size
  int64_t allocatedBytes = -1;       // -1: the runs' clusters × bytesPerCluster
  std::vector<uint8_t> runList;      // used instead of EncodeRunList(runs) when not empty
  bool resident = false;
  int64_t lowestVcn = 0;
  uint32_t recordNumber = 6;
};

// The record as the file system reads it, update sequence already undone (1024 bytes):
// $STANDARD_INFORMATION, the data attribute, the end mark.
std::vector<uint8_t> LogicalBitmapRecord(const BitmapRecordSpec& spec);
// The byte offset of the data attribute in a LogicalBitmapRecord.
inline constexpr int kDataAttributeOffset = 56 + 0x60;
// Applies the update sequence as NTFS writes a record to disk: the last two bytes of each sector
// are saved in the sequence array and replaced by the update sequence number.
std::vector<uint8_t> ProtectFileRecord(std::vector<uint8_t> record, uint16_t sequenceNumber = 7);

}  // namespace pagerake::testing
