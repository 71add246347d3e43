// The raw read layers: sectors of a disk or image file by path, sectors of a partition, and the
// size of a disk. The only code that touches the storage platform; sources are opened for
// reading only and nothing here can write.
//
// Both layers count 512-byte sectors with signed 64-bit sector numbers, on every platform and for
// every kind of device (an image file is always read in 512-byte sectors; a device with larger
// sectors is positioned at byte sector × 512, see device_file.h). A read succeeds or fails by
// chunks of 128 sectors: on failure the chunks in front of the failing one are in the buffer and
// the failing chunk and all after it are not (chunked_read.h says how, and its one exception).
//
// Each layer keeps its open handle between reads: the path layer until it is asked for another
// path, the drive layer until it is asked for another partition. A RawDiskAccess is not
// reentrant: two reads through it must never overlap.
//
// Windows: the NT family only. The Windows 9x branches (reads through the VWIN32, INT2F and
// INT13EXT virtual devices) are not provided: that platform cannot run the rest of the program.
#pragma once

#include <cstdint>
#include <string>

#include <memory>

#include "source/chunked_read.h"
#include "source/device_file.h"
#include "source/image_container.h"

namespace pagerake {

class RawDiskAccess {
 public:
  RawDiskAccess() = default;
  RawDiskAccess(const RawDiskAccess&) = delete;
  RawDiskAccess& operator=(const RawDiskAccess&) = delete;

  // The path layer: `count` sectors at `sector` of a whole disk or an image file, named by its
  // path (Linux: "/dev/sdb" or a file name; Windows: "\\.\PhysicalDrive0" or a file name), into
  // `buffer` (count × 512 bytes). An image file in a container format (image_container.h) is
  // read through its library: the sectors are those of the media it holds. False for a count of
  // 0, a negative sector, a path that cannot be opened as a file or block device (or as its
  // container), or a failed chunk.
  [[nodiscard]] bool ReadPathSectors(const std::string& path, uint16_t count, void* buffer,
                                     int64_t sector);

  // The drive layer: the same for a partition, named on Windows by its drive number (1 = "A")
  // and elsewhere by its block device `devicePath` (see PartitionDeviceName).
  [[nodiscard]] bool ReadDriveSectors(uint8_t driveNumber, const std::string& devicePath,
                                      int64_t sector, uint16_t count, void* buffer);

  // The direct layer: `count` sectors at `sector` of the file or device `name`, read in one
  // transfer that bypasses the system's cache, straight into `buffer`. Never for a container,
  // whose file bytes are not its sectors. Only when the byte
  // position, the length and the buffer address suit the device's direct-transfer alignment.
  // True only when every byte arrived; false tells the caller to use a layer above instead, and
  // `buffer` may then hold any part of the run. Keeps its own handle; a name whose direct open
  // was refused is not tried again until another name is asked for.
  [[nodiscard]] bool ReadDirect(const std::string& name, int64_t sector, uint16_t count,
                                void* buffer);

  // True when the system's cache seems to hold the `count` sectors at `sector` of `name`
  // (DeviceFile::IsCached; false when it cannot tell, and for a container). Reads nothing.
  bool CachedRun(const std::string& name, int64_t sector, uint16_t count);

  // Whether the file `name` is in a container format, asked of its bytes once per name (false
  // when it cannot be opened).
  bool IsContainer(const std::string& name);

 private:
  // Reads through a layer's open handle.
  [[nodiscard]] bool ReadOpen(DeviceFile& file, int64_t sector, uint16_t count, void* buffer);

  DeviceFile pathFile_;
  std::unique_ptr<ContainerImage> container_;  // the path layer's file, when it is a container
  std::string containerName_;
  std::string formatOf_;  // the name IsContainer looked at last, and its format
  ContainerFormat format_ = ContainerFormat::kRaw;
  DeviceFile driveFile_;
  DeviceFile directFile_;
  DeviceFile cachedFile_;      // CachedRun's handle
  std::string directRefused_;  // the name whose direct open failed last
  TransferBuffer transfer_;  // shared: the two layers never read at the same time
};

// What the disk parameter query tells about a disk.
struct DiskParameters {
  int64_t totalSectors = 0;      // size in 512-byte sectors, truncated
  uint32_t bytesPerSector = 512;  // the device's own logical sector size (512 for an image file)
  bool removable = false;         // removable media (card readers, USB sticks, optical drives)
};

// Size and removable flag of the disk named `devicePath` (Linux: a block device such as
// "/dev/sdb", size from the device, removable flag from sysfs; Windows: "\\.\PhysicalDrive" + the
// disk number, from the drive geometry). An image file answers with its size and not removable.
// False when the name cannot be opened, is neither a file nor a block device, or is empty (a drive
// with no medium in it has size 0); `params` is then unchanged.
[[nodiscard]] bool QueryDiskParameters(const std::string& devicePath, DiskParameters& params);

}  // namespace pagerake
