#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "source/source_volume.h"

namespace pagerake {
namespace {
namespace fs = std::filesystem;

// MAJOR:MINOR from a sysfs "dev" file.
std::optional<std::pair<uint32_t, uint32_t>> DevFile(const fs::path& file) {
  std::ifstream in(file);
  uint32_t major = 0, minor = 0;
  char colon = 0;
  if (!(in >> major >> colon >> minor) || colon != ':') return std::nullopt;
  return std::pair(major, minor);
}

}  // namespace

std::vector<std::pair<uint32_t, uint32_t>> BlockDevicesBeneath(const std::string& sysfsRoot,
                                                               uint32_t major, uint32_t minor) {
  std::vector<std::pair<uint32_t, uint32_t>> found = {{major, minor}};
  // Breadth first; a chain deeper than a few dozen devices is not followed (nor a loop in it).
  for (size_t i = 0; i < found.size() && found.size() < 64; ++i) {
    std::error_code error;
    const fs::path dir = fs::canonical(fs::path(sysfsRoot) / "dev" / "block" /
                                       (std::to_string(found[i].first) + ":" +
                                        std::to_string(found[i].second)), error);
    if (error) continue;
    std::vector<fs::path> below;
    if (fs::exists(dir / "partition", error)) below.push_back(dir.parent_path());
    for (const fs::directory_entry& slave : fs::directory_iterator(dir / "slaves", error)) {
      std::error_code unresolved;
      const fs::path device = fs::canonical(slave.path(), unresolved);
      if (!unresolved) below.push_back(device);
    }
    for (const fs::path& device : below) {
      const auto id = DevFile(device / "dev");
      if (id && std::find(found.begin(), found.end(), *id) == found.end()) found.push_back(*id);
    }
  }
  return found;
}

bool IsOnSourceDevice(const std::string& path, const std::string& device) {
  struct stat source {};
  if (::stat(device.c_str(), &source) != 0 || !S_ISBLK(source.st_mode)) return false;
  std::error_code error;
  fs::path at = fs::absolute(path, error);
  if (error) return false;
  struct stat place {};
  while (::stat(at.c_str(), &place) != 0) {
    if (!at.has_relative_path()) return false;
    at = at.parent_path();
  }
  const std::pair wanted(major(source.st_rdev), minor(source.st_rdev));
  const auto beneath = BlockDevicesBeneath("/sys", major(place.st_dev), minor(place.st_dev));
  return std::find(beneath.begin(), beneath.end(), wanted) != beneath.end();
}

}  // namespace pagerake
