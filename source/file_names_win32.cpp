// Windows: CreateFileW with CREATE_NEW, and MoveFileExW, which (unlike the C library's rename)
// replaces a file that holds the name. Write-through: the call returns once the new name is on
// the storage, as the folder flush after a rename does on POSIX.
#include <windows.h>

#include <system_error>

#include "source/file_names.h"
#include "source/wide_path_win32.h"

namespace pagerake {
namespace {

std::string LastError() {
  return std::system_category().message(static_cast<int>(GetLastError()));
}

}  // namespace

NewFile CreateNewFile(const std::string& path, std::string& reason) {
  HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                         nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return NewFile::kExists;
    reason = std::system_category().message(static_cast<int>(error));
    return NewFile::kFailed;
  }
  CloseHandle(h);
  return NewFile::kCreated;
}

bool MoveOnto(const std::string& from, const std::string& to, std::string& reason) {
  if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  reason = LastError();
  return false;
}

}  // namespace pagerake
