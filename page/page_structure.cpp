#include "page/page_structure.h"

#include <array>
#include <bit>

#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr int kSlotArrayEnd = kPageSize - 2;  // slot 0

// Page types with a fixed layout, beside those page_header.h names.
constexpr int kPageTypeText = 3;
constexpr int kPageTypeTextTree = 4;
constexpr int kPageTypeGam = 8;
constexpr int kPageTypeSgam = 9;
constexpr int kPageTypeBoot = 13;
constexpr int kPageTypeDcm = 16;
constexpr int kPageTypeBcm = 17;

// Record types: bits 1 to 3 of a record's first byte.
constexpr int kRecordPrimary = 0;
constexpr int kRecordForwarded = 1;
constexpr int kRecordForwardingStub = 2;
constexpr int kRecordIndex = 3;
constexpr int kRecordBlobFragment = 4;
constexpr int kRecordGhostIndex = 5;
constexpr int kRecordGhostData = 6;

// Bits of a record's first byte past its type.
constexpr uint8_t kHasNullBitmap = 0x10;
constexpr uint8_t kHasVariableColumns = 0x20;
constexpr uint8_t kHasVersionTag = 0x40;
constexpr int kVersionTagSize = 14;
constexpr int kForwardingStubSize = 9;

// The two records of GAM, SGAM, IAM, DCM and BCM pages: a 94-byte header record at 96 and the
// 7992-byte bitmap record right behind it (two bytes later on some IAM pages).
constexpr int kBitmapHeaderRecordSize = 94;
constexpr int kBitmapRecordSize = 7992;
// The one record of a PFS page: a byte for each of 8088 pages behind its 4-byte record header.
constexpr int kPfsRecordSize = 8092;

// The page as it was before torn-page protection replaced the two low bits of the last byte of
// sectors 1 to 15, whether or not they were put back; reads past the page give 0.
class RestoredView {
 public:
  explicit RestoredView(const uint8_t* page) : page_(page) {
    const uint32_t torn = static_cast<uint32_t>(page[60]) | (static_cast<uint32_t>(page[61]) << 8) |
                          (static_cast<uint32_t>(page[62]) << 16) |
                          (static_cast<uint32_t>(page[63]) << 24);
    // The same condition as RestoreTornBits, so both agree on which pages carry the pattern.
    if ((page[5] & 0x01) != 0 && ((torn & 3) == 1 || (torn & 3) == 2)) {
      torn_ = true;
      tornBits_ = torn;
    }
  }

  uint8_t At(int i) const {
    if (i < 0 || i >= kPageSize) return 0;
    const uint8_t b = page_[i];
    if (!torn_ || (i & (kSectorSize - 1)) != kSectorSize - 1 || i < kSectorSize) return b;
    const int sector = i / kSectorSize;
    return static_cast<uint8_t>((b & 0xFC) | ((tornBits_ >> (2 * sector)) & 3));
  }
  int Le16(int i) const { return At(i) | (At(i + 1) << 8); }

 private:
  const uint8_t* page_;
  bool torn_ = false;
  uint32_t tornBits_ = 0;
};

int RecordType(const RestoredView& v, int offset) { return (v.At(offset) >> 1) & 7; }

bool TypeFitsPage(int pageType, int recordType) {
  switch (pageType) {
    case kPageTypeData:
      return recordType == kRecordPrimary || recordType == kRecordForwarded ||
             recordType == kRecordForwardingStub || recordType == kRecordGhostData;
    case kPageTypeIndex:
      return recordType == kRecordIndex || recordType == kRecordGhostIndex;
    case kPageTypeText:
    case kPageTypeTextTree:
      return recordType == kRecordBlobFragment;
    default:
      return false;
  }
}

