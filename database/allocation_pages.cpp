#include "database/allocation_pages.h"

#include <algorithm>

#include "page/byte_order.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

// The slot array grows down from the page's end: slot k's 2-byte offset is at 8190 − 2k.
constexpr int SlotField(int slot) { return kPageSize - 2 - 2 * slot; }

// The record header of every allocation record: status byte, a second byte, then the record's
// signed 16-bit length at record offset 2.
constexpr int kRecordHeaderSize = 4;
constexpr int kRecordLengthField = 2;

}  // namespace

std::optional<int> AllocationRecordAt(const uint8_t* page, int slot) {
  if (slot < 0 || slot > 1) return std::nullopt;
  const int offset = LoadLe16(page + SlotField(slot));
  if (offset < kLowestRecordOffset || offset > kHighestRecordOffset) return std::nullopt;
  return offset;
}

int AllocationRecordBodyBytes(const uint8_t* page, int record, int limit) {
  if (record < 0 || record > kPageSize - kRecordHeaderSize) return 0;
  const int length = static_cast<int16_t>(LoadLe16(page + record + kRecordLengthField));
  int bytes = std::min(length - kRecordHeaderSize, limit);
  bytes = std::min(bytes, kPageSize - (record + kRecordHeaderSize));
  return std::max(bytes, 0);
}

bool IsPfsPosition(int64_t pageId) {
  return pageId == 1 || (pageId > 0 && pageId % kPfsInterval == 0);
}

int64_t PfsFirstPage(int64_t pageId) { return pageId == 1 ? 0 : pageId; }

int64_t PfsPageFor(int64_t page) {
  return page < kPfsInterval ? 1 : page / kPfsInterval * kPfsInterval;
}

PfsBytes DecodePfsRecord(const uint8_t* page, int record, int limit, int64_t pageId) {
  PfsBytes pfs;
  pfs.firstPage = PfsFirstPage(pageId);
  pfs.count = AllocationRecordBodyBytes(page, record, limit);
  pfs.bytes = pfs.count > 0 ? page + record + kRecordHeaderSize : nullptr;
  return pfs;
}

std::optional<PfsBytes> DecodePfsPage(const uint8_t* page, int64_t pageId) {
  const std::optional<int> record = AllocationRecordAt(page, 0);
  if (!record) return std::nullopt;
  return DecodePfsRecord(page, *record, kPfsInterval, pageId);
}

bool IsGamPosition(int64_t pageId) { return pageId >= 2 && pageId % kGamInterval == 2; }
bool IsSgamPosition(int64_t pageId) { return pageId >= 3 && pageId % kGamInterval == 3; }

std::optional<bool> ExtentBitmap::BitFor(int64_t page) const {
  if (page < firstPage) return std::nullopt;
  const int64_t extent = (page - firstPage) / kPagesPerExtent;
  if (extent / 8 >= count) return std::nullopt;
  return ((bytes[extent / 8] >> (extent % 8)) & 1) != 0;
}

std::optional<ExtentBitmap> DecodeExtentBitmapPage(const uint8_t* page, int64_t pageId) {
  const std::optional<int> record = AllocationRecordAt(page, 1);
  if (!record) return std::nullopt;
  ExtentBitmap map;
  map.firstPage = pageId / kGamInterval * kGamInterval;
  map.count = AllocationRecordBodyBytes(page, *record, kGamInterval / kPagesPerExtent / 8);
  map.bytes = page + *record + kRecordHeaderSize;
  return map;
}

std::optional<IamPageView> DecodeIamPage(const uint8_t* page) {
  const std::optional<int> first = AllocationRecordAt(page, 0);
  if (!first) return std::nullopt;
  // The fields lie at most 92 bytes into a record that starts no later than 8095: inside the page.
  IamPageView iam;
  iam.rangeStart = static_cast<int32_t>(LoadLe32(page + *first + kIamRangeStartField));
  for (int k = 0; k < kIamSinglePageSlots; ++k) {
    iam.singles[k] = static_cast<int32_t>(
        LoadLe32(page + *first + kIamSinglePagesField + kIamSinglePageStride * k));
  }
  if (const std::optional<int> extents = AllocationRecordAt(page, 1)) {
    iam.bitmapBytes = AllocationRecordBodyBytes(page, *extents, kPageSize);
    if (iam.bitmapBytes > 0) iam.bitmap = page + *extents + kRecordHeaderSize;
  }
  return iam;
}

}  // namespace pagerake
