// Boot sectors: DecodeBootSector over 512 bytes (a shorter input is completed with zeros), and
// the free-space test over what it decoded, at sectors the input names.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "page/byte_order.h"
#include "volume/boot_sector.h"
#include "volume/free_space_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pagerake;
  std::vector<uint8_t> sector(512, 0);
  std::memcpy(sector.data(), data, size < sector.size() ? size : sector.size());
  const BootSectorFacts facts = DecodeBootSector(sector.data());
  if (facts.volumeSectors < 0 || facts.sectorsPerCluster < 0) std::abort();
  if (facts.kind == FileSystemKind::kFat32 &&
      facts.dataStart != facts.fatReservedSectors + 2 * facts.fatSectors) {
    std::abort();
  }
  if (facts.kind != FileSystemKind::kNtfs && facts.mftCluster != 0) std::abort();

  // The test the scan asks at every sector, over a bitmap of the input's remaining bytes.
  DataSource source;
  source.fsName = facts.kind == FileSystemKind::kNtfs    ? kFsNameNtfs
                  : facts.kind == FileSystemKind::kFat32 ? kFsNameFat32
                                                         : kFsNameUnrecognised;
  source.sectorsPerCluster = facts.sectorsPerCluster;
  source.dataStart = facts.dataStart;
  FreeSpaceBitmap bitmap;
  bitmap.StartBuild();
  if (size > 512) bitmap.AppendToMemory(data + 512, size - 512);
  for (int i = 0; i < 8; ++i) {
    // Sectors of a source the scan can reach: below 2^48.
    const auto at = static_cast<int64_t>(LoadLe64(sector.data() + 448 + 8 * i) >> 16);
    (void)bitmap.IsSectorInUse(source, at);
  }
  return 0;
}
