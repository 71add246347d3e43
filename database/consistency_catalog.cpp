// The allocation-unit catalog's tie to IAM pages. Every allocation unit has a row there that
// names the first page of its IAM chain; that pointer is the one relation that ties the IAM page
// of a unit without pages (an empty table's or index's), which claims nothing. It ties IAM pages
// only: a row that names a page which is not that unit's IAM proves nothing either way (the
// catalog page may be an older state's), so it refutes nothing.
#include <algorithm>

#include "database/allocation_pages.h"
#include "database/consistency_state.h"
#include "page/byte_order.h"
#include "page/page_header.h"

namespace pagerake::consistency {
namespace {

constexpr uint8_t kPageTypeBoot = 13;
constexpr int64_t kBootPage = 9;
// The boot record holds the database version at record offset 4; files of SQL Server 2005 and
// later (version 611 on) keep the allocation-unit catalog this rule reads.
constexpr int kBootVersionField = 4;
constexpr uint16_t kFirstCatalogVersion = 611;

// A catalog row: the 4-byte record header (status byte, a second byte, the end of the fixed
// columns), then the unit's id (8 bytes) at 4, its kind (1 in-row, 2 LOB, 3 row-overflow) at 12,
// and the first IAM page (4-byte page id, 2-byte file id) at 39.
constexpr int kRowUnitField = 4;
constexpr int kRowKindField = 12;
constexpr int kRowFirstIamField = 39;
constexpr int kRowFixedEnd = kRowFirstIamField + 6;
constexpr uint8_t kRecordKindMask = 0x0E;  // of the status byte: 0 for a primary record

// The first IAM page the row at `record` names, with its unit; nothing when the row is not a
// primary record whose fixed columns reach the pointer, or names another file.
std::optional<KeptFirstIam> FirstIamOfRow(const uint8_t* page, int record, int slotArrayStart) {
  if (record < kPageHeaderSize || record > slotArrayStart - kRowFixedEnd) return std::nullopt;
  const uint8_t* row = page + record;
  if ((row[0] & kRecordKindMask) != 0 || LoadLe16(row + 2) < kRowFixedEnd) return std::nullopt;
  if (row[kRowKindField] < 1 || row[kRowKindField] > 3) return std::nullopt;
  const uint64_t auid = LoadLe64(row + kRowUnitField);
  if ((auid & 0xFFFF) != 0 || LoadLe16(row + kRowFirstIamField + 4) != 1) return std::nullopt;
  KeptFirstIam first;
  first.page = LoadLe32(row + kRowFirstIamField);
  first.unit.objectId = static_cast<uint32_t>(auid >> 16);
  first.unit.indexId = static_cast<uint16_t>(auid >> 48);
  return first;
}

}  // namespace

bool IsCatalogPage(int64_t number, const PageSummary& page) {
  return (number == kBootPage && page.type == kPageTypeBoot) ||
         (page.type == kPageTypeData && page.Unit() == kAllocationUnitCatalog);
}

void KeepCatalogPage(CheckState& s, int64_t number, const uint8_t* page) {
  const int slots = std::min<int>(LoadLe16(page + header_offset::kSlotCount),
                                  (kPageSize - kPageHeaderSize) / 2);
  const int slotArrayStart = kPageSize - 2 * slots;
  if (number == kBootPage) {
    const int record = slots > 0 ? LoadLe16(page + kPageSize - 2) : 0;
    if (record >= kPageHeaderSize && record + kBootVersionField + 2 <= slotArrayStart) {
      s.bootVersion = LoadLe16(page + record + kBootVersionField);
    }
    return;
  }
  // No more rows than fit apart on the page are kept, whatever the slot array says: slots that
  // all point at one record must not make the check keep more than the page holds.
  constexpr int kMostRows = kPageBodySize / kRowFixedEnd;
  for (int k = 0, kept = 0; k < slots && kept < kMostRows; ++k) {
    const int record = LoadLe16(page + kPageSize - 2 - 2 * k);
    if (const std::optional<KeptFirstIam> first = FirstIamOfRow(page, record, slotArrayStart)) {
      ++kept;
      s.firstIams.push_back(*first);
      s.firstIams.back().catalogPage = number;
    }
  }
}

void TieCatalogFirstIams(CheckState& s) {
  if (s.bootVersion < kFirstCatalogVersion) return;
  for (const KeptFirstIam& first : s.firstIams) {
    // The catalog page itself must be live: a freed one keeps rows of dropped units.
    if (!InFile(s, first.page) || !At(s, first.catalogPage).Allocated()) continue;
    const PageSummary& page = At(s, first.page);
    if (page.Has(kOwnPage) && page.type == kPageTypeIam && page.Unit() == first.unit &&
        page.Allocated() && (page.pfs & kPfsIamPage) != 0) {
      Tie(s, first.page);
    }
  }
}

}  // namespace pagerake::consistency
