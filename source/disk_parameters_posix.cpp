// Linux and other POSIX systems: the size of a disk from its device, the removable flag from
// sysfs.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "source/device_file.h"
#include "source/image_container.h"
#include "source/raw_disk.h"
#include "source/sysfs_removable.h"

namespace pagerake {

bool QueryDiskParameters(const std::string& devicePath, DiskParameters& params) {
  // A container's size is the size of the media it holds.
  if (const ContainerFormat format = DetectContainer(devicePath); format != ContainerFormat::kRaw) {
    std::string error;
    const std::unique_ptr<ContainerImage> image = ContainerImage::Open(devicePath, format, error);
    if (!image) return false;
    params = DiskParameters{image->facts().mediaBytes / kSectorSize, 512, false};
    return true;
  }
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
