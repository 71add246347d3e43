// The physical disks and partitions of the machine that the data-source menu offers, with the
// labels the menu shows for them.
//
// Windows: disks are the physical drives 0 to 255 that answer the disk parameter query
// ("\\.\PhysicalDrive" + number); partitions are the drive letters "A" to "Z" of removable, fixed
// and CD-ROM drives, labelled by their root ("C:\ [SYSTEM]").
//
// Linux: disks and partitions are the block devices sysfs reports under /sys/block (a disk is a
// folder there, a partition a folder inside its disk's that holds a "partition" file); devices of
// size 0 (unused loop, ram and zram devices, drives with no medium) are left out. Sizes come from
// sysfs, so listing needs no right to read the devices. A disk's number is its running index; a
// partition is labelled by its device path ("/dev/sdb1 [DATA]") and its volume label is read with
// libblkid.
//
// The lists are read once, when the window is created; nothing here watches for changes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pagerake {

// The menu's label tables hold 33 disk and 37 partition strings, of which the disks start at the
// menu's third entry, and partitions are named by the letters "A" to "Z".
inline constexpr int kMaxListedDisks = 31;
inline constexpr int kMaxListedPartitions = 26;

struct DiskEntry {
  int number = 0;           // shown in the label: the physical drive number (Windows), else the
                            // running index
  std::string devicePath;   // "\\.\PhysicalDrive0", "/dev/sda"
  int64_t totalSectors = 0;  // 512-byte sectors
  bool removable = false;
  std::string label;        // DiskLabel(number, removable, totalSectors)
};

struct PartitionEntry {
  uint8_t driveNumber = 0;  // Windows: the drive letter as a number, 1 = "A"; 0 elsewhere
  std::string devicePath;   // "\\.\C:", "/dev/sdb1"
  std::string root;         // what the label starts with: "C:\", "/dev/sdb1"
  std::string volumeName;   // the volume label as read; empty when it has none or it is unreadable
  std::string label;        // PartitionLabel(root, volumeName)
};

// "976.56 MB)" for 2,000,000 sectors: the size in MB (sectors / 2048) with two decimals, or from
// 1000 MB up the size in GB (MB / 1024), so that 2,048,000 sectors give "0.98 GB)". The decimal
// separator is always ".", whatever the process's locale.
std::string DiskSizeText(int64_t totalSectors);

// "本地磁盘 0 (931.51 GB) " for a fixed disk, "可移动存储 " + number ... for a removable one.
std::string DiskLabel(int number, bool removable, int64_t totalSectors);

// "[SYSTEM]": the volume label in brackets, upper-cased (ASCII letters; other bytes of a UTF-8
// label are kept); "[]" for an empty one.
std::string VolumeNameText(const std::string& volumeName);

// root + " " + VolumeNameText(volumeName): "C:\ [SYSTEM]", "/dev/sdb1 []".
std::string PartitionLabel(const std::string& root, const std::string& volumeName);

// The machine's disks in order, at most kMaxListedDisks.
std::vector<DiskEntry> ListDisks();

// The machine's partitions in order, at most kMaxListedPartitions.
std::vector<PartitionEntry> ListPartitions();

// The partition's total size in bytes, 0 when it has no medium or the size cannot be read.
// Windows: the drive's total capacity as the file system reports it. Elsewhere: a block device's
// size from sysfs (no right to read it is needed), an image file's size, 0 for anything else.
int64_t PartitionCapacityBytes(const PartitionEntry& partition);

#ifndef _WIN32
// ListDisks and ListPartitions over the sysfs folder `sysBlock` (normally "/sys/block"), naming
// devices inside `devDir` (normally "/dev"). Disks, and the partitions of each disk, come in name
// order with numbers compared by value ("sdb2" before "sdb10").
std::vector<DiskEntry> ListSysfsDisks(const std::string& sysBlock, const std::string& devDir);
std::vector<PartitionEntry> ListSysfsPartitions(const std::string& sysBlock,
                                                const std::string& devDir);

// The volume label of the file system on `device` (a partition or an image file of one), as
// libblkid reads it; empty when it has none or cannot be read. A device that may not be read
// gives the label libblkid's cache holds for it, if any.
std::string ReadVolumeLabel(const std::string& device);
#endif

}  // namespace pagerake
