#include "source/sysfs_removable.h"

#include <fstream>

namespace pagerake {

namespace {

// The first character of a one-line sysfs attribute, or 0 when it cannot be read.
char ReadFlag(const std::string& path) {
  std::ifstream in(path);
  char c = 0;
  if (!(in >> c)) return 0;
  return c;
}

}  // namespace

bool SysfsRemovable(const std::string& sysfsRoot, uint32_t major, uint32_t minor) {
  // /sys/dev/block/M:m links to the device's folder; a partition's folder sits inside its
  // disk's, and the kernel resolves ".." from the link's target.
  const std::string dir =
      sysfsRoot + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  char flag = ReadFlag(dir + "/removable");
  if (flag == 0) flag = ReadFlag(dir + "/../removable");
  return flag == '1';
}

}  // namespace pagerake
