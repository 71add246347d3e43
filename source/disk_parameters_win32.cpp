// Windows (NT family): the size of a physical disk from its drive geometry. The Windows 9x query
// (through the INT13EXT virtual device) is not provided: that platform cannot run the rest of the
// program.
#include "source/raw_disk.h"
#include "source/win32_api.h"

namespace pagerake {

namespace {

// Removable for every floppy format and for other removable media: the media types 1 to 22
// except 12, fixed media.
bool IsRemovableMedia(MEDIA_TYPE type) {
  const int t = static_cast<int>(type);
  return t >= 1 && t <= 22 && t != static_cast<int>(FixedMedia);
}

// An image file named instead of a disk: its size, not removable.
bool QueryImageFile(const std::string& path, DiskParameters& params) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(WideName(path).c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  const int64_t bytes =
      (static_cast<int64_t>(data.nFileSizeHigh) << 32) | static_cast<int64_t>(data.nFileSizeLow);
  if (bytes <= 0) return false;
  params = DiskParameters{};
  params.totalSectors = bytes / kSectorSize;
  return true;
}

}  // namespace

bool QueryDiskParameters(const std::string& devicePath, DiskParameters& params) {
  // 1. The geometry query needs no access rights; other programs keep the disk as they have it.
  HANDLE h = ::CreateFileW(WideName(devicePath).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DISK_GEOMETRY geometry{};
  DWORD returned = 0;
  const BOOL answered = ::DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                                          sizeof(geometry), &returned, nullptr);
  ::CloseHandle(h);
  if (!answered) return QueryImageFile(devicePath, params);
  // 2. The size is cylinders × tracks per cylinder × sectors per track device sectors, counted
  //    here in the system's 512-byte sectors.
  const int64_t deviceSectors = geometry.Cylinders.QuadPart *
                                static_cast<int64_t>(geometry.TracksPerCylinder) *
                                static_cast<int64_t>(geometry.SectorsPerTrack);
  const uint32_t bps = geometry.BytesPerSector >= static_cast<DWORD>(kSectorSize)
                           ? static_cast<uint32_t>(geometry.BytesPerSector)
                           : static_cast<uint32_t>(kSectorSize);
  if (deviceSectors <= 0) return false;  // no medium in the drive
  params = DiskParameters{};
  params.totalSectors = deviceSectors * (bps / kSectorSize);
  params.bytesPerSector = bps;
  params.removable = IsRemovableMedia(geometry.MediaType);
  return true;
}

}  // namespace pagerake
