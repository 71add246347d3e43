// Linux: whether a block device holds removable media, as sysfs says.
#pragma once

#include <cstdint>
#include <string>

namespace pagerake {

// Reads `sysfsRoot`/dev/block/MAJOR:MINOR/removable ("1" removable, "0" fixed). A partition has
// no such file of its own; the flag of the disk that holds it (the parent folder) is taken. False
// when sysfs does not say.
[[nodiscard]] bool SysfsRemovable(const std::string& sysfsRoot, uint32_t major, uint32_t minor);

}  // namespace pagerake
