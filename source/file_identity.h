// Whether two paths name the same file on the storage platform: same device and inode on POSIX,
// same volume serial number and file index on Windows. Names alone are not enough: links, bind
// mounts, "..", case-insensitive file systems and device aliases all give one file many names.
//
// Commands that write output use it to refuse to write over a file they read from (the data
// source, the open fragment-content file).
#pragma once

#include <string>

namespace pagerake {

// True when both paths exist and name the same file. A path that does not exist (an output file
// not yet created) is never the same as anything. Paths are UTF-8.
[[nodiscard]] bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace pagerake
