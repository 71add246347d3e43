// The free-space test: which cluster a sector belongs to, which bit says so, and the two stores.
#include "volume/free_space_bitmap.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/run_cli.h"

namespace pagerake {
namespace {

DataSource Volume(std::string_view fsName, int16_t spc, int64_t dataStart) {
  DataSource s;
  s.fsName = fsName;
  s.sectorsPerCluster = spc;
  s.dataStart = dataStart;
  return s;
}

// A memory bitmap with the clusters in `inUse` set, `bytes` long.
FreeSpaceBitmap MemoryBitmap(std::initializer_list<int64_t> inUse, size_t bytes) {
  std::vector<uint8_t> stream(bytes, 0);
  for (int64_t c : inUse) stream[static_cast<size_t>(c / 8)] |= static_cast<uint8_t>(1 << (c % 8));
  FreeSpaceBitmap bitmap;
  bitmap.StartBuild();
  bitmap.AppendToMemory(stream.data(), stream.size());
  return bitmap;
}

TEST(FreeSpaceBitmap, Fat32ClustersStartAtDataStartWithNumberTwo) {
  FreeSpaceBitmap bitmap = MemoryBitmap({3}, 8);
  const DataSource fat = Volume("FAT32", 8, 632);
  EXPECT_FALSE(bitmap.IsSectorInUse(fat, 632));  // cluster 2
  EXPECT_FALSE(bitmap.IsSectorInUse(fat, 639));
  EXPECT_TRUE(bitmap.IsSectorInUse(fat, 640));  // cluster 3
  EXPECT_TRUE(bitmap.IsSectorInUse(fat, 647));
  EXPECT_FALSE(bitmap.IsSectorInUse(fat, 648));  // cluster 4
}

TEST(FreeSpaceBitmap, NtfsClusterZeroIsTheLowestBitOfTheFirstByte) {
  FreeSpaceBitmap bitmap = MemoryBitmap({0, 9}, 4);
  const DataSource ntfs = Volume("NTFS", 8, 0);
  for (int64_t s = 0; s < 8; ++s) EXPECT_TRUE(bitmap.IsSectorInUse(ntfs, s)) << s;
  for (int64_t s = 8; s < 72; ++s) EXPECT_FALSE(bitmap.IsSectorInUse(ntfs, s)) << s;
  for (int64_t s = 72; s < 80; ++s) EXPECT_TRUE(bitmap.IsSectorInUse(ntfs, s)) << s;  // cluster 9
  // The same byte 0x01 read with the wrong bit order would mark cluster 7.
  EXPECT_FALSE(bitmap.IsSectorInUse(ntfs, 7 * 8));
}

TEST(FreeSpaceBitmap, BeyondTheStoreAndOddSourcesAreFree) {
  FreeSpaceBitmap bitmap = MemoryBitmap({0, 1, 2, 3, 4, 5, 6, 7}, 1);
  EXPECT_TRUE(bitmap.IsSectorInUse(Volume("NTFS", 1, 0), 7));
  EXPECT_FALSE(bitmap.IsSectorInUse(Volume("NTFS", 1, 0), 8));  // byte 1 does not exist
  EXPECT_FALSE(bitmap.IsSectorInUse(Volume("NTFS", 1, 0), INT64_MAX));
  EXPECT_FALSE(bitmap.IsSectorInUse(Volume("NTFS", 1, 0), -1));
  EXPECT_FALSE(bitmap.IsSectorInUse(Volume("不可识别", 1, 0), 0));
  EXPECT_FALSE(bitmap.IsSectorInUse(Volume("", 1, 0), 0));
  EXPECT_FALSE(bitmap.IsSectorInUse(Volume("NTFS", 0, 0), 0));  // no cluster size: no division
  EXPECT_FALSE(bitmap.IsSectorInUse(Volume("FAT32", -4, 0), 0));
  // FAT32 sectors far before the data area map to negative clusters.
  EXPECT_FALSE(bitmap.IsSectorInUse(Volume("FAT32", 1, 100), 10));
}

TEST(FreeSpaceBitmap, ClusterSizeIsReadFromTheSourceAtEveryTest) {
  FreeSpaceBitmap bitmap = MemoryBitmap({4}, 1);
  DataSource ntfs = Volume("NTFS", 8, 0);
  EXPECT_FALSE(bitmap.IsSectorInUse(ntfs, 32 + 16));  // cluster 6
  ntfs.sectorsPerCluster = 12;                        // the scan's own cluster size
  EXPECT_TRUE(bitmap.IsSectorInUse(ntfs, 48));        // cluster 4
}

TEST(FreeSpaceBitmap, Fat32AlwaysUsesMemoryNtfsFollowsTheFileChoice) {
  testing::TempDir dir;
  FreeSpaceBitmap bitmap;
  ASSERT_TRUE(bitmap.UseFileStore(dir.File("bitmap")));
  bitmap.StartBuild();
  const uint8_t memoryByte = 0x01, fileByte = 0x02;
  bitmap.AppendToMemory(&memoryByte, 1);
  ASSERT_TRUE(bitmap.AppendNtfs(&fileByte, 1));
  EXPECT_TRUE(bitmap.IsClusterInUse(FileSystemKind::kFat32, 0));
  EXPECT_FALSE(bitmap.IsClusterInUse(FileSystemKind::kFat32, 1));
  EXPECT_FALSE(bitmap.IsClusterInUse(FileSystemKind::kNtfs, 0));
  EXPECT_TRUE(bitmap.IsClusterInUse(FileSystemKind::kNtfs, 1));
  EXPECT_EQ(bitmap.StoreSize(FileSystemKind::kNtfs), 1);
  bitmap.UseMemoryStore();
  EXPECT_FALSE(bitmap.bitmapToFile());
  EXPECT_TRUE(bitmap.IsClusterInUse(FileSystemKind::kNtfs, 0));
}

TEST(FreeSpaceBitmap, FileStoreAnswersAcrossBlocksAndAfterMoreIsAppended) {
  testing::TempDir dir;
  FreeSpaceBitmap bitmap;
  ASSERT_TRUE(bitmap.UseFileStore(dir.File("bitmap")));
  bitmap.StartBuild();
  // 200000 bytes (three 64 KiB blocks and a short fourth) with a pattern, in pieces of 512.
  std::vector<uint8_t> stream(200000);
  for (size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<uint8_t>(i * 37 + (i >> 9));
  for (size_t at = 0; at < stream.size(); at += 512) {
    ASSERT_TRUE(bitmap.AppendNtfs(stream.data() + at, std::min<size_t>(512, stream.size() - at)));
  }
  auto expected = [&](int64_t c) { return ((stream[static_cast<size_t>(c / 8)] >> (c % 8)) & 1) != 0; };
  const int64_t clusters = static_cast<int64_t>(stream.size()) * 8;
  // Forwards, backwards and jumping between blocks.
  for (int64_t c = 0; c < clusters; c += 7) ASSERT_EQ(bitmap.IsClusterInUse(FileSystemKind::kNtfs, c), expected(c)) << c;
  for (int64_t c = clusters - 1; c >= 0; c -= 4099) ASSERT_EQ(bitmap.IsClusterInUse(FileSystemKind::kNtfs, c), expected(c)) << c;
  EXPECT_FALSE(bitmap.IsClusterInUse(FileSystemKind::kNtfs, clusters));
  // Appending after reads: the short last block must be read again.
  const uint8_t more = 0xFF;
  ASSERT_TRUE(bitmap.AppendNtfs(&more, 1));
  EXPECT_TRUE(bitmap.IsClusterInUse(FileSystemKind::kNtfs, clusters + 3));
  EXPECT_EQ(bitmap.IsClusterInUse(FileSystemKind::kNtfs, clusters - 1), expected(clusters - 1));
  // Once the scan closes the file nothing is in use any more; the file stays.
  bitmap.CloseFile();
  EXPECT_FALSE(bitmap.IsClusterInUse(FileSystemKind::kNtfs, clusters + 3));
  EXPECT_EQ(std::filesystem::file_size(dir.File("bitmap")), stream.size() + 1);
}

TEST(FreeSpaceBitmap, FileThatCannotBeCreatedLeavesTheMemoryStore) {
  testing::TempDir dir;
  FreeSpaceBitmap bitmap;
  EXPECT_FALSE(bitmap.UseFileStore(dir.File("no/such/folder/bitmap")));
  EXPECT_FALSE(bitmap.bitmapToFile());
  const uint8_t b = 0x80;
  ASSERT_TRUE(bitmap.AppendNtfs(&b, 1));
  EXPECT_TRUE(bitmap.IsClusterInUse(FileSystemKind::kNtfs, 7));
}

}  // namespace
}  // namespace pagerake
