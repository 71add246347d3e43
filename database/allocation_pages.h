// The database's allocation pages, decoded in place: PFS pages (which pages are allocated, and
// which of them are IAM pages), GAM and SGAM pages (which extents are allocated, which mixed
// extents have a free page) and IAM pages (which extents and single pages an allocation unit
// owns within one range of the file).
//
// Every decoder reads only inside the 8192-byte page it is given, whatever the page's bytes say:
// a record offset counts only where a record may start, and a record's length never carries a
// read past the page. Torn bits are the caller's business (restore them first on a copy when the
// page is torn-protected; the bitmaps end in sector-end bytes).
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace pagerake {

// Page types of the allocation pages beside those page_header.h names.
inline constexpr uint8_t kPageTypeGam = 8;
inline constexpr uint8_t kPageTypeSgam = 9;

// The PFS byte of one page.
inline constexpr uint8_t kPfsAllocated = 0x40;
inline constexpr uint8_t kPfsMixedExtent = 0x20;
inline constexpr uint8_t kPfsIamPage = 0x10;
inline constexpr uint8_t kPfsGhost = 0x08;
inline constexpr uint8_t kPfsFullness = 0x07;

inline constexpr int32_t kPfsInterval = 8088;      // pages one PFS page describes
inline constexpr int32_t kGamInterval = 511232;    // pages one GAM, SGAM or IAM page maps
inline constexpr int kPagesPerExtent = 8;
inline constexpr int kIamSinglePageSlots = 8;

// Records on allocation pages: a slot's offset counts only inside [96, 8095].
inline constexpr int kLowestRecordOffset = 96;
inline constexpr int kHighestRecordOffset = 8095;

// The offset of the record in slot `slot` (0 or 1 here), when it lies where records may start.
std::optional<int> AllocationRecordAt(const uint8_t* page, int slot);

// The bytes of the record at `record` behind its 4-byte record header: the signed 16-bit length
// at record offset 2, less those 4 bytes, at most `limit` and never past the page; 0 when the
// length is smaller than the header.
int AllocationRecordBodyBytes(const uint8_t* page, int record, int limit);

// True for the page ids a PFS page may have: 1, or a multiple of kPfsInterval.
bool IsPfsPosition(int64_t pageId);
// The first page a PFS page at `pageId` describes: 0 for page 1, else the page id itself.
int64_t PfsFirstPage(int64_t pageId);
// The PFS page that describes `page`.
int64_t PfsPageFor(int64_t page);

// One PFS page's bytes: byte j describes page firstPage + j.
struct PfsBytes {
  int64_t firstPage = 0;
  const uint8_t* bytes = nullptr;  // points into the page
  int count = 0;
};

// The PFS bytes of the record at `record`, at most `limit` of them; `pageId` is the PFS page's
// own id. The record (slot 0) is one byte per page after its 4-byte record header.
PfsBytes DecodePfsRecord(const uint8_t* page, int record, int limit, int64_t pageId);
// The same through the page's slot 0; nothing when the slot does not point at a record.
std::optional<PfsBytes> DecodePfsPage(const uint8_t* page, int64_t pageId);

// GAM and SGAM pages stand at pages 2 and 3 of every kGamInterval pages.
bool IsGamPosition(int64_t pageId);
bool IsSgamPosition(int64_t pageId);

// One GAM or SGAM page's extent bitmap (slot 1, after its 4-byte record header): bit b of byte j
// stands for the extent of pages firstPage + 8 (8j + b). In a GAM a set bit means the extent is
// free (extents past the file's end are marked free too); in an SGAM it means a mixed extent with
// a free page.
struct ExtentBitmap {
  int64_t firstPage = 0;
  const uint8_t* bytes = nullptr;  // points into the page
  int count = 0;

  // The bit of the extent that holds `page`; nothing when the bitmap does not reach it.
  std::optional<bool> BitFor(int64_t page) const;
};

// The bitmap of the GAM or SGAM page at `pageId` (slot 0 is a header record, slot 1 the bitmap).
std::optional<ExtentBitmap> DecodeExtentBitmapPage(const uint8_t* page, int64_t pageId);

// An IAM page. Slot 0's record holds at record offset 40 the first page of the kGamInterval-page
// range it maps (4 bytes, then a 2-byte file id) and at 46 + 6k (k = 0..7) the single pages given
// to the unit from mixed extents (4-byte page id, 2-byte file id; 0 for an empty slot). Slot 1's
// record holds from record offset 4 the extent bitmap: bit b of byte j is the extent that starts at
// rangeStart + 64 j + 8 b.
struct IamPageView {
  int64_t rangeStart = 0;
  std::array<int32_t, kIamSinglePageSlots> singles{};  // page ids; 0 for an empty slot
  const uint8_t* bitmap = nullptr;                     // points into the page; null when absent
  int bitmapBytes = 0;
};

inline constexpr int kIamRangeStartField = 40;
inline constexpr int kIamSinglePagesField = 46;
inline constexpr int kIamSinglePageStride = 6;

// The IAM page's header record and bitmap; nothing when slot 0 does not point at a record (an
// absent or unusable slot 1 leaves the bitmap empty).
std::optional<IamPageView> DecodeIamPage(const uint8_t* page);

// Calls `f(firstPageOfExtent)` for every extent the IAM's bitmap claims, in page order.
template <typename F>
void ForEachIamExtent(const IamPageView& iam, F&& f) {
  for (int j = 0; j < iam.bitmapBytes; ++j) {
    const uint8_t bits = iam.bitmap[j];
    for (int b = 0; bits != 0 && b < 8; ++b) {
      if ((bits >> b) & 1) f(iam.rangeStart + 64 * int64_t{j} + 8 * b);
    }
  }
}

}  // namespace pagerake
