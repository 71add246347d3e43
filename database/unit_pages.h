// The pages an allocation unit owns, found the way the server finds them: through the unit's
// chain of IAM pages (each names the extents and single pages the unit holds in its range of the
// file). Where that chain is broken (an IAM page missing or not the unit's), every page header of
// the file is read once and the pages whose header names the unit, and that their PFS page does
// not mark free, are taken instead: a file with holes still gives up the pages it holds.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "database/page_lookup.h"
#include "database/page_relations.h"
#include "page/page_header.h"

namespace pagerake {

using PageBytes = std::array<uint8_t, kPageSize>;

// The allocation unit a 64-bit unit id (sysallocunits.auid) stands for in page headers: bits
// 16-47 are the header's object id, bits 48-63 its index id.
AllocationUnit UnitOfId(uint64_t auid);

// Page `number` with its torn bits restored, when the lookup holds it and its header says it is
// page `number` of file 1.
bool FetchPage(PageLookup& lookup, int64_t number, PageBytes& out);

struct UnitPageList {
  std::vector<int64_t> pages;    // the unit's pages of the asked types, in page order
  // Pages the unit's IAM pages claim and their PFS page marks allocated, which the file does not
  // hold as pages of the unit (absent, unreadable, or another page in their place).
  std::vector<int64_t> missing;
  bool chainWhole = true;        // false when the IAM chain broke and the headers were read
};

class UnitPages {
 public:
  explicit UnitPages(PageLookup& lookup) : lookup_(lookup) {}

  // The pages of unit `auid` whose type is `typeA` or `typeB` (data pages: 1; LOB pages: 3, 4),
  // starting from its first IAM page `firstIam` (0: the unit has none). `visit`, when given, gets
  // each page taken with its bytes (torn bits restored) as it is read, so that a caller reads
  // every page once: those the IAM pages claim in page order, then any found by their headers.
  UnitPageList Pages(uint64_t auid, int64_t firstIam, uint8_t typeA, uint8_t typeB,
                     const std::function<void(int64_t, const uint8_t*)>& visit = {});

  // The pages the unit's IAM chain claims (its single pages and every page of its extents), in
  // page order, without reading them: which unit a page belongs to, for the price of its IAM
  // pages. Empty when the chain is broken at its first page.
  std::vector<int64_t> ClaimedPages(uint64_t auid, int64_t firstIam);

  // The pages of type `type` whose header names `unit`, found by reading every page header of
  // the file (once), in page order: how a file without its first pages is still read.
  std::vector<int64_t> PagesByHeader(const AllocationUnit& unit, uint8_t type);

 private:
  // What a page's header names, 8 bytes a page (a page that is none of the units' holds type 0).
  struct HeaderEntry {
    AllocationUnit unit;
    uint8_t type = 0;
  };
  const std::vector<HeaderEntry>& Headers();
  // Adds to `claimed` the pages of `unit`'s IAM chain from `firstIam`; false where it breaks.
  bool Claimed(const AllocationUnit& unit, int64_t firstIam, std::set<int64_t>& claimed);
  std::optional<bool> AllocatedByPfs(int64_t page);

  PageLookup& lookup_;
  std::optional<std::vector<HeaderEntry>> headers_;  // read once, when a chain breaks
  int64_t pfsPage_ = -1;
  bool pfsHeld_ = false;
  PageBytes pfs_{};
  PageBytes scratch_{};
};

}  // namespace pagerake
