#include "source/device_listing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/run_cli.h"
#include "tests/support/volume_images.h"

namespace pagerake {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(DeviceLabels, DiskAndPartitionLabels) {
  struct Case {
    std::string label;
    std::string expected;
  };
  const Case cases[] = {
      {DiskLabel(0, false, 2000000), "本地磁盘 0 (976.56 MB) "},
      {DiskLabel(1, false, 2048000), "本地磁盘 1 (0.98 GB) "},  // exactly 1000 MB is shown in GB
      {DiskLabel(2, false, 2047999), "本地磁盘 2 (1000.00 MB) "},  // 999.9995 MB rounds up
      {DiskLabel(12, true, 1953525168), "可移动存储 12 (931.51 GB) "},
      {PartitionLabel("C:\\", "SYSTEM"), "C:\\ [SYSTEM]"},
      {PartitionLabel("C:\\", ""), "C:\\ []"},
      {PartitionLabel("/dev/sdb1", "Data-2 x"), "/dev/sdb1 [DATA-2 X]"},
      {PartitionLabel("/dev/sdb1", "数据ä"), "/dev/sdb1 [数据ä]"},  // only ASCII letters change
  };
  for (const Case& c : cases) EXPECT_EQ(c.label, c.expected);
}

// A sysfs block folder made by hand: disks are folders with a size file, partitions folders
// inside them with a partition file.
class FakeSysfs {
 public:
  FakeSysfs() { fs::create_directories(dev()); }
  std::string block() const { return dir_.File("block"); }
  std::string dev() const { return dir_.File("dev"); }
  // A device folder below block(), `path` relative to it ("sda" or "sda/sda1").
  void Device(const std::string& path, int64_t sectors, const std::string& extraFile = "",
              const std::string& extraValue = "") {
    const fs::path d = fs::path(block()) / path;
    fs::create_directories(d);
    std::ofstream(d / "size") << sectors << "\n";
    if (!extraFile.empty()) std::ofstream(d / extraFile) << extraValue << "\n";
    if (path.find('/') != std::string::npos) std::ofstream(d / "partition") << "1\n";
  }

