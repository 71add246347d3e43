// Building the free-space bitmap from synthetic FAT32 and NTFS volumes: the stream it yields and
// every failure with its exact messages.
#include "volume/bitmap_build.h"

#include <cstring>
#include <fstream>
#include <map>

#include <gtest/gtest.h>

#include "page/byte_order.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"
#include "tests/support/volume_builder.h"

namespace pagerake {
namespace {

using testing::BitmapRecordSpec;
using testing::ScriptedHost;
using testing::SectorImage;

bool Bit(const std::vector<uint8_t>& stream, int64_t k) {
  return ((stream.at(static_cast<size_t>(k / 8)) >> (k % 8)) & 1) != 0;
}

std::vector<std::string> Captions(const ScriptedHost& host) {
  std::vector<std::string> out;
  for (const auto& m : host.messages()) out.push_back(m.caption);
  return out;
}

// A FAT32 image: boot sector, then the first FAT from `fat` (entry number -> value), the second
// FAT from `secondFat`.
struct Fat32Image {
  uint16_t reserved = 32;
  uint32_t fatSectors = 3;
  std::map<int64_t, uint32_t> fat, secondFat;
  int64_t imageSectors = 0;  // 0: the FATs and 64 sectors of data area

  std::string Write(const testing::TempDir& dir) const {
    const int64_t dataStart = reserved + 2 * int64_t{fatSectors};
    SectorImage image(imageSectors ? imageSectors : dataStart + 64);
    image.Put(0, testing::Fat32BootSector(8, reserved, fatSectors));
    // Collect whole FAT sectors so that pieces do not overwrite each other.
    auto sectors = [](const std::map<int64_t, uint32_t>& entries) {
      std::map<int64_t, std::vector<uint8_t>> out;
      for (const auto& [entry, value] : entries) {
        auto& s = out[entry / 128];
        s.resize(512);
        StoreLe32(s.data() + (entry % 128) * 4, value);
      }
      return out;
    };
    for (const auto& [n, bytes] : sectors(fat)) image.Put(reserved + n, bytes);
    for (const auto& [n, bytes] : sectors(secondFat)) image.Put(reserved + fatSectors + n, bytes);
    const std::string path = dir.File("fat32.img");
    EXPECT_TRUE(image.WriteTo(path));
    return path;
  }
};

TEST(Fat32Bitmap, EveryNonZeroEntryOfTheFirstFatIsInUse) {
  testing::TempDir dir;
  Fat32Image spec;
  spec.fat = {{0, 0x0FFFFFF8}, {1, 0x0FFFFFFF}, {2, 0x0FFFFFFF}, {5, 0x10000000},
              {130, 0x00000100}, {200, 0x00010000}, {383, 0x00000001}};
  spec.secondFat = {{7, 0x0FFFFFFF}};  // only the first FAT counts
  DataSource source = testing::ChosenImageVolume(spec.Write(dir));
  ASSERT_EQ(source.fsName, "FAT32");
  FreeSpaceBitmap bitmap;
  ScriptedHost host;
  ASSERT_TRUE(BuildFreeSpaceBitmap(bitmap, source, host));
  EXPECT_TRUE(host.messages().empty());
  const auto& stream = bitmap.memory();
  ASSERT_EQ(stream.size(), 196608u);  // one whole block, though the FAT has 3 sectors
  std::vector<int64_t> set;
  for (int64_t k = 0; k < static_cast<int64_t>(stream.size()) * 8; ++k) {
    if (Bit(stream, k)) set.push_back(k);
  }
  EXPECT_EQ(set, (std::vector<int64_t>{0, 1, 2, 5, 130, 200, 383}));
  // Entry 5 has only its top four bits set; its cluster is in use.
  EXPECT_TRUE(bitmap.IsSectorInUse(source, source.dataStart + 3 * 8));
  EXPECT_FALSE(bitmap.IsSectorInUse(source, source.dataStart + 8));  // cluster 3
}

TEST(Fat32Bitmap, FatOfOneSectorMoreThanABlockYieldsTwoWholeBlocks) {
  testing::TempDir dir;
  Fat32Image spec;
  spec.fatSectors = 12289;
  const int64_t lastEntry = int64_t{12289} * 128 - 1;
  spec.fat = {{0, 0x0FFFFFF8}, {1, 0x0FFFFFFF}, {1572863, 1}, {1572864, 1}, {lastEntry, 2}};
  DataSource source = testing::ChosenImageVolume(spec.Write(dir));
  FreeSpaceBitmap bitmap;
  ScriptedHost host;
  ASSERT_TRUE(BuildFreeSpaceBitmap(bitmap, source, host));
  const auto& stream = bitmap.memory();
  ASSERT_EQ(stream.size(), 393216u);
  EXPECT_TRUE(Bit(stream, 1572863));  // last entry of block 0
  EXPECT_TRUE(Bit(stream, 1572864));  // first entry of block 1
  EXPECT_TRUE(Bit(stream, lastEntry));
  EXPECT_FALSE(Bit(stream, lastEntry + 1));
  EXPECT_FALSE(Bit(stream, 393216 * 8 - 1));
}

TEST(Fat32Bitmap, FatCutOffByTheEndOfTheImageFailsWithItsBlock) {
  testing::TempDir dir;
  Fat32Image spec;
  spec.fatSectors = 12288 + 300;
  spec.imageSectors = 32 + 12288 + 100;  // the second block of the first FAT is cut short
  spec.fat = {{0, 0x0FFFFFF8}};
  DataSource source = testing::ChosenImageVolume(spec.Write(dir));
  FreeSpaceBitmap bitmap;
  ScriptedHost host;
  EXPECT_FALSE(BuildFreeSpaceBitmap(bitmap, source, host));
  EXPECT_EQ(host.messageTexts(), std::vector<std::string>{"读bitmap错误sec12320"});
  EXPECT_EQ(Captions(host), std::vector<std::string>{"提示"});
}

// An NTFS image: spc 8 (4 KiB clusters), MFT at cluster 4, $Bitmap record at sector 44, and the
// clusters of `runs` filled with a pattern that tells every sector apart.
struct NtfsImage {
  BitmapRecordSpec record;
  int64_t imageSectors = 2048;
  std::vector<uint8_t> recordOnDisk;  // used instead of ProtectFileRecord(record) when set

