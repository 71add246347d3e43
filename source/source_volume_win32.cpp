#include <algorithm>
#include <cctype>
#include <vector>

#include "source/source_volume.h"
#include "source/win32_api.h"

namespace pagerake {
namespace {

// The volume path ("D:\", or the folder a volume is mounted on, with its ending backslash) of the
// nearest place at or above `path` that exists; empty when the system does not say.
std::wstring VolumePathOf(const std::string& path) {
  std::error_code error;
  std::filesystem::path at = std::filesystem::absolute(WideName(path), error);
  if (error) return {};
  while (!std::filesystem::exists(at, error)) {
    if (!at.has_relative_path()) return {};
    at = at.parent_path();
  }
  wchar_t volume[MAX_PATH + 1] = {};
  if (!GetVolumePathNameW(at.c_str(), volume, MAX_PATH + 1)) return {};
  return volume;
}

// The volume's own name ("\\?\Volume{...}\") for a volume path; empty when it has none.
std::wstring VolumeName(const std::wstring& volumePath) {
  wchar_t name[MAX_PATH + 1] = {};
  if (!GetVolumeNameForVolumeMountPointW(volumePath.c_str(), name, MAX_PATH + 1)) return {};
  return name;
}

bool SameVolume(const std::wstring& a, const std::wstring& b) {
  const std::wstring nameA = VolumeName(a), nameB = VolumeName(b);
  if (!nameA.empty() && !nameB.empty()) return nameA == nameB;
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Whether the volume at `volumePath` has a part on physical disk `disk`.
bool VolumeOnDisk(const std::wstring& volumePath, unsigned long disk) {
  std::wstring name = VolumeName(volumePath);
  if (name.empty()) return false;
  name.pop_back();  // without its backslash the name opens the volume, not its root folder
  const HANDLE volume = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (volume == INVALID_HANDLE_VALUE) return false;
  constexpr DWORD kMostExtents = 32;
  std::vector<unsigned char> buffer(sizeof(VOLUME_DISK_EXTENTS) + kMostExtents * sizeof(DISK_EXTENT));
  DWORD got = 0;
  const BOOL ok = DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0,
                                  buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
  CloseHandle(volume);
  if (!ok || got < sizeof(VOLUME_DISK_EXTENTS)) return false;
  const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
  const DWORD count = std::min<DWORD>(extents->NumberOfDiskExtents, kMostExtents + 1);
  for (DWORD i = 0; i < count; ++i) {
    if (extents->Extents[i].DiskNumber == disk) return true;
  }
  return false;
}

}  // namespace

bool IsOnSourceDevice(const std::string& path, const std::string& device) {
  if (device.size() < 6 || device.compare(0, 4, "\\\\.\\") != 0) return false;
  if (device.size() == 6 && device[5] == ':' && std::isalpha(static_cast<unsigned char>(device[4]))) {
    const std::wstring place = VolumePathOf(path);
    const std::wstring drive = {static_cast<wchar_t>(device[4]), L':', L'\\'};
    return !place.empty() && SameVolume(place, drive);
  }
  constexpr std::string_view kDisk = "physicaldrive";
  std::string rest = device.substr(4);
  for (char& c : rest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!rest.starts_with(kDisk) || rest.size() == kDisk.size() || rest.size() > kDisk.size() + 3 ||
      rest.find_first_not_of("0123456789", kDisk.size()) != std::string::npos) {
    return false;
  }
  const std::wstring place = VolumePathOf(path);
  return !place.empty() && VolumeOnDisk(place, std::stoul(rest.substr(kDisk.size())));
}

}  // namespace pagerake
