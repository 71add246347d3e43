#include "source/file_storage.h"

#include <cerrno>
#include <system_error>

#ifdef _WIN32
#include <windows.h>

#include "source/wide_path_win32.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace pagerake {

#ifdef _WIN32

bool FlushFileToStorage(const std::string& path, std::string& reason) {
  // FlushFileBuffers needs a handle with write access.
  HANDLE h = CreateFileW(Widen(path).c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    reason = std::system_category().message(static_cast<int>(GetLastError()));
    return false;
  }
  const BOOL ok = FlushFileBuffers(h);
  if (!ok) reason = std::system_category().message(static_cast<int>(GetLastError()));
  CloseHandle(h);
  return ok != 0;
}

bool FlushFolderToStorage(const std::string& /*folder*/) { return true; }

BackgroundWriteback::BackgroundWriteback(const std::string& /*path*/) {}
BackgroundWriteback::~BackgroundWriteback() = default;
void BackgroundWriteback::Start(int64_t /*offset*/, int64_t /*length*/) {}

#else

namespace {

// fsync of `path` opened read only (enough on every POSIX system this builds for).
int SyncPath(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
  if (fd < 0) return errno;
  int error = 0;
  while (::fsync(fd) != 0) {
    if (errno != EINTR) {
      error = errno;
      break;
    }
  }
  ::close(fd);
  return error;
}

}  // namespace

bool FlushFileToStorage(const std::string& path, std::string& reason) {
  const int error = SyncPath(path, 0);
  if (error != 0) reason = std::generic_category().message(error);
  return error == 0;
}

bool FlushFolderToStorage(const std::string& folder) {
  return SyncPath(folder.empty() ? "." : folder, O_DIRECTORY) == 0;
}

BackgroundWriteback::BackgroundWriteback(const std::string& path)
    : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

BackgroundWriteback::~BackgroundWriteback() {
  if (fd_ >= 0) ::close(fd_);
}

void BackgroundWriteback::Start(int64_t offset, int64_t length) {
#ifdef __linux__
  if (fd_ >= 0 && length > 0) {
    (void)::sync_file_range(fd_, static_cast<off_t>(offset), static_cast<off_t>(length),
                            SYNC_FILE_RANGE_WRITE);
  }
#else
  (void)offset;
  (void)length;
#endif
}

#endif

}  // namespace pagerake