 private:
  TempDir dir_;
};

TEST(SysfsListing, ListsDisksInNameOrderSkippingEmptyAndHiddenOnes) {
  FakeSysfs sys;
  sys.Device("sdb", 2048000, "removable", "1");
  sys.Device("sda", 2000000, "removable", "0");
  sys.Device("sda/sda1", 1000);  // a partition is no disk
  sys.Device("loop0", 0);        // an unused loop device
  sys.Device("loop10", 64);
  sys.Device("loop9", 32);
  sys.Device("nvme0c0n1", 500, "hidden", "1");  // a multipath path behind its disk
  sys.Device("cciss!c0d0", 4096);               // no uevent: "!" stands for "/"
  sys.Device("mmcblk0", 8192, "uevent", "MAJOR=179\nMINOR=0\nDEVNAME=mmcblk0\nDEVTYPE=disk");
  std::ofstream(fs::path(sys.block()) / "not-a-device") << "x";

  struct Expected {
    std::string device;
    int64_t sectors;
    bool removable;
  };
  const std::vector<Expected> expected = {
      {"/cciss/c0d0", 4096, false}, {"/loop9", 32, false},    {"/loop10", 64, false},
      {"/mmcblk0", 8192, false},    {"/sda", 2000000, false}, {"/sdb", 2048000, true},
  };
  const std::vector<DiskEntry> disks = ListSysfsDisks(sys.block(), sys.dev());
  ASSERT_EQ(disks.size(), expected.size());
  for (size_t i = 0; i < disks.size(); ++i) {
    SCOPED_TRACE(expected[i].device);
    EXPECT_EQ(disks[i].number, static_cast<int>(i));
    EXPECT_EQ(disks[i].devicePath, sys.dev() + expected[i].device);
    EXPECT_EQ(disks[i].totalSectors, expected[i].sectors);
    EXPECT_EQ(disks[i].removable, expected[i].removable);
    EXPECT_EQ(disks[i].label, DiskLabel(static_cast<int>(i), expected[i].removable,
                                        expected[i].sectors));
  }
  EXPECT_EQ(disks[5].label, "可移动存储 5 (0.98 GB) ");
}

TEST(SysfsListing, ListsAtMostThirtyOneDisksAndTwentySixPartitions) {
  FakeSysfs sys;
  for (int i = 0; i < 33; ++i) sys.Device("d" + std::to_string(i), 100);
  for (int i = 1; i <= 30; ++i) sys.Device("d0/d0p" + std::to_string(i), 10);
  const std::vector<DiskEntry> disks = ListSysfsDisks(sys.block(), sys.dev());
  ASSERT_EQ(disks.size(), 31u);
  EXPECT_EQ(disks.back().devicePath, sys.dev() + "/d30");
  const std::vector<PartitionEntry> partitions = ListSysfsPartitions(sys.block(), sys.dev());
  ASSERT_EQ(partitions.size(), 26u);
  EXPECT_EQ(partitions.back().devicePath, sys.dev() + "/d0p26");
}

// Partitions whose devices are real FAT32 volumes made by mkfs.fat (libblkid probes an image file
// as it probes a device), one without a label, and one whose device is missing.
TEST(SysfsListing, ReadsPartitionLabelsWithLibblkid) {
  const testing::ToolImage labelled = testing::CachedToolImage(
      "fat32-label-data", {"mkfs.fat"},
      "truncate -s 40M \"$IMG\"\nmkfs.fat -F 32 -n Data \"$IMG\" >/dev/null 2>&1\n");
  const testing::ToolImage unlabelled = testing::CachedToolImage(
      "fat32-no-label", {"mkfs.fat"},
      "truncate -s 40M \"$IMG\"\nmkfs.fat -F 32 \"$IMG\" >/dev/null\n");
  PAGERAKE_REQUIRE_IMAGE(labelled);
  PAGERAKE_REQUIRE_IMAGE(unlabelled);
  FakeSysfs sys;
  sys.Device("sdb", 200000, "removable", "1");
  sys.Device("sdb/sdb10", 81920);  // listed after sdb2
  sys.Device("sdb/sdb2", 81920);
  sys.Device("sdb/sdb1", 81920);
  fs::create_directories(fs::path(sys.block()) / "sdb/queue");  // no partition file
  fs::create_symlink(labelled.path, sys.dev() + "/sdb1");
  fs::create_symlink(unlabelled.path, sys.dev() + "/sdb2");

  EXPECT_EQ(ReadVolumeLabel(labelled.path), "Data");
  const std::vector<PartitionEntry> partitions = ListSysfsPartitions(sys.block(), sys.dev());
  std::vector<std::string> labels;
  for (const PartitionEntry& p : partitions) {
    EXPECT_EQ(p.root, p.devicePath);
    EXPECT_EQ(p.driveNumber, 0);
    labels.push_back(p.label);
  }
  EXPECT_EQ(labels, (std::vector<std::string>{sys.dev() + "/sdb1 [DATA]", sys.dev() + "/sdb2 []",
                                              sys.dev() + "/sdb10 []"}));
}

// This machine's own block devices: only what holds on every machine.
TEST(SysfsListing, ThisMachineListsConsistentEntries) {
  const std::vector<DiskEntry> disks = ListDisks();
  EXPECT_LE(disks.size(), static_cast<size_t>(kMaxListedDisks));
  for (size_t i = 0; i < disks.size(); ++i) {
    const DiskEntry& d = disks[i];
    SCOPED_TRACE(d.devicePath);
    EXPECT_EQ(d.number, static_cast<int>(i));
    EXPECT_EQ(d.devicePath.rfind("/dev/", 0), 0u);
    EXPECT_GT(d.totalSectors, 0);
    EXPECT_EQ(d.label, DiskLabel(d.number, d.removable, d.totalSectors));
  }
  const std::vector<PartitionEntry> partitions = ListPartitions();
  EXPECT_LE(partitions.size(), static_cast<size_t>(kMaxListedPartitions));
  for (const PartitionEntry& p : partitions) {
    SCOPED_TRACE(p.devicePath);
    EXPECT_EQ(p.devicePath.rfind("/dev/", 0), 0u);
    EXPECT_EQ(p.label, PartitionLabel(p.devicePath, p.volumeName));
    EXPECT_GT(PartitionCapacityBytes(p), 0);
  }
}

}  // namespace
}  // namespace pagerake
