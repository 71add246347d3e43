// Reading the boot sector of a volume image: which file system, and the layout values it yields.
#include "volume/boot_sector.h"

#include <cstring>
#include <random>

#include <gtest/gtest.h>

#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"
#include "tests/support/volume_builder.h"

namespace pagerake {
namespace {

using testing::ImageVolumeSource;
using testing::ScriptedHost;
using testing::SectorImage;

// Reads the boot sector of a 64-sector image whose sector 0 is `bootSector`.
struct Read {
  bool ok = false;
  DataSource source;
  std::vector<std::string> memo;
};
Read ReadImage(const std::vector<uint8_t>& bootSector, DataSource before = {}) {
  testing::TempDir dir;
  SectorImage image(64);
  image.Put(0, bootSector);
  EXPECT_TRUE(image.WriteTo(dir.File("vol.img")));
  DataSource source = ImageVolumeSource(dir.File("vol.img"));
  source.mftCluster = before.mftCluster;
  source.dataStart = before.dataStart;
  source.fatReservedSectors = before.fatReservedSectors;
  source.fatSectors = before.fatSectors;
  ScriptedHost host;
  Read r;
  r.ok = ReadBootSector(source, host);
  r.source = source;
  r.memo = host.memo(Memo::kSource);
  return r;
}

TEST(BootSector, NtfsGivesClusterSizeMftClusterAndDataStartZero) {
  DataSource before;
  before.dataStart = 999;  // from an earlier FAT32 volume
  const Read r = ReadImage(testing::NtfsBootSector(8, 16), before);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.source.fsName, "NTFS");
  EXPECT_EQ(r.source.sectorsPerCluster, 8);
  EXPECT_EQ(r.source.mftCluster, 16);
  EXPECT_EQ(r.source.dataStart, 0);
  EXPECT_TRUE(r.memo.empty());
}

TEST(BootSector, Fat32DataStartCountsTwoFatsWhateverTheFatCountSays) {
  for (uint8_t fats : {2, 1}) {
    const Read r = ReadImage(testing::Fat32BootSector(8, 32, 300, fats));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.source.fsName, "FAT32");
    EXPECT_EQ(r.source.sectorsPerCluster, 8);
    EXPECT_EQ(r.source.fatReservedSectors, 32);
    EXPECT_EQ(r.source.fatSectors, 300);
    EXPECT_EQ(r.source.dataStart, 632) << "FAT count " << int{fats};
  }
}

TEST(BootSector, Fat32FieldsUseTheirFullWidth) {
  const Read r = ReadImage(testing::Fat32BootSector(64, 0xFFFF, 0x80000001u));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.source.fatReservedSectors, 0xFFFF);
  EXPECT_EQ(r.source.fatSectors, int64_t{0x80000001});
  EXPECT_EQ(r.source.dataStart, 0xFFFF + 2 * int64_t{0x80000001});
}

TEST(BootSector, NtfsMarkWinsOverFat32Mark) {
  auto sector = testing::Fat32BootSector(4, 32, 100);
  std::memcpy(sector.data() + 3, "NTFS", 4);
  const Read r = ReadImage(sector);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.source.fsName, "NTFS");
  EXPECT_EQ(r.source.fatSectors, 0);
}

TEST(BootSector, OtherFileSystemsAreUnrecognisedButGiveTheirClusterSize) {
  DataSource before;
  before.dataStart = 77;
  before.mftCluster = 5;
  before.fatSectors = 9;
  auto lowerCase = testing::NtfsBootSector(8, 16);
  std::memcpy(lowerCase.data() + 3, "ntfs", 4);
  auto fat32Shifted = testing::Fat32BootSector(8, 32, 300);
  std::memcpy(fat32Shifted.data() + 82, "FAT3 ", 5);
  const struct {
    const char* what;
    std::vector<uint8_t> sector;
    int spc;
  } cases[] = {{"FAT16", testing::Fat16BootSector(4), 4},
               {"exFAT", testing::ExfatBootSector(9), 9},
               {"lower-case ntfs", lowerCase, 8},
               {"broken FAT32 mark", fat32Shifted, 8},
               {"all zero", std::vector<uint8_t>(512, 0), 0}};
  for (const auto& c : cases) {
    const Read r = ReadImage(c.sector, before);
    ASSERT_TRUE(r.ok) << c.what;
    EXPECT_EQ(r.source.fsName, "不可识别") << c.what;
    EXPECT_EQ(r.source.sectorsPerCluster, c.spc) << c.what;
    EXPECT_EQ(r.source.dataStart, 77) << c.what;  // left as it was
    EXPECT_EQ(r.source.mftCluster, 5) << c.what;
    EXPECT_EQ(r.source.fatSectors, 9) << c.what;
  }
}

TEST(BootSector, RandomBytesNeverFailAndOnlyTheMarksDecide) {
  std::mt19937 rng(1234);
  for (int i = 0; i < 200; ++i) {
    std::vector<uint8_t> sector(512);
    for (auto& b : sector) b = static_cast<uint8_t>(rng());
    const BootSectorFacts facts = DecodeBootSector(sector.data());
    EXPECT_EQ(facts.kind, FileSystemKind::kOther);
    EXPECT_EQ(facts.sectorsPerCluster, sector[13]);
  }
  std::vector<uint8_t> sector(512);
  for (auto& b : sector) b = static_cast<uint8_t>(rng());
  const Read r = ReadImage(sector);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.source.fsName, "不可识别");
}

TEST(BootSector, UnreadableSectorZeroChangesNothingAndTellsTheMemo) {
  testing::TempDir dir;
  DataSource source = ImageVolumeSource(dir.File("missing.img"));
  source.fsName = "NTFS";
  source.sectorsPerCluster = 8;
  source.dataStart = 12;
  ScriptedHost host;
  EXPECT_FALSE(ReadBootSector(source, host));
  EXPECT_EQ(host.memo(Memo::kSource), std::vector<std::string>{"512error 读取sec0"});
  EXPECT_TRUE(host.messages().empty());
  EXPECT_EQ(source.fsName, "NTFS");
  EXPECT_EQ(source.sectorsPerCluster, 8);
  EXPECT_EQ(source.dataStart, 12);

  // An empty image file has no sector 0 either.
  ASSERT_TRUE(testing::WriteFile(dir.File("empty.img"), {}));
  DataSource empty = ImageVolumeSource(dir.File("empty.img"));
  EXPECT_FALSE(ReadBootSector(empty, host));
  EXPECT_EQ(empty.fsName, "");
}

}  // namespace
}  // namespace pagerake
