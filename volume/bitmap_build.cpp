#include "volume/bitmap_build.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/io_buffer.h"

namespace pagerake {

bool BuildFreeSpaceBitmap(FreeSpaceBitmap& bitmap, const DataSource& source, Host& host) {
  bitmap.StartBuild();
  switch (KindOfFileSystem(source.fsName)) {
    case FileSystemKind::kFat32:
      return BuildFat32Bitmap(bitmap, source, host);
    case FileSystemKind::kNtfs:
      if (CopyNtfsBitmap(bitmap, source, host)) return true;
      host.Tell("取$bitmap文件失败", MessageIcon::kError);
      return false;
    case FileSystemKind::kOther:
      break;
  }
  return true;
}

namespace {

constexpr int kEntriesPerSector = 128;

// One bit per entry of `sectors` FAT sectors: set when any of the entry's four bytes (top four
// bits included) is. `block` starts all zero.
void PackFatEntries(const uint8_t* fat, int32_t sectors, uint8_t* block) {
  const int64_t entries = int64_t{sectors} * kEntriesPerSector;
  for (int64_t e = 0; e < entries; ++e) {
    const uint8_t* entry = fat + e * 4;
    if ((entry[0] | entry[1] | entry[2] | entry[3]) != 0) {
      block[e >> 3] |= static_cast<uint8_t>(1u << (e & 7));
    }
  }
}

}  // namespace

bool BuildFat32Bitmap(FreeSpaceBitmap& bitmap, const DataSource& source, Host& host) {
  const int64_t fatEnd = source.fatReservedSectors + source.fatSectors;
  // A FAT shorter than a block needs a buffer of its own size only.
  const int64_t bufferSectors = std::clamp<int64_t>(source.fatSectors, 1, kFatBlockSectors);
  IoBuffer fat(static_cast<size_t>(bufferSectors) * 512);
  std::vector<uint8_t> block(kFatBlockBitmapBytes);
  for (int64_t p = source.fatReservedSectors; p < fatEnd; p += kFatBlockSectors) {
    // 1. One block of FAT sectors, the buffer cleared first so that a shortened read leaves 0s.
    const int64_t remaining = fatEnd - p;
    const int32_t m = remaining < kFatBlockSectors ? static_cast<int32_t>(remaining)
                                                   : kFatBlockSectors;
    std::memset(fat.data(), 0, static_cast<size_t>(m) * 512);
    if (!ReadSectors(source, p, m, fat.data())) {
      host.Tell("读bitmap错误sec" + std::to_string(p), MessageIcon::kError);
      return false;
    }
    // 2. One bit per entry.
    std::memset(block.data(), 0, block.size());
    PackFatEntries(fat.data(), m, block.data());
    // 3. The whole block, also when the FAT ended inside it.
    bitmap.AppendToMemory(block.data(), block.size());
  }
  return true;
}

}  // namespace pagerake
