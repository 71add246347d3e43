// The labels of the data-source menu's disk and partition entries; the listing itself is in
// device_listing_posix.cpp and device_listing_win32.cpp.
#include "source/device_listing.h"

#include <charconv>

namespace pagerake {

namespace {

// `value` with two decimals and "." as separator (to_chars ignores the locale, which a window
// toolkit may have set from the environment).
std::string TwoDecimals(double value) {
  char text[64];
  const auto [end, ec] =
      std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed, 2);
  if (ec != std::errc()) return "0.00";
  return std::string(text, end);
}

}  // namespace

std::string DiskSizeText(int64_t totalSectors) {
  const double mb = static_cast<double>(totalSectors) / 2048.0;
  if (mb >= 1000.0) return TwoDecimals(mb / 1024.0) + " GB)";
  return TwoDecimals(mb) + " MB)";
}

std::string DiskLabel(int number, bool removable, int64_t totalSectors) {
  return std::string(removable ? "可移动存储 " : "本地磁盘 ") + std::to_string(number) + " (" +
         DiskSizeText(totalSectors) + " ";
}

std::string VolumeNameText(const std::string& volumeName) {
  std::string text = "[";
  for (const char c : volumeName) text += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  return text + "]";
}

std::string PartitionLabel(const std::string& root, const std::string& volumeName) {
  return root + " " + VolumeNameText(volumeName);
}

}  // namespace pagerake
