// Linux and other POSIX systems: the size of a disk from its device, the removable flag from
// sysfs.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "source/device_file.h"
#include "source/raw_disk.h"
#include "source/sysfs_removable.h"

namespace pagerake {

bool QueryDiskParameters(const std::string& devicePath, DiskParameters& params) {
  DeviceFile file;
  if (!file.Open(devicePath) || file.sizeBytes() <= 0) return false;
  DiskParameters found;
  found.totalSectors = file.sizeBytes() / kSectorSize;
  found.bytesPerSector = file.sectorBytes();
  struct stat st {};
  if (::stat(devicePath.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
    found.removable = SysfsRemovable("/sys", major(st.st_rdev), minor(st.st_rdev));
  params = found;
  return true;
}

}  // namespace pagerake
