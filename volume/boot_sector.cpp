#include "volume/boot_sector.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "page/byte_order.h"

namespace pagerake {
namespace {

constexpr int kOemNameOffset = 3;
constexpr int kSectorsPerClusterOffset = 13;
constexpr int kReservedSectorsOffset = 14;
constexpr int kFatTotalSectors16Offset = 19;
constexpr int kFatTotalSectors32Offset = 32;
constexpr int kFatSectorsOffset = 36;
constexpr int kNtfsTotalSectorsOffset = 40;
constexpr int kMftClusterOffset = 48;
constexpr int kFatTypeOffset = 82;

bool HasText(const uint8_t* sector, int offset, std::string_view text) {
  return std::memcmp(sector + offset, text.data(), text.size()) == 0;
}

}  // namespace

BootSectorFacts DecodeBootSector(const uint8_t* sector) {
  BootSectorFacts facts;
  facts.sectorsPerCluster = sector[kSectorsPerClusterOffset];
  if (HasText(sector, kOemNameOffset, "NTFS")) {
    facts.kind = FileSystemKind::kNtfs;
    facts.mftCluster = static_cast<int64_t>(LoadLe64(sector + kMftClusterOffset));
    facts.dataStart = 0;
    const uint64_t total = LoadLe64(sector + kNtfsTotalSectorsOffset);
    facts.volumeSectors = total <= uint64_t{INT64_MAX} ? static_cast<int64_t>(total) : 0;
  } else if (HasText(sector, kFatTypeOffset, "FAT32")) {
    facts.kind = FileSystemKind::kFat32;
    facts.fatReservedSectors = LoadLe16(sector + kReservedSectorsOffset);
    facts.fatSectors = LoadLe32(sector + kFatSectorsOffset);
    // Two FATs, whatever the count at byte 16 says.
    facts.dataStart = facts.fatReservedSectors + 2 * facts.fatSectors;
    facts.volumeSectors = LoadLe32(sector + kFatTotalSectors32Offset);
    if (facts.volumeSectors == 0) facts.volumeSectors = LoadLe16(sector + kFatTotalSectors16Offset);
  }
  return facts;
}

bool ReadBootSector(DataSource& source, Host& host) {
  std::array<uint8_t, 512> sector{};
  if (!ReadSectors(source, 0, 1, sector.data())) {
    host.AddMemoLine(Memo::kSource, "512error 读取sec0");
    return false;
  }
  const BootSectorFacts facts = DecodeBootSector(sector.data());
  source.sectorsPerCluster = facts.sectorsPerCluster;
  source.volumeSectors = facts.volumeSectors;
  switch (facts.kind) {
    case FileSystemKind::kNtfs:
      source.fsName = kFsNameNtfs;
      source.mftCluster = facts.mftCluster;
      source.dataStart = facts.dataStart;
      break;
    case FileSystemKind::kFat32:
      source.fsName = kFsNameFat32;
      source.fatReservedSectors = facts.fatReservedSectors;
      source.fatSectors = facts.fatSectors;
      source.dataStart = facts.dataStart;
      break;
    case FileSystemKind::kOther:
      source.fsName = kFsNameUnrecognised;
      break;
  }
  return true;
}

int64_t ClusterAreaEnd(const DataSource& source) {
  constexpr int64_t kNoBound = std::numeric_limits<int64_t>::max();
  const int64_t spc = source.sectorsPerCluster;
  const int64_t sectors = source.volumeSectors;
  if (!source.isVolume || spc <= 0 || sectors <= 0) return kNoBound;
  switch (KindOfFileSystem(source.fsName)) {
    case FileSystemKind::kFat32:
      if (sectors <= source.dataStart) return source.dataStart;
      return source.dataStart + (sectors - source.dataStart) / spc * spc;
    case FileSystemKind::kNtfs:
      return sectors / spc * spc;
    case FileSystemKind::kOther:
      break;
  }
  return kNoBound;
}

}  // namespace pagerake
