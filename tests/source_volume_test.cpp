#include "source/source_volume.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/support/run_cli.h"

namespace pagerake {
namespace {
namespace fs = std::filesystem;

// A block device node for the file system `dir` is on (and one for a device it is not on); the
// node is all the check needs: the device itself is never opened. Needs the right to make nodes.
struct DeviceNodes {
  explicit DeviceNodes(const testing::TempDir& dir) {
    struct stat st {};
    if (::stat(dir.File("").c_str(), &st) != 0) return;
    ours = dir.File("ours.dev");
    other = dir.File("other.dev");
    made = ::mknod(ours.c_str(), S_IFBLK | 0600, st.st_dev) == 0 &&
           ::mknod(other.c_str(), S_IFBLK | 0600, makedev(major(st.st_dev), minor(st.st_dev) + 77)) == 0;
  }
  std::string ours, other;
  bool made = false;
};

TEST(SourceVolume, AnOutputOnTheDeviceBeingReadIsCaughtBeforeAnythingIsMade) {
  testing::TempDir dir;
  const DeviceNodes nodes(dir);
  if (!nodes.made) GTEST_SKIP() << "making device nodes needs root";
  EXPECT_TRUE(IsOnSourceDevice(dir.File(""), nodes.ours));
  EXPECT_TRUE(IsOnSourceDevice(dir.File("not/yet/made/SALES.mdf"), nodes.ours));
  EXPECT_FALSE(IsOnSourceDevice(dir.File("out"), nodes.other));
  // An image file (or nothing at all) as the source: its folder may take output.
  std::ofstream(dir.File("disk.img")) << "image";
  EXPECT_FALSE(IsOnSourceDevice(dir.File("out"), dir.File("disk.img")));
  EXPECT_FALSE(IsOnSourceDevice(dir.File("out"), dir.File("gone.img")));

  const testing::CliResult r =
      testing::RunCliWithLanguage({"LANG=C.UTF-8"}, {"recover", nodes.ours, "-o", dir.File("out")});
  EXPECT_EQ(r.exitCode, 2) << r.err;
  EXPECT_NE(r.err.find("on the device being read"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir.File("out")));
}

TEST(SourceVolume, AFileSystemRestsOnItsPartitionItsDiskAndWhatAVolumeIsBuiltOn) {
  // sysfs as Linux lays it out: sda with partition sda1, and dm-0 (LVM) built on sda1.
  testing::TempDir dir;
  const fs::path root = dir.File("sys");
  const fs::path sda = root / "devices/pci0/block/sda";
  const fs::path dm = root / "devices/virtual/block/dm-0";
  fs::create_directories(sda / "sda1");
  fs::create_directories(dm / "slaves");
  fs::create_directories(root / "dev/block");
  std::ofstream(sda / "dev") << "8:0\n";
  std::ofstream(sda / "sda1/dev") << "8:1\n";
  std::ofstream(sda / "sda1/partition") << "1\n";
  std::ofstream(dm / "dev") << "254:0\n";
  fs::create_directory_symlink(sda / "sda1", dm / "slaves/sda1");
  fs::create_directory_symlink(sda, root / "dev/block/8:0");
  fs::create_directory_symlink(sda / "sda1", root / "dev/block/8:1");
  fs::create_directory_symlink(dm, root / "dev/block/254:0");

  using Devices = std::vector<std::pair<uint32_t, uint32_t>>;
  EXPECT_EQ(BlockDevicesBeneath(root, 254, 0), (Devices{{254, 0}, {8, 1}, {8, 0}}));
  EXPECT_EQ(BlockDevicesBeneath(root, 8, 1), (Devices{{8, 1}, {8, 0}}));
  EXPECT_EQ(BlockDevicesBeneath(root, 8, 0), (Devices{{8, 0}}));
  EXPECT_EQ(BlockDevicesBeneath(root, 7, 3), (Devices{{7, 3}}));  // unknown to sysfs
}

}  // namespace
}  // namespace pagerake
