// What one page says of other pages of its file, and whether another page bears that out. A data
// or index page names its neighbours in its chain (they carry its allocation unit and level and
// link back to it); an IAM page names the pages and extents it gives its unit; an index page above
// the leaf names its children (its unit, one level down). Where two pieces of the medium offer
// different bytes for one page, these claims, met against pages already known to be the file's,
// tell which of the two is the file's own.
#pragma once

#include <cstdint>
#include <functional>

#include "database/page_relations.h"

namespace pagerake {

enum class ClaimKind : uint8_t {
  kPrevious,    // the page in front in the chain: same unit and level, its next is the claimant
  kNext,        // the page behind: same unit and level, its previous is the claimant
  kIamSingle,   // a single page the IAM gives its unit
  kIamExtent,   // the first page of an extent the IAM gives its unit
  kIndexChild,  // a child of an index page above the leaf: same unit, one level down
};

struct PageClaim {
  int64_t page = 0;  // the page the claim is about
  ClaimKind kind{};
  AllocationUnit unit;  // the unit that page must carry
  uint8_t level = 0;    // and its level (links and children)
  uint32_t from = 0;    // the claimant's page number
};

// Calls `f` for every claim `page` (its torn bits restored) makes about another page of its own
// file; `number` is the page number it stands at. A page whose header does not name `number` as
// its own says nothing. Extents are named by their first page; at most `limit` claims are made
// (an IAM page may give its unit thousands of extents).
void ForEachPageClaim(const uint8_t* page, int64_t number, int limit,
                      const std::function<void(const PageClaim&)>& f);

enum class ClaimVerdict : uint8_t {
  kSilent,    // the other page says nothing to it (zeros, not a page of the file's kinds)
  kBorneOut,  // the other page is what the claim says
  kBroken,    // the other page is a page of the file's kinds and is not what the claim says
};

// The page the claim is about, as the file holds it (`other`, torn bits restored), against it.
ClaimVerdict JudgeClaim(const PageClaim& claim, const uint8_t* other);

}  // namespace pagerake
