#include "source/file_identity.h"

#ifdef _WIN32
#include <windows.h>

#include "source/wide_path_win32.h"
#else
#include <sys/stat.h>
#endif

namespace pagerake {

#ifdef _WIN32

namespace {

// Volume serial number and file index of an existing file or device; false when it cannot be
// opened. Opened without read or write access: only its attributes are queried.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE h = CreateFileW(Widen(path).c_str(), 0,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  return ok != 0;
}

}  // namespace

bool IsSameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  if (!FileIdentity(a, ia) || !FileIdentity(b, ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

#else

bool IsSameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

#endif

}  // namespace pagerake
