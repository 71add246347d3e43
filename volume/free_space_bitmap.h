// FreeSpaceBitmap: one bit per cluster of a volume, least significant bit first, 1 = in use; what
// a scan of free space only asks, at every candidate sector, whether to skip.
//
// The bitmap lives in one of two stores. The memory store holds every FAT32 bitmap and an NTFS
// bitmap of ordinary size; an NTFS bitmap of a very large source goes to a file the user chose
// (`bitmapToFile`) and is tested from there. Each build empties the memory store; the file is
// created by the free-space preparation (volume/bitmap_preparation.h) and closed by the scan when
// it ends. Building is volume/bitmap_build.h; this class is the store and the test.
//
// Cluster numbering follows the file system: NTFS cluster c covers sectors c × spc onwards; FAT32
// cluster c covers sectors dataStart + (c − 2) × spc onwards (bit c is FAT entry c). A cluster
// whose byte lies beyond the store counts as free.
//
// Not thread-safe: one scan builds and tests it on its own thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/io_buffer.h"
#include "source/data_source.h"
#include "volume/boot_sector.h"

namespace pagerake {

class FreeSpaceBitmap {
 public:
  FreeSpaceBitmap();
  ~FreeSpaceBitmap();
  FreeSpaceBitmap(const FreeSpaceBitmap&) = delete;
  FreeSpaceBitmap& operator=(const FreeSpaceBitmap&) = delete;
  FreeSpaceBitmap(FreeSpaceBitmap&&) noexcept;
  FreeSpaceBitmap& operator=(FreeSpaceBitmap&&) noexcept;

  // --- The test ---

  // True when the cluster holding `sector` (relative to the start of the volume) is marked in
  // use. Reads `fsName`, `sectorsPerCluster` and `dataStart` of `source` at every call, so the
  // cluster size the scan stores into the source is the one used. A source that is neither
  // FAT32 nor NTFS, a cluster size of 0 or less, and a sector before cluster 0 test as free.
  // No allocation and no system call while the bitmap is in memory; from a file, one read per
  // 64 KiB block of the file when the test moves to another block.
  bool IsSectorInUse(const DataSource& source, int64_t sector) {
    const int64_t spc = source.sectorsPerCluster;
    if (spc <= 0) return false;
    switch (KindOfFileSystem(source.fsName)) {
      case FileSystemKind::kFat32:
        return IsClusterInUse(FileSystemKind::kFat32, (sector - source.dataStart) / spc + 2);
      case FileSystemKind::kNtfs:
        return IsClusterInUse(FileSystemKind::kNtfs, sector / spc);
      case FileSystemKind::kOther:
        break;
    }
    return false;
  }

  // The bit of `cluster` in the store that `kind` uses: the memory store for FAT32, the file for
  // NTFS when the bitmap goes to a file, else the memory store. False for kOther, for negative
  // clusters and beyond the end of the store.
  bool IsClusterInUse(FileSystemKind kind, int64_t cluster) {
    if (kind == FileSystemKind::kOther || cluster < 0) return false;
    if (kind == FileSystemKind::kNtfs && bitmapToFile_) return FileBit(cluster);
    const uint64_t byte = static_cast<uint64_t>(cluster) >> 3;
    if (byte >= memory_.size()) return false;
    return (memory_[byte] >> (cluster & 7)) & 1;
  }

  // --- The stores, as building and preparation use them ---

  // Whether an NTFS bitmap goes to (and is tested from) the file.
  bool bitmapToFile() const { return bitmapToFile_; }
  // Sends NTFS bitmaps to memory again; closes a file still open.
  void UseMemoryStore();
  // Creates (or replaces) `path` as the bitmap file and sends NTFS bitmaps there. False when the
  // file cannot be created; the store is then as UseMemoryStore leaves it.
  [[nodiscard]] bool UseFileStore(const std::string& path);
  // Closes the bitmap file (the scan does so when it reaches its end). The file stays on disk;
  // afterwards an NTFS bitmap that went to it has no store and every cluster tests as free.
  void CloseFile();
  bool fileOpen() const { return file_ != nullptr; }

  // Starts a build: the memory store is emptied (the file, if any, was created fresh).
  void StartBuild();
  // Appends to the memory store.
  void AppendToMemory(const uint8_t* bytes, size_t count);
  // Appends NTFS bitmap bytes to the store that NTFS uses. False when the file cannot take them.
  [[nodiscard]] bool AppendNtfs(const uint8_t* bytes, size_t count);

  // The memory store's bytes.
  const std::vector<uint8_t>& memory() const { return memory_; }
  // Bytes in the store that `kind` uses.
  int64_t StoreSize(FileSystemKind kind) const;

 private:
  static constexpr int64_t kFileBlockBytes = 65536;

  bool FileBit(int64_t cluster);

  std::vector<uint8_t> memory_;
  bool bitmapToFile_ = false;
  std::unique_ptr<std::fstream> file_;
  std::string filePath_;
  int64_t fileSize_ = 0;
  bool fileWritten_ = false;  // written since the last read: flush before reading
  // The file block last read for a test.
  IoBuffer block_;
  int64_t blockIndex_ = -1;
};

}  // namespace pagerake
