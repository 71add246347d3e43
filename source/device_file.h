// One open, read-only handle on an image file or a block device of the data source.
//
// The platform part of the read layers: device_file_posix.cpp opens with open(2) and reads with
// pread(2); device_file_win32.cpp opens with CreateFileA and reads with SetFilePointerEx and
// ReadFile. Nothing here can write: there is no write operation and the handle is opened for
// reading only.
//
// Positions are bytes; the layers above count 512-byte sectors, whatever the device's own sector
// size. On Linux a block device is read through the page cache, which accepts any byte position
// and length, so a device with 4096-byte logical sectors is read at 512-byte granularity with no
// extra work. On Windows a device handle accepts only whole device sectors; there a device whose
// sectors are larger than 512 bytes is read through an aligned staging buffer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "source/chunked_read.h"

namespace pagerake {

class DeviceFile final : public PositionedReader {
 public:
  DeviceFile() = default;
  ~DeviceFile() override;
  DeviceFile(const DeviceFile&) = delete;
  DeviceFile& operator=(const DeviceFile&) = delete;

  // Opens `name` for reading only, closing what was open first: an image file or a block device
  // (a whole disk or a partition). Anything else (a folder, a pipe, a terminal) is refused without
  // blocking. False when it cannot be opened; the handle is then closed.
  [[nodiscard]] bool Open(const std::string& name);
  // Opens `name` the same way but for direct transfers that bypass the system's cache (Linux:
  // O_DIRECT), and learns the alignment they need. False where the platform or the file system
  // refuses them (tmpfs, Windows); the handle is then closed.
  [[nodiscard]] bool OpenDirect(const std::string& name);
  void Close();

  bool isOpen() const { return handle_ != kNoHandle; }
  // The name given to the last successful Open, empty when closed.
  const std::string& name() const { return name_; }
  // Size of the file or device in bytes, -1 when the platform does not tell.
  int64_t sizeBytes() const { return sizeBytes_; }
  // The device's logical sector size; 512 for an image file.
  uint32_t sectorBytes() const { return sectorBytes_; }
  // After OpenDirect: the multiple that a direct transfer's byte position, length and buffer
  // address must each be; 0 for a handle opened with Open.
  uint32_t directAlign() const { return directAlign_; }

  int64_t ReadAt(void* dst, size_t bytes, int64_t offset) override;
  // True when the system's cache seems to hold [offset, offset + bytes): a few pages spread over
  // the range are asked about (Linux: mincore over a mapping of the range, which answers only to
  // a caller who may write the file or owns it). False when one is not held, or when the
  // platform cannot tell. Reads nothing.
  bool IsCached(int64_t offset, size_t bytes) const;

 private:
  bool OpenWith(const std::string& name, int extraFlags);  // POSIX: Open with extra open(2) flags

  static constexpr intptr_t kNoHandle = -1;  // a closed file descriptor, INVALID_HANDLE_VALUE

  intptr_t handle_ = kNoHandle;
  std::string name_;
  int64_t sizeBytes_ = -1;
  uint32_t sectorBytes_ = kSectorSize;
  uint32_t directAlign_ = 0;
  IoBuffer staging_;  // Windows: whole-sector transfers for sectors above 512 bytes
};

// The device the drive layer opens for a partition. Windows: "\\.\" + drive letter + ":" for
// drive numbers 1 ("A") to 26 ("Z"), else `devicePath`. Elsewhere a partition is named by its
// block device (for example /dev/sdb1), which is `devicePath`.
std::string PartitionDeviceName(uint8_t driveNumber, const std::string& devicePath);

}  // namespace pagerake