// The end of a data or index record at `offset` whose fixed-length part ends at `fixedEnd`: the
// column count and null bitmap, the variable-column count and end offsets, the version tag. -1
// when the layout itself leaves `bound` (the next record or m_freeData) before it is complete.
int ColumnRecordEnd(const RestoredView& v, int offset, int fixedEnd, int bound) {
  const uint8_t status = v.At(offset);
  int q = fixedEnd;
  if (q > bound) return -1;
  if (status & kHasNullBitmap) {
    if (q + 2 > bound) return -1;
    q += 2 + (v.Le16(q) + 7) / 8;
    if (q > bound) return -1;
  }
  int end = q;
  if (status & kHasVariableColumns) {
    if (q + 2 > bound) return -1;
    const int columns = v.Le16(q);
    q += 2;
    if (q + 2 * columns > bound) return -1;
    end = q + 2 * columns;
    if (columns > 0) {
      const int last = offset + (v.Le16(q + 2 * (columns - 1)) & 0x7FFF);
      if (last < end) return -1;
      end = last;
    }
  }
  if (status & kHasVersionTag) end += kVersionTagSize;
  return end;
}

// The end of a data record: its fixed-length part ends where bytes 2-3 of the record say.
int DataRecordEnd(const RestoredView& v, int offset, int bound) {
  if (offset + 4 > bound) return -1;
  const int fixed = v.Le16(offset + 2);
  if (fixed < 4) return -1;
  return ColumnRecordEnd(v, offset, offset + fixed, bound);
}

// The end of the record at `offset` on a data, index or text page, by its own layout; -1 when the
// layout does not fit before `bound`.
int RecordEnd(const RestoredView& v, int offset, int recordType, int bound) {
  switch (recordType) {
    case kRecordForwardingStub:
      return offset + kForwardingStubSize;
    case kRecordBlobFragment: {
      if (offset + 4 > bound) return -1;
      const int length = v.Le16(offset + 2);
      return length < 4 ? -1 : offset + length;
    }
    case kRecordIndex:
    case kRecordGhostIndex: {
      // Index records keep no fixed-length end of their own: the page's minimum record length
      // (status byte and fixed columns) gives it.
      const int minLen = v.Le16(header_offset::kMinLen);
      if (minLen < 1) return -1;
      return ColumnRecordEnd(v, offset, offset + minLen, bound);
    }
    default:
      return DataRecordEnd(v, offset, bound);
  }
}

// Walks the records of a data, index or text page in offset order (`starts` marks every record
// start, all below `freeData`), each bounded by the next one or by m_freeData.
StructureFault CheckRecords(const RestoredView& v, int pageType,
                            const std::array<uint64_t, kPageSize / 64>& starts, int freeData,
                            int slotCount, int freeCount) {
  int used = 0;
  int previous = -1;
  auto checkOne = [&](int offset, int bound) {
    const int type = RecordType(v, offset);
    if (!TypeFitsPage(pageType, type)) return StructureFault::kRecordType;
    const int end = RecordEnd(v, offset, type, bound);
    if (end < 0 || end > bound) return StructureFault::kRecordLength;
    used += end - offset;
    return StructureFault::kNone;
  };
  for (int word = 0; word < static_cast<int>(starts.size()); ++word) {
    for (uint64_t bits = starts[word]; bits != 0; bits &= bits - 1) {
      const int offset = word * 64 + std::countr_zero(bits);
      if (previous >= 0) {
        if (const StructureFault f = checkOne(previous, offset); f != StructureFault::kNone) return f;
      }
      previous = offset;
    }
  }
  if (previous >= 0) {
    if (const StructureFault f = checkOne(previous, freeData); f != StructureFault::kNone) return f;
  }
  // Deleted records leave holes below m_freeData that the free count includes, so the live
  // records, the slot array and the free count fill at most the body.
  if (used + 2 * slotCount + freeCount > kPageBodySize) return StructureFault::kRecordSpace;
  return StructureFault::kNone;
}

int Slot(const RestoredView& v, int k) { return v.Le16(kSlotArrayEnd - 2 * k); }

