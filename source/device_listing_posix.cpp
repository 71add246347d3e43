// Linux: disks and partitions from sysfs, volume labels from libblkid.
#include <blkid/blkid.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "source/device_listing.h"

namespace pagerake {

namespace {

namespace fs = std::filesystem;

// A one-number sysfs attribute ("size", "removable", "hidden"); -1 when it cannot be read.
int64_t ReadNumber(const fs::path& file) {
  std::ifstream in(file);
  int64_t value = -1;
  if (!(in >> value)) return -1;
  return value;
}

// The device's name below /dev: DEVNAME from its uevent file, else the sysfs name, in which the
// kernel writes "!" for "/" ("cciss!c0d0" is /dev/cciss/c0d0).
std::string DeviceName(const fs::path& dir) {
  std::ifstream in(dir / "uevent");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("DEVNAME=", 0) == 0 && line.size() > 8) return line.substr(8);
  }
  std::string name = dir.filename().string();
  std::replace(name.begin(), name.end(), '!', '/');
  return name;
}

// Name order in which runs of digits compare by value: "sdb2" < "sdb10", "loop9" < "loop10".
bool NaturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (da && db) {
      size_t ei = i, ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
      // Leading zeros aside, the longer run is the larger number.
      std::string_view na(a.data() + i, ei - i), nb(b.data() + j, ej - j);
      while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
      while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

// The folders in `dir` (links to folders count, as in /sys/block) that `keep` accepts, in
// natural name order.
template <typename Keep>
std::vector<fs::path> Folders(const fs::path& dir, Keep keep) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeEc;
    if (fs::is_directory(it->path(), typeEc) && keep(it->path())) found.push_back(it->path());
  }
  std::sort(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
    return NaturalLess(a.filename().string(), b.filename().string());
  });
  return found;
}

// A whole disk worth listing: it has a size, and the kernel does not hide it (the paths of a
// multipath disk are hidden behind the disk itself).
bool IsListedDisk(const fs::path& dir) {
  return ReadNumber(dir / "size") > 0 && ReadNumber(dir / "hidden") != 1;
}

std::string DevicePath(const std::string& devDir, const fs::path& sysDir) {
  return devDir + "/" + DeviceName(sysDir);
}

}  // namespace

std::vector<DiskEntry> ListSysfsDisks(const std::string& sysBlock, const std::string& devDir) {
  std::vector<DiskEntry> disks;
  for (const fs::path& dir : Folders(sysBlock, IsListedDisk)) {
    if (static_cast<int>(disks.size()) == kMaxListedDisks) break;
    DiskEntry d;
    d.number = static_cast<int>(disks.size());
    d.devicePath = DevicePath(devDir, dir);
    d.totalSectors = ReadNumber(dir / "size");  // sysfs counts 512-byte sectors for every device
    d.removable = ReadNumber(dir / "removable") == 1;
    d.label = DiskLabel(d.number, d.removable, d.totalSectors);
    disks.push_back(std::move(d));
  }
  return disks;
}

std::vector<PartitionEntry> ListSysfsPartitions(const std::string& sysBlock,
                                                const std::string& devDir) {
  std::vector<PartitionEntry> partitions;
  const auto isPartition = [](const fs::path& dir) {
    std::error_code ec;
    return fs::exists(dir / "partition", ec) && ReadNumber(dir / "size") > 0;
  };
  for (const fs::path& disk : Folders(sysBlock, IsListedDisk)) {
    for (const fs::path& dir : Folders(disk, isPartition)) {
      if (static_cast<int>(partitions.size()) == kMaxListedPartitions) return partitions;
      PartitionEntry p;
      p.devicePath = DevicePath(devDir, dir);
      p.root = p.devicePath;
      p.volumeName = ReadVolumeLabel(p.devicePath);
      p.label = PartitionLabel(p.root, p.volumeName);
      partitions.push_back(std::move(p));
    }
  }
  return partitions;
}

std::vector<DiskEntry> ListDisks() { return ListSysfsDisks("/sys/block", "/dev"); }

std::vector<PartitionEntry> ListPartitions() { return ListSysfsPartitions("/sys/block", "/dev"); }

std::string ReadVolumeLabel(const std::string& device) {
  blkid_probe probe = blkid_new_probe_from_filename(device.c_str());
  if (probe == nullptr) {
    if (errno != EACCES && errno != EPERM) return {};
    // Not ours to read: what the cache remembers from a probe by someone who could (it is taken
    // unverified; an empty answer when it holds nothing).
    char* cached = blkid_get_tag_value(nullptr, "LABEL", device.c_str());
    std::string label = cached != nullptr ? cached : "";
    std::free(cached);
    return label;
  }
  std::string label;
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL);
  const char* value = nullptr;
  size_t length = 0;
  if (blkid_do_safeprobe(probe) == 0 &&
      blkid_probe_lookup_value(probe, "LABEL", &value, &length) == 0 && value != nullptr)
    label = value;
  blkid_free_probe(probe);
  return label;
}

int64_t PartitionCapacityBytes(const PartitionEntry& partition) {
  struct stat st {};
  if (::stat(partition.devicePath.c_str(), &st) != 0) return 0;
  if (S_ISREG(st.st_mode)) return st.st_size;
  if (!S_ISBLK(st.st_mode)) return 0;
  const fs::path dir = "/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" +
                       std::to_string(minor(st.st_rdev));
  const int64_t sectors = ReadNumber(dir / "size");
  return sectors > 0 ? sectors * 512 : 0;
}

}  // namespace pagerake
