// Linux and other POSIX systems: read access as open(2) answers it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "source/read_access.h"

namespace pagerake {

ReadAccess CheckReadAccess(const std::string& name) {
  // O_NONBLOCK: a pipe or a terminal must not hold the check.
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    return errno == EACCES || errno == EPERM ? ReadAccess::kDenied : ReadAccess::kUnavailable;
  }
  ::close(fd);
  return ReadAccess::kReadable;
}

std::string ReadPermissionAdvice(const std::string& name) {
  struct stat st {};
  if (::stat(name.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
    return "没有读取该设备的权限：读取磁盘和分区需要 root 身份（例如用 sudo 运行本程序），"
           "或者把当前用户加入 \"disk\" 组（sudo usermod -aG disk 用户名，重新登录后生效）。";
  }
  return "没有读取该文件的权限：请给当前用户读取它的权限（例如 chmod +r），或者用有权读取它的用户运行本程序。";
}

}  // namespace pagerake