  std::string Write(const testing::TempDir& dir) {
    SectorImage image(imageSectors);
    image.Put(0, testing::NtfsBootSector(8, 4));
    image.Put(44, recordOnDisk.empty()
                      ? testing::ProtectFileRecord(testing::LogicalBitmapRecord(record))
                      : recordOnDisk);
    for (const auto& run : record.runs) {
      for (int64_t s = run.startCluster * 8; s < (run.startCluster + run.clusters) * 8; ++s) {
        if (s < imageSectors) image.Put(s, SectorPattern(s));
      }
    }
    const std::string path = dir.File("ntfs.img");
    EXPECT_TRUE(image.WriteTo(path));
    return path;
  }
  static std::vector<uint8_t> SectorPattern(int64_t sector) {
    std::vector<uint8_t> bytes(512);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(sector * 7 + i);
    return bytes;
  }
  // The stream the runs should yield.
  std::vector<uint8_t> Expected(int64_t sectorsReadable = INT64_MAX) const {
    std::vector<uint8_t> out;
    for (const auto& run : record.runs) {
      for (int64_t s = run.startCluster * 8; s < (run.startCluster + run.clusters) * 8; ++s) {
        if (s >= sectorsReadable) return out;
        const auto bytes = SectorPattern(s);
        out.insert(out.end(), bytes.begin(), bytes.end());
      }
    }
    return out;
  }
};

TEST(NtfsBitmap, RunsAreCopiedInOrderAlsoBackwards) {
  testing::TempDir dir;
  NtfsImage spec;
  spec.record.runs = {{100, 3}, {60, 2}, {200, 1}};  // the second run lies before the first
  DataSource source = testing::ChosenImageVolume(spec.Write(dir));
  ASSERT_EQ(source.fsName, "NTFS");
  FreeSpaceBitmap bitmap;
  ScriptedHost host;
  ASSERT_TRUE(BuildFreeSpaceBitmap(bitmap, source, host));
  EXPECT_TRUE(host.messages().empty());
  EXPECT_EQ(bitmap.memory(), spec.Expected());
}

TEST(NtfsBitmap, CopiedToTheBitmapFileWhenChosen) {
  testing::TempDir dir;
  NtfsImage spec;
  spec.record.runs = {{200, 2}, {20, 1}};
  DataSource source = testing::ChosenImageVolume(spec.Write(dir));
  FreeSpaceBitmap bitmap;
  ASSERT_TRUE(bitmap.UseFileStore(dir.File("bitmap")));
  ScriptedHost host;
  ASSERT_TRUE(BuildFreeSpaceBitmap(bitmap, source, host));
  EXPECT_TRUE(bitmap.memory().empty());
  bitmap.CloseFile();
  std::ifstream in(dir.File("bitmap"), std::ios::binary);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(file, spec.Expected());
}

TEST(NtfsBitmap, RunsBeyondOneTebibyteAreReached) {
  testing::TempDir dir;
  NtfsImage spec;
  const int64_t farCluster = (int64_t{1} << 31) / 8 + 5;  // sector 2^31 + 40
  spec.record.runs = {{10, 1}, {farCluster, 1}};
  spec.imageSectors = (farCluster + 1) * 8;
  DataSource source = testing::ChosenImageVolume(spec.Write(dir));
  FreeSpaceBitmap bitmap;
  ScriptedHost host;
  ASSERT_TRUE(BuildFreeSpaceBitmap(bitmap, source, host)) << ::testing::PrintToString(host.messageTexts());
  EXPECT_EQ(bitmap.memory(), spec.Expected());
}

TEST(NtfsBitmap, UnreadableRunKeepsTheSectorsBeforeAndNamesTheFailingOne) {
  testing::TempDir dir;
  NtfsImage spec;
  spec.record.runs = {{40, 1}, {250, 4}};  // run 2: sectors 2000..2031
  spec.imageSectors = 2013;                // the image ends inside it
  DataSource source = testing::ChosenImageVolume(spec.Write(dir));
  FreeSpaceBitmap bitmap;
  ScriptedHost host;
  EXPECT_FALSE(BuildFreeSpaceBitmap(bitmap, source, host));
  EXPECT_EQ(host.messageTexts(),
            (std::vector<std::string>{"2000sec2013512bitmaperror", "error,写bitmap内容失败",
                                      "取$bitmap文件失败"}));
  EXPECT_EQ(Captions(host), (std::vector<std::string>(3, "提示")));
  EXPECT_EQ(bitmap.memory(), spec.Expected(2013));  // as a copy sector by sector leaves it
}

TEST(NtfsBitmap, UnreadableRecordNamesItsSector) {
  testing::TempDir dir;
  SectorImage image(40);  // the record at sector 44 is past the end
  image.Put(0, testing::NtfsBootSector(8, 4));
  ASSERT_TRUE(image.WriteTo(dir.File("short.img")));
  DataSource source = testing::ChosenImageVolume(dir.File("short.img"));
  FreeSpaceBitmap bitmap;
  ScriptedHost host;
  EXPECT_FALSE(BuildFreeSpaceBitmap(bitmap, source, host));
  EXPECT_EQ(host.messageTexts(),
            (std::vector<std::string>{"44sec2读bitmap错误", "取$bitmap文件失败"}));
}

TEST(NtfsBitmap, UnsoundRecordsFailWithoutCopyingAnything) {
  BitmapRecordSpec base;
  base.runs = {{100, 2}};
  const auto logical = testing::LogicalBitmapRecord(base);
  const int data = testing::kDataAttributeOffset;
  struct Case {
    const char* what;
    std::vector<uint8_t> disk;
  };
  std::vector<Case> cases;
  {
    auto torn = testing::ProtectFileRecord(logical);
    torn[1023] ^= 0xFF;  // the second sector from an older write
    cases.push_back({"torn record", torn});
  }
  {
    auto foreign = testing::ProtectFileRecord(logical);
    std::memcpy(foreign.data(), "INDX", 4);
    cases.push_back({"missing FILE signature", foreign});
  }
  {
    auto zeroLength = logical;
    StoreLe32(zeroLength.data() + 56 + 4, 0);
    cases.push_back({"zero-length attribute", testing::ProtectFileRecord(zeroLength)});
  }
  {
    auto offRecord = logical;
    StoreLe32(offRecord.data() + data + 4, static_cast<uint32_t>(1024 - data));
    StoreLe64(offRecord.data() + data + 40, uint64_t{1} << 40);
    for (int p = data + 64; p + 3 <= 1024; p += 3) {
      offRecord[p] = 0x11;
      offRecord[p + 1] = 1;
      offRecord[p + 2] = 0;  // runs of 1 cluster, each at the previous start
    }
    offRecord[data + 64 + 2] = 100;
    offRecord[1023] = 0x11;  // a run header with no room left
    cases.push_back({"run list runs off the record", testing::ProtectFileRecord(offRecord)});
  }
  {
    BitmapRecordSpec resident;
    resident.resident = true;
    cases.push_back({"resident data", testing::ProtectFileRecord(testing::LogicalBitmapRecord(resident))});
  }
  cases.push_back({"record of zeros", std::vector<uint8_t>(1024, 0)});
  for (Case& c : cases) {
    testing::TempDir dir;
    NtfsImage spec;
    spec.record = base;
    spec.recordOnDisk = c.disk;
    DataSource source = testing::ChosenImageVolume(spec.Write(dir));
    FreeSpaceBitmap bitmap;
    ScriptedHost host;
    EXPECT_FALSE(BuildFreeSpaceBitmap(bitmap, source, host)) << c.what;
    EXPECT_EQ(host.messageTexts(), std::vector<std::string>{"取$bitmap文件失败"}) << c.what;
    if (std::string(c.what) != "run list runs off the record") {
      EXPECT_TRUE(bitmap.memory().empty()) << c.what;
    }
  }
}

TEST(NtfsBitmap, NoClusterSizeFailsInsteadOfDividingByZero) {
  testing::TempDir dir;
  NtfsImage spec;
  spec.record.runs = {{100, 1}};
  DataSource source = testing::ChosenImageVolume(spec.Write(dir));
  source.sectorsPerCluster = 0;
  FreeSpaceBitmap bitmap;
  ScriptedHost host;
  EXPECT_FALSE(BuildFreeSpaceBitmap(bitmap, source, host));
  EXPECT_EQ(host.messageTexts(), std::vector<std::string>{"取$bitmap文件失败"});
}

TEST(FreeSpaceBuild, UnrecognisedVolumeLeavesAnEmptyBitmapAndAllIsFree) {
  testing::TempDir dir;
  SectorImage image(64);
  image.Put(0, testing::Fat16BootSector(4));
  ASSERT_TRUE(image.WriteTo(dir.File("fat16.img")));
  DataSource source = testing::ChosenImageVolume(dir.File("fat16.img"));
  ASSERT_EQ(source.fsName, "不可识别");
  FreeSpaceBitmap bitmap;
  const uint8_t old = 0xFF;
  bitmap.AppendToMemory(&old, 1);  // left from an earlier build
  ScriptedHost host;
  ASSERT_TRUE(BuildFreeSpaceBitmap(bitmap, source, host));
  EXPECT_TRUE(bitmap.memory().empty());
  EXPECT_TRUE(host.messages().empty());
  for (int64_t s = 0; s < 64; ++s) EXPECT_FALSE(bitmap.IsSectorInUse(source, s));
}

}  // namespace
}  // namespace pagerake
