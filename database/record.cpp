#include "database/record.h"

#include <algorithm>

#include "page/byte_order.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr uint8_t kHasNullBitmap = 0x10;
constexpr uint8_t kHasVariable = 0x20;
constexpr int kRecordHeader = 4;
constexpr int kStubBytes = 9;

}  // namespace

RowId ReadRowId(const uint8_t* p) {
  return RowId{LoadLe32(p), LoadLe16(p + 4), LoadLe16(p + 6)};
}

bool RecordParts::IsNull(int index) const {
  if (index < 0) return true;
  if (columnCount >= 0 && index >= columnCount) return true;
  if (!hasNullBitmap) return false;
  const size_t byte = static_cast<size_t>(index / 8);
  if (byte >= nullBitmap.size()) return true;
  return ((nullBitmap[byte] >> (index % 8)) & 1) != 0;
}

std::optional<RecordParts> SplitRecord(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return std::nullopt;
  RecordParts parts;
  const uint8_t status = bytes[0];
  parts.kind = static_cast<RecordKind>((status >> 1) & 7);
  if (parts.kind == RecordKind::kForwardingStub) {
    if (bytes.size() < kStubBytes) return std::nullopt;
    parts.forwardedTo = ReadRowId(bytes.data() + 1);
    parts.record = bytes.first(kStubBytes);
    return parts;
  }
  if (bytes.size() < kRecordHeader) return std::nullopt;
  const size_t fixedEnd = LoadLe16(bytes.data() + 2);
  if (fixedEnd < kRecordHeader || fixedEnd > bytes.size()) return std::nullopt;
  parts.fixed = bytes.subspan(kRecordHeader, fixedEnd - kRecordHeader);
  size_t at = fixedEnd;
  parts.hasNullBitmap = (status & kHasNullBitmap) != 0;
  if (parts.hasNullBitmap) {
    if (at + 2 > bytes.size()) return std::nullopt;
    parts.columnCount = LoadLe16(bytes.data() + at);
    at += 2;
    const size_t bitmapBytes = (static_cast<size_t>(parts.columnCount) + 7) / 8;
    if (at + bitmapBytes > bytes.size()) return std::nullopt;
    parts.nullBitmap = bytes.subspan(at, bitmapBytes);
    at += bitmapBytes;
  }
  if ((status & kHasVariable) != 0) {
    if (at + 2 > bytes.size()) return std::nullopt;
    const size_t count = LoadLe16(bytes.data() + at);
    at += 2;
    if (at + 2 * count > bytes.size()) return std::nullopt;
    size_t start = at + 2 * count;
    parts.variable.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      const uint16_t end = LoadLe16(bytes.data() + at + 2 * i);
      const size_t stop = end & 0x7FFF;
      if (stop < start || stop > bytes.size()) return std::nullopt;
      parts.variable.push_back({bytes.subspan(start, stop - start), (end & 0x8000) != 0});
      start = stop;
    }
    at = start;
  }
  parts.record = bytes.first(at);
  return parts;
}

int SlotCount(const uint8_t* page) {
  return std::min<int>(LoadLe16(page + header_offset::kSlotCount), kPageBodySize / 2);
}

std::optional<std::span<const uint8_t>> SlotBytes(const uint8_t* page, int slot) {
  const int slots = SlotCount(page);
  if (slot < 0 || slot >= slots) return std::nullopt;
  const int slotArrayStart = kPageSize - 2 * slots;
  const int offset = LoadLe16(page + kPageSize - 2 - 2 * slot);
  if (offset == 0) return std::span<const uint8_t>();
  if (offset < kPageHeaderSize || offset >= slotArrayStart) return std::nullopt;
  return std::span<const uint8_t>(page + offset, static_cast<size_t>(slotArrayStart - offset));
}

}  // namespace pagerake
