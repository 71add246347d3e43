#include "fragments/page_access.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "fragments/scan_info_codec.h"
#include "fragments/utf8_path.h"
#include "page/byte_order.h"
#include "page/page_header.h"

namespace pagerake {

int64_t ExpectedContentFileSize(const FragmentTable& table) {
  int64_t size = kContentTrailerBytes;
  for (const FragmentRecord& r : table) {
    size += kLeadBlockBytes + static_cast<int64_t>(r.Pages()) * kPageSize;
  }
  return size;
}

bool ReadLeadSectors(const DataSource& source, int64_t fsec, uint8_t* out) {
  std::memset(out, 0, kLeadBlockBytes);
  const int64_t first = fsec - kLeadSectors;
  if (first >= 0) return ReadSectors(source, first, kLeadSectors, out);
  // Near the start of the source: the sectors before sector 0 stay zero.
  if (fsec <= 0) return true;
  const int64_t missing = -first;
  return ReadSectors(source, 0, static_cast<int32_t>(fsec), out + missing * 512);
}

ContentOpenResult PageAccess::OpenContentFile(const std::string& path,
                                              const FragmentTable& table) {
  ContentOpenResult result;
  result.expectedSize = ExpectedContentFileSize(table);
  std::ifstream file(Utf8Path(path), std::ios::binary);
  if (!file) return result;
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size < 0) return result;
  result.actualSize = size;
  if (result.actualSize != result.expectedSize) {
    result.status = ContentOpenStatus::kSizeMismatch;
    return result;
  }
  // The trailer: the key rotated right by 3 bits, then the sectors per cluster.
  uint8_t trailer[kContentTrailerBytes];
  file.seekg(size - kContentTrailerBytes);
  if (!file.read(reinterpret_cast<char*>(trailer), kContentTrailerBytes)) return result;

  // The index: where each fragment's first page lies; the first line of a start sector wins.
  std::vector<std::pair<int64_t, int64_t>> index;
  index.reserve(table.size());
  int64_t position = 0;
  for (const FragmentRecord& r : table) {
    index.emplace_back(r.fsec, position + kLeadBlockBytes);
    position += kLeadBlockBytes + static_cast<int64_t>(r.Pages()) * kPageSize;
  }
  std::stable_sort(index.begin(), index.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  index.erase(std::unique(index.begin(), index.end(),
                          [](const auto& a, const auto& b) { return a.first == b.first; }),
              index.end());

  content_ = std::move(file);
  contentPath_ = path;
  contentSize_ = size;
  contentFileKey_ = std::rotl(LoadLe32(trailer), 3);
  index_ = std::move(index);
  liveSourceMode_ = false;
  result.status = ContentOpenStatus::kOpened;
  result.sectorsPerCluster = static_cast<int16_t>(LoadLe16(trailer + 4));
  return result;
}

int64_t PageAccess::FindFragment(int64_t fsec) const {
  const auto it = std::lower_bound(index_.begin(), index_.end(), fsec,
                                   [](const auto& entry, int64_t s) { return entry.first < s; });
  return (it != index_.end() && it->first == fsec) ? it->second : -1;
}

bool PageAccess::ReadFragmentSectors(const DataSource& source, int64_t fsec, int32_t sectorOffset,
                                     int32_t count, void* buffer) {
  if (liveSourceMode_) return ReadSectors(source, fsec + sectorOffset, count, buffer);
  if (count < 1) return false;
  const int64_t first = FindFragment(fsec);
  if (first < 0) return false;
  const int64_t position = first + static_cast<int64_t>(sectorOffset) * 512;
  const int64_t bytes = static_cast<int64_t>(count) * 512;
  if (position < 0 || position + bytes > contentSize_) return false;
  content_.clear();
  content_.seekg(position);
  if (!content_.read(static_cast<char*>(buffer), bytes)) return false;
  if (count == kSectorsPerPage) UnscramblePage(static_cast<uint8_t*>(buffer), contentFileKey_);
  return true;
}

bool PageAccess::ReadLeadBlock(const DataSource& source, int64_t fsec, uint8_t* out) {
  if (liveSourceMode_) return ReadLeadSectors(source, fsec, out);
  return ReadFragmentSectors(source, fsec, -kLeadSectors, kLeadSectors, out);
}

}  // namespace pagerake
