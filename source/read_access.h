// Whether the system lets this process open a data source for reading, and when it does not, how
// the user can be given the right.
#pragma once

#include <string>

namespace pagerake {

enum class ReadAccess {
  kReadable,     // it opens for reading
  kDenied,       // the system refuses for lack of permission (EACCES, EPERM, ERROR_ACCESS_DENIED)
  kUnavailable,  // it does not open for another reason (missing, busy, no medium)
};

// Opens `name` (an image file or a device) for reading only and closes it again.
[[nodiscard]] ReadAccess CheckReadAccess(const std::string& name);

// One sentence for the user: how to be allowed to read `name`, a device or a file (Linux: run as
// root or join the "disk" group; Windows: run the program as administrator).
std::string ReadPermissionAdvice(const std::string& name);

}  // namespace pagerake
