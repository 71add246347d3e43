// Whether a place to write lies on the device being read. Writing there would overwrite the very
// clusters a deleted file may still occupy: a recovery never writes onto the disk or partition it
// recovers from.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pagerake {

// True when `path` (where it does not exist yet, the nearest folder above it that does) is on a
// file system that `device` holds: the partition itself, a partition of the whole disk, or a
// volume built on either (LVM, RAID). Linux: block devices such as /dev/sdb1 or /dev/sdb;
// Windows: "\\.\D:" or "\\.\PhysicalDrive1". Always false for an image file: an image is never
// written to (the data source's own identity is checked apart) and its folder may take output.
[[nodiscard]] bool IsOnSourceDevice(const std::string& path, const std::string& device);

// Linux: the block devices a file system on device MAJOR:MINOR rests on, as `sysfsRoot` tells:
// the device itself, the whole disk of a partition, and the same for each device under a
// device-mapper or RAID volume (its "slaves"), as MAJOR:MINOR pairs.
std::vector<std::pair<uint32_t, uint32_t>> BlockDevicesBeneath(const std::string& sysfsRoot,
                                                               uint32_t major, uint32_t minor);

}  // namespace pagerake
