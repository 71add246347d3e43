#include "fragments/page_access.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "fragments/scan_info_codec.h"
#include "page/byte_order.h"
#include "page/page_header.h"
#include "source/utf8_path.h"

namespace pagerake {

int64_t ExpectedContentFileSize(const FragmentTable& table) {
  int64_t size = kContentTrailerBytes;
  for (const FragmentRecord& r : table) {
    const int64_t line = kLeadBlockBytes + static_cast<int64_t>(r.Pages()) * kPageSize;
    if (__builtin_add_overflow(size, line, &size)) return INT64_MAX;  // no file is that large
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

void FragmentOffsetIndex::Build(const FragmentTable& table) {
  size_t capacity = 16;
  shift_ = 60;
  while (capacity < 2 * table.size()) {
    capacity *= 2;
    --shift_;
  }
  slots_.assign(capacity, Entry{});
  int64_t position = 0;
  for (const FragmentRecord& r : table) {
    size_t slot = Slot(r.fsec);
    while (slots_[slot].offset >= 0 && slots_[slot].fsec != r.fsec) {
      slot = (slot + 1) & (slots_.size() - 1);
    }
    if (slots_[slot].offset < 0) slots_[slot] = {r.fsec, position + kLeadBlockBytes};
    position += kLeadBlockBytes + static_cast<int64_t>(r.Pages()) * kPageSize;
  }
}

size_t FragmentOffsetIndex::Slot(int64_t fsec) const {
  // Fibonacci hashing: the high bits of the product spread neighbouring sectors apart.
  return static_cast<size_t>((static_cast<uint64_t>(fsec) * 0x9E3779B97F4A7C15ull) >> shift_);
}

int64_t FragmentOffsetIndex::Find(int64_t fsec) const {
  if (slots_.empty()) return -1;
  for (size_t slot = Slot(fsec);; slot = (slot + 1) & (slots_.size() - 1)) {
    const Entry& e = slots_[slot];
    if (e.offset < 0) return -1;
    if (e.fsec == fsec) return e.offset;
  }
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

  FragmentOffsetIndex index;
  index.Build(table);

  content_ = std::move(file);
  contentPath_ = path;
  contentSize_ = size;
  contentFileKey_ = std::rotl(LoadLe32(trailer), 3);
  index_ = std::move(index);
  liveSourceMode_ = false;
  spare_ = SpareSectors();
  result.spare = spare_.Open(SpareSectorsPath(path), contentFileKey_, contentSize_);
  result.status = ContentOpenStatus::kOpened;
  result.sectorsPerCluster = static_cast<int16_t>(LoadLe16(trailer + 4));
  return result;
}

bool PageAccess::DuplicateInto(PageAccess& copy) const {
  if (liveSourceMode_) {
    copy = PageAccess();
    return true;
  }
  std::ifstream file(Utf8Path(contentPath_), std::ios::binary);
  if (!file) return false;
  copy.content_ = std::move(file);
  copy.contentPath_ = contentPath_;
  copy.contentSize_ = contentSize_;
  copy.contentFileKey_ = contentFileKey_;
  copy.index_ = index_;
  copy.liveSourceMode_ = false;
  copy.spare_ = SpareSectors();
  if (spare_.IsOpen()) {
    (void)copy.spare_.Open(spare_.Path(), contentFileKey_, contentSize_);
  }
  return true;
}

bool PageAccess::ReadTailWindow(const DataSource& source, int64_t first, int32_t count,
                                uint8_t* out, std::vector<uint8_t>& known) {
  if (!liveSourceMode_) return spare_.IsOpen() && spare_.Read(first, count, out, known);
  return ReadWhatReads(source, first, count, out, known) > 0;
}

bool PageAccess::ReadFragmentSectors(const DataSource& source, int64_t fsec, int64_t sectorOffset,
                                     int32_t count, void* buffer) {
  if (liveSourceMode_) return ReadSectors(source, fsec + sectorOffset, count, buffer);
  if (count < 1) return false;
  const int64_t first = index_.Find(fsec);
  if (first < 0) return false;
  const int64_t position = first + sectorOffset * 512;
  const int64_t bytes = static_cast<int64_t>(count) * 512;
  if (position < 0 || position + bytes > contentSize_) return false;
  content_.clear();
  content_.seekg(position);
  if (!content_.read(static_cast<char*>(buffer), bytes)) return false;
  if (count == kSectorsPerPage) UnscramblePage(static_cast<uint8_t*>(buffer), contentFileKey_);
  return true;
}

bool PageAccess::ReadFragmentPages(const DataSource& source, int64_t fsec, int64_t firstPage,
                                   int32_t pageCount, void* buffer) {
  if (pageCount < 1 || pageCount > kMaxPagesPerRead) return false;
  const int64_t offset = firstPage * kSectorsPerPage;
  const int32_t count = pageCount * kSectorsPerPage;
  if (liveSourceMode_) {
    // Each page must be one that a read of it alone would deliver: none may start past the end
    // of the source (a read of them all would be cut short there and succeed).
    if (fsec + offset + int64_t{count - kSectorsPerPage} >= ReadableEnd(source)) return false;
    return ReadSectors(source, fsec + offset, count, buffer);
  }
  if (pageCount == 1) return ReadFragmentSectors(source, fsec, offset, count, buffer);
  // One read of the stored pages, then each is unscrambled as a page read alone would be.
  const int64_t first = index_.Find(fsec);
  if (first < 0) return false;
  const int64_t position = first + firstPage * kPageSize;
  const int64_t bytes = int64_t{pageCount} * kPageSize;
  if (position < 0 || position + bytes > contentSize_) return false;
  content_.clear();
  content_.seekg(position);
  if (!content_.read(static_cast<char*>(buffer), bytes)) return false;
  for (int32_t p = 0; p < pageCount; ++p) {
    UnscramblePage(static_cast<uint8_t*>(buffer) + int64_t{p} * kPageSize, contentFileKey_);
  }
  return true;
}

bool PageAccess::ReadLeadBlock(const DataSource& source, int64_t fsec, uint8_t* out) {
  if (liveSourceMode_) return ReadLeadSectors(source, fsec, out);
  return ReadFragmentSectors(source, fsec, -kLeadSectors, kLeadSectors, out);
}

}  // namespace pagerake
