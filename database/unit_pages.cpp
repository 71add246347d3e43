#include "database/unit_pages.h"

#include <algorithm>
#include <set>

#include "database/allocation_pages.h"
#include "page/byte_order.h"
#include "page/page_content.h"

namespace pagerake {
namespace {

// An IAM chain longer than this many pages per 4 GiB range of the file is a loop.
constexpr int64_t kIamPagesPerRangeLimit = 64;

bool IsType(uint8_t type, uint8_t a, uint8_t b) { return type == a || type == b; }

// Whether a page header names `unit`. The object id is the unit's own; the index id is not
// compared: in files first made by SQL Server 2000 the headers keep the table's object id with
// the old index ids (a clustered index's data pages carry 0 while its IAM carries 1, its LOB
// pages 255), while files made later carry the unit's id whole.
bool NamesUnit(const PageRelations& r, const AllocationUnit& unit) {
  return r.unit.objectId == unit.objectId;
}

}  // namespace

AllocationUnit UnitOfId(uint64_t auid) {
  return {static_cast<uint32_t>(auid >> 16), static_cast<uint16_t>(auid >> 48)};
}

bool FetchPage(PageLookup& lookup, int64_t number, PageBytes& out) {
  if (number < 0 || number >= lookup.PageCount()) return false;
  if (!lookup.ReadPage(number, out.data())) return false;
  const PageRelations r = ReadPageRelations(out.data());
  if (r.version != 1 || r.pageId != static_cast<uint64_t>(number) || r.fileId != 1) return false;
  RestoreTornBits(out.data());
  return true;
}

const std::vector<UnitPages::HeaderEntry>& UnitPages::Headers() {
  if (!headers_) {
    headers_.emplace(static_cast<size_t>(lookup_.PageCount()));
    for (int64_t n = 0; n < lookup_.PageCount(); ++n) {
      if (!lookup_.ReadPage(n, scratch_.data())) continue;
      const PageRelations r = ReadPageRelations(scratch_.data());
      if (r.version != 1 || r.pageId != static_cast<uint64_t>(n) || r.fileId != 1) continue;
      if (!IsObjectPageType(r.type)) continue;
      (*headers_)[static_cast<size_t>(n)] = HeaderEntry{r.unit, r.type};
    }
  }
  return *headers_;
}

std::optional<bool> UnitPages::AllocatedByPfs(int64_t page) {
  const int64_t pfs = PfsPageFor(page);
  if (pfs != pfsPage_) {
    pfsPage_ = pfs;
    pfsHeld_ = FetchPage(lookup_, pfs, pfs_) && pfs_[header_offset::kPageType] == kPageTypePfs;
  }
  if (!pfsHeld_) return std::nullopt;
  const std::optional<PfsBytes> bytes = DecodePfsPage(pfs_.data(), pfs);
  if (!bytes || page < bytes->firstPage || page - bytes->firstPage >= bytes->count) {
    return std::nullopt;
  }
  return (bytes->bytes[page - bytes->firstPage] & kPfsAllocated) != 0;
}

std::vector<int64_t> UnitPages::PagesByHeader(const AllocationUnit& unit, uint8_t type) {
  std::vector<int64_t> out;
  const std::vector<HeaderEntry>& headers = Headers();
  for (size_t page = 0; page < headers.size(); ++page) {
    const HeaderEntry& entry = headers[page];
    if (entry.type == type && entry.unit == unit) out.push_back(static_cast<int64_t>(page));
  }
  return out;
}

bool UnitPages::Claimed(const AllocationUnit& unit, int64_t firstIam, std::set<int64_t>& claimed) {
  std::set<int64_t> seenIam;
  const int64_t iamLimit = kIamPagesPerRangeLimit * (lookup_.PageCount() / kGamInterval + 1);
  for (int64_t iam = firstIam; iam != 0;) {
    if (!seenIam.insert(iam).second || static_cast<int64_t>(seenIam.size()) > iamLimit ||
        !FetchPage(lookup_, iam, scratch_) ||
        scratch_[header_offset::kPageType] != kPageTypeIam ||
        !NamesUnit(ReadPageRelations(scratch_.data()), unit)) {
      return false;
    }
    const std::optional<IamPageView> view = DecodeIamPage(scratch_.data());
    if (!view) return false;
    for (int32_t single : view->singles) {
      if (single > 0) claimed.insert(single);
    }
    ForEachIamExtent(*view, [&](int64_t first) {
      for (int k = 0; k < kPagesPerExtent; ++k) claimed.insert(first + k);
    });
    iam = LoadLe32(scratch_.data() + header_offset::kNextPageId);
  }
  return true;
}

std::vector<int64_t> UnitPages::ClaimedPages(uint64_t auid, int64_t firstIam) {
  std::set<int64_t> claimed;
  Claimed(UnitOfId(auid), firstIam, claimed);
  return std::vector<int64_t>(claimed.begin(), claimed.end());
}

UnitPageList UnitPages::Pages(uint64_t auid, int64_t firstIam, uint8_t typeA, uint8_t typeB,
                             const std::function<void(int64_t, const uint8_t*)>& visit) {
  const AllocationUnit unit = UnitOfId(auid);
  UnitPageList list;
  std::set<int64_t> claimed;
  list.chainWhole = Claimed(unit, firstIam, claimed);
  for (int64_t page : claimed) {
    if (page >= lookup_.PageCount()) continue;
    if (FetchPage(lookup_, page, scratch_)) {
      const PageRelations r = ReadPageRelations(scratch_.data());
      if (NamesUnit(r, unit) && IsType(r.type, typeA, typeB)) {
        list.pages.push_back(page);
        if (visit) visit(page, scratch_.data());
        continue;
      }
      if (NamesUnit(r, unit)) continue;  // the unit's page of another kind (an upper index page)
    }
    // An extent's page that is not the unit's is missing only when the PFS says it is in use.
    if (AllocatedByPfs(page).value_or(false)) list.missing.push_back(page);
  }
  if (!list.chainWhole || !list.missing.empty()) {
    // Pages of the unit elsewhere in the file (moved there, or claimed by an IAM page lost).
    const std::vector<int64_t> taken = list.pages;  // in page order
    const std::vector<HeaderEntry>& headers = Headers();
    for (size_t at = 0; at < headers.size(); ++at) {
      const HeaderEntry& entry = headers[at];
      const auto page = static_cast<int64_t>(at);
      if (!IsType(entry.type, typeA, typeB) || entry.unit.objectId != unit.objectId) continue;
      if (std::binary_search(taken.begin(), taken.end(), page)) continue;
      if (!AllocatedByPfs(page).value_or(true)) continue;
      list.pages.push_back(page);
      if (visit && FetchPage(lookup_, page, scratch_)) visit(page, scratch_.data());
    }
    std::sort(list.pages.begin(), list.pages.end());
    std::erase_if(list.missing, [&](int64_t p) {
      return std::binary_search(list.pages.begin(), list.pages.end(), p);
    });
  }
  return list;
}

}  // namespace pagerake
