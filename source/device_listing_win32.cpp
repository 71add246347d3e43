// Windows: physical drives by number through the disk parameter query, partitions by drive
// letter.
#include <array>
#include <cstdint>
#include <cwchar>

#include "source/device_listing.h"
#include "source/raw_disk.h"
#include "source/win32_api.h"

namespace pagerake {

namespace {

// The drive types that are offered: removable, fixed and CD-ROM drives.
bool IsListedDriveType(UINT type) {
  return type == DRIVE_REMOVABLE || type == DRIVE_FIXED || type == DRIVE_CDROM;
}

// Keeps the system from asking the user to insert a medium while a drive with none is asked
// about; the earlier mode comes back when it goes out of scope.
class NoCriticalErrorBoxes {
 public:
  NoCriticalErrorBoxes() : previous_(::SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~NoCriticalErrorBoxes() { ::SetErrorMode(previous_); }
  NoCriticalErrorBoxes(const NoCriticalErrorBoxes&) = delete;
  NoCriticalErrorBoxes& operator=(const NoCriticalErrorBoxes&) = delete;

 private:
  UINT previous_;
};

// The volume label of the drive at `root` ("C:\"), in UTF-8; empty when it has none or cannot
// be read. Asked in the wide form so that a label outside the narrow code page arrives intact.
std::string VolumeLabel(const std::string& root) {
  std::array<wchar_t, MAX_PATH + 1> name{};
  {
    NoCriticalErrorBoxes quiet;
    if (!::GetVolumeInformationW(WideName(root).c_str(), name.data(),
                                 static_cast<DWORD>(name.size()), nullptr, nullptr, nullptr,
                                 nullptr, 0))
      return {};
  }
  const int wide = static_cast<int>(wcsnlen(name.data(), name.size()));
  if (wide == 0) return {};
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, name.data(), wide, nullptr, 0, nullptr,
                                          nullptr);
  if (bytes <= 0) return {};
  std::string label(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, name.data(), wide, label.data(), bytes, nullptr, nullptr);
  return label;
}

}  // namespace

std::vector<DiskEntry> ListDisks() {
  std::vector<DiskEntry> disks;
  for (int n = 0; n <= 255 && static_cast<int>(disks.size()) < kMaxListedDisks; ++n) {
    const std::string path = "\\\\.\\PhysicalDrive" + std::to_string(n);
    DiskParameters params;
    if (!QueryDiskParameters(path, params)) continue;
    DiskEntry d;
    d.number = n;
    d.devicePath = path;
    d.totalSectors = params.totalSectors;
    d.removable = params.removable;
    d.label = DiskLabel(n, d.removable, d.totalSectors);
    disks.push_back(std::move(d));
  }
  return disks;
}

std::vector<PartitionEntry> ListPartitions() {
  std::vector<PartitionEntry> partitions;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string root = std::string(1, letter) + ":\\";
    if (!IsListedDriveType(::GetDriveTypeA(root.c_str()))) continue;
    PartitionEntry p;
    p.driveNumber = static_cast<uint8_t>(letter - 'A' + 1);
    p.devicePath = "\\\\.\\" + std::string(1, letter) + ":";
    p.root = root;
    p.volumeName = VolumeLabel(root);
    p.label = PartitionLabel(root, p.volumeName);
    partitions.push_back(std::move(p));
  }
  return partitions;
}

int64_t PartitionCapacityBytes(const PartitionEntry& partition) {
  if (partition.driveNumber < 1 || partition.driveNumber > 26) return 0;
  const std::string root = std::string(1, static_cast<char>('A' + partition.driveNumber - 1)) +
                           ":\\";
  ULARGE_INTEGER total{};
  NoCriticalErrorBoxes quiet;
  if (!::GetDiskFreeSpaceExA(root.c_str(), nullptr, &total, nullptr)) return 0;
  return total.QuadPart > static_cast<ULONGLONG>(INT64_MAX) ? INT64_MAX
                                                             : static_cast<int64_t>(total.QuadPart);
}

}  // namespace pagerake
