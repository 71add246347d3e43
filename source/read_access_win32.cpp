// Windows: read access as CreateFileW answers it.
#include "source/read_access.h"
#include "source/win32_api.h"

namespace pagerake {

ReadAccess CheckReadAccess(const std::string& name) {
  HANDLE h = ::CreateFileW(WideName(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return ::GetLastError() == ERROR_ACCESS_DENIED ? ReadAccess::kDenied : ReadAccess::kUnavailable;
  ::CloseHandle(h);
  return ReadAccess::kReadable;
}

std::string ReadPermissionAdvice(const std::string& name) {
  // Disks ("\\.\PhysicalDrive0") and partitions ("\\.\C:") are device names.
  if (name.rfind("\\\\.\\", 0) == 0) {
    return "没有读取该设备的权限：读取磁盘和分区需要管理员权限，请右键单击本程序，选择“以管理员身份运行”。";
  }
  return "没有读取该文件的权限：请在文件的“属性”→“安全”中给当前用户读取权限，或者以管理员身份运行本程序。";
}

}  // namespace pagerake