// The fixed layouts of allocation and system pages. The generic rules have already put every
// slot inside [96, m_freeData), so the record fields read here lie inside the page.
bool SystemLayoutHolds(const RestoredView& v, int pageType, int slotCount, int freeData) {
  const int first = Slot(v, 0);
  switch (pageType) {
    case kPageTypeGam:
    case kPageTypeSgam:
    case kPageTypeIam:
    case kPageTypeDcm:
    case kPageTypeBcm: {
      if (slotCount != 2 || first != kPageHeaderSize) return false;
      const int second = Slot(v, 1);
      return RecordType(v, first) == kRecordPrimary && RecordType(v, second) == kRecordPrimary &&
             v.Le16(first + 2) == kBitmapHeaderRecordSize &&
             second >= first + kBitmapHeaderRecordSize &&
             v.Le16(second + 2) == kBitmapRecordSize && second + kBitmapRecordSize == freeData;
    }
    case kPageTypePfs:
      return slotCount == 1 && first == kPageHeaderSize && RecordType(v, first) == kRecordPrimary &&
             v.Le16(first + 2) == kPfsRecordSize && first + kPfsRecordSize == freeData;
    case kPageTypeBoot:  // boot page: one record, of the length it records, at 96
      return slotCount == 1 && first == kPageHeaderSize && RecordType(v, first) == kRecordPrimary &&
             first + v.Le16(first + 2) == freeData;
    case kPageTypeFileHeader:  // one data record, the last one written, ending at m_freeData
      return slotCount == 1 && first != 0 && RecordType(v, first) == kRecordPrimary &&
             DataRecordEnd(v, first, freeData) == freeData;
    default:
      return true;
  }
}

}  // namespace

const char* StructureFaultName(StructureFault f) {
  switch (f) {
    case StructureFault::kNone: return "ok";
    case StructureFault::kFreeData: return "free-data";
    case StructureFault::kFreeCount: return "free-count";
    case StructureFault::kSlotOutOfRange: return "slot-range";
    case StructureFault::kDuplicateSlot: return "duplicate-slot";
    case StructureFault::kNoLiveSlot: return "no-live-slot";
    case StructureFault::kRecordType: return "record-type";
    case StructureFault::kRecordLength: return "record-length";
    case StructureFault::kRecordSpace: return "record-space";
    case StructureFault::kSystemLayout: return "system-layout";
  }
  return "unknown";
}

StructureFault CheckStructure(const uint8_t* page) {
  const RestoredView v(page);
  const int slotCount = v.Le16(header_offset::kSlotCount);
  const int freeCount = v.Le16(header_offset::kFreeCount);
  const int freeData = v.Le16(header_offset::kFreeData);

  // 1. The free data offset lies between the header and the slot array.
  if (freeData < kPageHeaderSize || freeData > kPageSize - 2 * slotCount) {
    return StructureFault::kFreeData;
  }
  // 2. The free count is no more than the body outside the slot array, and at least the free
  //    space between m_freeData and the slot array.
  if (freeCount + 2 * slotCount > kPageBodySize ||
      freeCount + (freeData - kPageHeaderSize) + 2 * slotCount < kPageBodySize) {
    return StructureFault::kFreeCount;
  }
  // 3. Every used slot points into [96, m_freeData), and no two at the same record. A slot array
  //    whose slots are all deleted is what a page completed with zeros has.
  std::array<uint64_t, kPageSize / 64> starts{};
  bool anyLive = false;
  for (int k = 0; k < slotCount; ++k) {
    const int offset = Slot(v, k);
    if (offset == 0) continue;  // a deleted slot
    anyLive = true;
    if (offset < kPageHeaderSize || offset >= freeData) return StructureFault::kSlotOutOfRange;
    uint64_t& word = starts[offset / 64];
    const uint64_t bit = uint64_t{1} << (offset % 64);
    if (word & bit) return StructureFault::kDuplicateSlot;
    word |= bit;
  }
  if (slotCount > 0 && !anyLive) return StructureFault::kNoLiveSlot;

  if (v.At(header_offset::kHeaderVersion) != 1) return StructureFault::kNone;
  const int pageType = v.At(header_offset::kPageType);
  // 4. Records of data, index and text pages; the fixed layout of allocation and system pages.
  if (pageType >= kPageTypeData && pageType <= kPageTypeTextTree) {
    return CheckRecords(v, pageType, starts, freeData, slotCount, freeCount);
  }
  if (!SystemLayoutHolds(v, pageType, slotCount, freeData)) return StructureFault::kSystemLayout;
  return StructureFault::kNone;
}

}  // namespace pagerake
