// Windows (NT family): image files, physical disks ("\\.\PhysicalDrive0") and partitions
// ("\\.\C:") opened with CreateFileW (names are UTF-8) and read with SetFilePointerEx and
// ReadFile. The Windows 9x branches are not provided: that platform cannot run the rest of the
// program.
#include <algorithm>
#include <cstring>

#include "source/device_file.h"
#include "source/win32_api.h"

namespace pagerake {

namespace {

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// "\\.\X:" names a drive letter's partition.
bool IsDriveLetterDevice(const std::string& name) {
  return name.size() == 6 && name.compare(0, 4, "\\\\.\\") == 0 && name[5] == ':';
}

// The logical sector size of a disk or partition, 0 when the handle answers no geometry query
// (an image file).
uint32_t QuerySectorBytes(HANDLE h, const std::string& name) {
  // A CD-ROM partition has 2048-byte sectors; its drive is not asked.
  if (IsDriveLetterDevice(name)) {
    const std::string root = name.substr(4, 2) + "\\";
    if (::GetDriveTypeA(root.c_str()) == DRIVE_CDROM) return 2048;
  }
  DISK_GEOMETRY geometry{};
  DWORD returned = 0;
  if (!::DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry,
                         sizeof(geometry), &returned, nullptr))
    return 0;
  const DWORD bps = geometry.BytesPerSector;
  // Only power-of-two sizes from 512 up are usable for positioning.
  if (bps < static_cast<DWORD>(kSectorSize) || (bps & (bps - 1)) != 0) return kSectorSize;
  return bps;
}

// Size in bytes of an open disk or partition, -1 when it does not say.
int64_t QueryDeviceBytes(HANDLE h) {
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  if (!::DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof(length),
                         &returned, nullptr))
    return -1;
  return length.Length.QuadPart;
}

// Reads `bytes` at `offset` (both whole device sectors) into `dst`. Bytes read, -1 on failure.
int64_t ReadAligned(HANDLE h, uint8_t* dst, size_t bytes, int64_t offset) {
  LARGE_INTEGER position;
  position.QuadPart = offset;
  if (!::SetFilePointerEx(h, position, nullptr, FILE_BEGIN)) return -1;
  size_t got = 0;
  while (got < bytes) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes - got, 1u << 30));
    DWORD read = 0;
    if (!::ReadFile(h, dst + got, want, &read, nullptr)) return got > 0 ? int64_t(got) : -1;
    if (read == 0) break;
    got += read;
  }
  return static_cast<int64_t>(got);
}

}  // namespace

DeviceFile::~DeviceFile() { Close(); }

void DeviceFile::Close() {
  if (handle_ != kNoHandle) ::CloseHandle(AsHandle(handle_));
  handle_ = kNoHandle;
  name_.clear();
  sizeBytes_ = -1;
  sectorBytes_ = kSectorSize;
  staging_ = IoBuffer();
}

bool DeviceFile::IsCached(int64_t /*offset*/, size_t /*bytes*/) const { return false; }

// Direct transfers are not used here: the large reads go through Open's handle.
bool DeviceFile::OpenDirect(const std::string& /*name*/) {
  Close();
  return false;
}

bool DeviceFile::Open(const std::string& name) {
  Close();
  // 1. Open for reading only, letting others keep the device open as they like.
  HANDLE h = ::CreateFileW(WideName(name).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  if (::GetFileType(h) != FILE_TYPE_DISK) {  // a pipe or a console is no data source
    ::CloseHandle(h);
    return false;
  }
  // 2. A disk or partition answers the geometry query; an image file does not, and is read in
  //    512-byte sectors whatever device was read before.
  const uint32_t deviceSector = QuerySectorBytes(h, name);
  int64_t size = -1;
  if (deviceSector == 0) {
    LARGE_INTEGER fileSize{};
    if (::GetFileSizeEx(h, &fileSize)) size = fileSize.QuadPart;
  } else {
    size = QueryDeviceBytes(h);
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  name_ = name;
  sizeBytes_ = size;
  sectorBytes_ = deviceSector == 0 ? kSectorSize : deviceSector;
  return true;
}

int64_t DeviceFile::ReadAt(void* dst, size_t bytes, int64_t offset) {
  if (handle_ == kNoHandle || offset < 0) return -1;
  HANDLE h = AsHandle(handle_);
  auto* out = static_cast<uint8_t*>(dst);
  const int64_t ss = sectorBytes_;
  if (ss == kSectorSize) return ReadAligned(h, out, bytes, offset);
  // A device with larger sectors: whole device sectors through the staging buffer, then the
  // requested 512-byte sectors out of it.
  const size_t stagingBytes = std::max<size_t>(kChunkBytes, static_cast<size_t>(ss));
  if (staging_.size() < stagingBytes) staging_ = IoBuffer(stagingBytes);
  size_t got = 0;
  while (got < bytes) {
    const int64_t want = offset + static_cast<int64_t>(got);
    const int64_t alignedStart = want / ss * ss;
    const size_t lead = static_cast<size_t>(want - alignedStart);
    const size_t needed = lead + (bytes - got);
    const size_t piece = std::min(stagingBytes, (needed + ss - 1) / ss * ss);
    const int64_t n = ReadAligned(h, staging_.data(), piece, alignedStart);
    if (n <= static_cast<int64_t>(lead)) {  // nothing of the request arrived in this piece
      if (got > 0) return static_cast<int64_t>(got);
      return n < 0 ? -1 : 0;
    }
    const size_t useful = std::min(static_cast<size_t>(n) - lead, bytes - got);
    std::memcpy(out + got, staging_.data() + lead, useful);
    got += useful;
    if (static_cast<size_t>(n) < piece) break;
  }
  return static_cast<int64_t>(got);
}

std::string PartitionDeviceName(uint8_t driveNumber, const std::string& devicePath) {
  if (driveNumber < 1 || driveNumber > 26) return devicePath;
  std::string name = "\\\\.\\";
  name += static_cast<char>('@' + driveNumber);  // 1 gives "A", 3 gives "C"
  name += ':';
  return name;
}

}  // namespace pagerake
