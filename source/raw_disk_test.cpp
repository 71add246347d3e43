// The POSIX read layers and the disk parameter query: which handles they keep, what they refuse
// to open, and real block devices (a loop device with 4096-byte logical sectors).
#include "source/raw_disk.h"

#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>

#include "source/data_source.h"
#include "source/sysfs_removable.h"
#include "tests/support/run_cli.h"
#include "tests/support/sector_image.h"

namespace pagerake {
namespace {

using testing::HasStamp;
using testing::TempDir;

// A loop device over an image file, read-only, with the given logical sector size. It detaches
// itself when its last handle closes, so a test that dies leaves nothing behind.
class LoopDevice {
 public:
  ~LoopDevice() {
    if (fd_ >= 0) ::close(fd_);
  }
  // Empty when it worked, else why not.
  std::string Attach(const std::string& image, uint32_t blockSize) {
    const int control = ::open("/dev/loop-control", O_RDWR | O_CLOEXEC);
    if (control < 0) return std::string("no /dev/loop-control: ") + std::strerror(errno);
    const int backing = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
    std::string why = "no free loop device";
    for (int attempt = 0; attempt < 8 && backing >= 0; ++attempt) {
      const int n = ::ioctl(control, LOOP_CTL_GET_FREE);
      if (n < 0) break;
      const std::string path = "/dev/loop" + std::to_string(n);
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) {
        why = path + ": " + std::strerror(errno);
        break;
      }
      loop_config config{};
      config.fd = static_cast<uint32_t>(backing);
      config.block_size = blockSize;
      config.info.lo_flags = LO_FLAGS_READ_ONLY | LO_FLAGS_AUTOCLEAR;
      if (::ioctl(fd, LOOP_CONFIGURE, &config) == 0) {
        fd_ = fd;
        path_ = path;
        why.clear();
        break;
      }
      why = std::string("LOOP_CONFIGURE: ") + std::strerror(errno);
      ::close(fd);
      if (errno != EBUSY) break;  // another process took it first: try the next free one
    }
    if (backing >= 0) ::close(backing);
    ::close(control);
    return why;
  }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

TEST(RawDiskTest, DriveLayerKeepsItsHandleForTheSamePartition) {
  TempDir dir;
  const std::string path = dir.File("part.img");
  ASSERT_TRUE(testing::WriteStampedImage(path, 64));
  RawDiskAccess raw;
  std::vector<uint8_t> buf(512);
  ASSERT_TRUE(raw.ReadDriveSectors(0, path, 5, 1, buf.data()));
  // The name no longer leads to the file, but the handle kept from the first read still does.
  ASSERT_EQ(::unlink(path.c_str()), 0);
  ASSERT_TRUE(raw.ReadDriveSectors(0, path, 6, 1, buf.data()));
  EXPECT_TRUE(HasStamp(buf.data(), 6));
  // Another partition closes it; coming back must open the name again, which now fails.
  EXPECT_FALSE(raw.ReadDriveSectors(0, dir.File("other.img"), 0, 1, buf.data()));
  EXPECT_FALSE(raw.ReadDriveSectors(0, path, 6, 1, buf.data()));
}

TEST(RawDiskTest, PathLayerOpensTheNewPathWhenThePathChanges) {
  TempDir dir;
  const std::string a = dir.File("a.img");
  const std::string b = dir.File("b.img");
  ASSERT_TRUE(testing::WriteStampedImage(a, 16));
  ASSERT_TRUE(testing::WriteSparseImage(b, 16, {9}));
  RawDiskAccess raw;
  std::vector<uint8_t> buf(512);
  ASSERT_TRUE(raw.ReadPathSectors(a, 1, buf.data(), 3));
  EXPECT_TRUE(HasStamp(buf.data(), 3));
  ASSERT_TRUE(raw.ReadPathSectors(b, 1, buf.data(), 3));
  EXPECT_EQ(buf, std::vector<uint8_t>(512, 0));
  // The two layers keep separate handles: a partition read leaves the path layer's file open.
  ASSERT_TRUE(raw.ReadDriveSectors(0, a, 2, 1, buf.data()));
  ASSERT_EQ(::unlink(b.c_str()), 0);
  ASSERT_TRUE(raw.ReadPathSectors(b, 1, buf.data(), 9));
  EXPECT_TRUE(HasStamp(buf.data(), 9));
}

TEST(RawDiskTest, CopiesOfASourceDoNotShareItsHandles) {
  TempDir dir;
  DataSource source;
  source.devicePath = dir.File("disk.img");
  source.sourceEnd = 32;
  ASSERT_TRUE(testing::WriteStampedImage(source.devicePath, 32));
  std::vector<uint8_t> buf(512);
  ASSERT_TRUE(ReadSectors(source, 0, 1, buf.data()));
  ASSERT_EQ(::unlink(source.devicePath.c_str()), 0);
  const DataSource copy(source);
  DataSource assigned;
  assigned = source;
  // The copies must open the (now missing) file themselves; the original still reads.
  EXPECT_FALSE(ReadSectors(copy, 1, 1, buf.data()));
  EXPECT_FALSE(ReadSectors(assigned, 1, 1, buf.data()));
  ASSERT_TRUE(ReadSectors(source, 1, 1, buf.data()));
  EXPECT_TRUE(HasStamp(buf.data(), 1));
}

TEST(RawDiskTest, OnlyFilesAndBlockDevicesAreOpened) {
  TempDir dir;
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // opening it for reading must not wait for a writer
  const std::string names[] = {"", dir.path(), fifo, "/dev/null", dir.File("missing.img")};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    RawDiskAccess raw;
    std::vector<uint8_t> buf(512, 0xEE);
    EXPECT_FALSE(raw.ReadPathSectors(name, 1, buf.data(), 0));
    EXPECT_FALSE(raw.ReadDriveSectors(0, name, 0, 1, buf.data()));
    EXPECT_EQ(buf, std::vector<uint8_t>(512, 0xEE));
    DiskParameters params;
    params.totalSectors = 77;
    EXPECT_FALSE(QueryDiskParameters(name, params));
    EXPECT_EQ(params.totalSectors, 77);
  }
}

TEST(RawDiskTest, DiskParametersOfAnImageFile) {
  TempDir dir;
  const std::string path = dir.File("disk.img");
  ASSERT_TRUE(testing::WriteStampedImage(path, 1000, 100));
  DiskParameters params;
  ASSERT_TRUE(QueryDiskParameters(path, params));
  EXPECT_EQ(params.totalSectors, 1000);  // the stray 100 bytes make no sector
  EXPECT_EQ(params.bytesPerSector, 512u);
  EXPECT_FALSE(params.removable);

  ASSERT_TRUE(testing::WriteStampedImage(path, 0));
  EXPECT_FALSE(QueryDiskParameters(path, params));
}

// A block device with 4096-byte logical sectors is still addressed in 512-byte sectors.
TEST(RawDiskTest, LoopDeviceWith4096ByteSectorsIsReadIn512ByteSectors) {
  TempDir dir;
  const std::string image = dir.File("disk.img");
  ASSERT_TRUE(testing::WriteStampedImage(image, 1000));  // 125 device sectors
  LoopDevice loop;
  const std::string why = loop.Attach(image, 4096);
  if (!why.empty()) GTEST_SKIP() << "cannot attach a loop device here: " << why;

  DiskParameters params;
  ASSERT_TRUE(QueryDiskParameters(loop.path(), params));
  EXPECT_EQ(params.totalSectors, 1000);
  EXPECT_EQ(params.bytesPerSector, 4096u);
  EXPECT_FALSE(params.removable);

  RawDiskAccess raw;
  std::vector<uint8_t> buf(300 * 512, 0xEE);
  ASSERT_TRUE(raw.ReadPathSectors(loop.path(), 5, buf.data(), 3));  // inside one device sector
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(HasStamp(buf.data() + i * 512, 3 + i)) << i;
  ASSERT_TRUE(raw.ReadDriveSectors(0, loop.path(), 997, 3, buf.data()));
  EXPECT_TRUE(HasStamp(buf.data() + 2 * 512, 999));
  // Past the device's end: the whole chunks in front of it arrive, the rest does not.
  std::fill(buf.begin(), buf.end(), 0xEE);
  EXPECT_FALSE(raw.ReadPathSectors(loop.path(), 300, buf.data(), 701));
  EXPECT_TRUE(HasStamp(buf.data() + 255 * 512, 956));
  EXPECT_TRUE(std::all_of(buf.begin() + 256 * 512, buf.end(), [](uint8_t b) { return b == 0xEE; }));
}

TEST(RawDiskTest, RemovableFlagComesFromTheDiskEvenForAPartition) {
  TempDir dir;
  namespace fs = std::filesystem;
  const fs::path root = dir.path();
  auto write = [](const fs::path& p, const char* text) { std::ofstream(p) << text; };
  // Like sysfs: dev/block/M:m links to the device's folder; a partition's folder is inside its
  // disk's and has a "partition" file but no "removable".
  fs::create_directories(root / "devices/usb/block/sdb/sdb1");
  fs::create_directories(root / "devices/pci/block/sda");
  fs::create_directories(root / "dev/block");
  write(root / "devices/usb/block/sdb/removable", "1\n");
  write(root / "devices/usb/block/sdb/sdb1/partition", "1\n");
  write(root / "devices/pci/block/sda/removable", "0\n");
  fs::create_directory_symlink("../../devices/usb/block/sdb", root / "dev/block/8:16");
  fs::create_directory_symlink("../../devices/usb/block/sdb/sdb1", root / "dev/block/8:17");
  fs::create_directory_symlink("../../devices/pci/block/sda", root / "dev/block/8:0");

  EXPECT_TRUE(SysfsRemovable(root.string(), 8, 16));
  EXPECT_TRUE(SysfsRemovable(root.string(), 8, 17));
  EXPECT_FALSE(SysfsRemovable(root.string(), 8, 0));
  EXPECT_FALSE(SysfsRemovable(root.string(), 8, 32));  // no such device
}

}  // namespace
}  // namespace pagerake
