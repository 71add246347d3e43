// CountPageMatches: a candidate fragment's pages against the page map. What a walk learns of a
// fragment's pages is kept by the reader (header_facts.h), so that a later test of the same fragment
// reads from the medium only the pages no earlier test reached.
#include <optional>

#include "analysis/fragment_pages.h"
#include "analysis/header_facts.h"
#include "analysis/page_map.h"
#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

// The facts of one fragment's pages for one walk: those kept from earlier walks, then pages read
// from the medium (their facts kept while there is room). A first walk of a fragment keeps its
// pages as read, for the chaining (the pages are looked at by their headers only, which torn-page
// bits never touch).
class FactWalk {
 public:
  FactWalk(PageMapReader& r, int64_t startSector, int32_t startPage, int32_t pages,
           const MatchRules& rules)
      : r_(r), startSector_(startSector), startPage_(startPage), pages_(pages), rules_(rules) {
    // The newest page is not among the facts: a walk that looks for it reads every page.
    if (!rules.newest) entry_ = r.facts.Find(startSector, startPage, rules.lsnBound);
    known_ = entry_ != nullptr ? static_cast<int32_t>(entry_->facts.size()) : 0;
    if (known_ == 0 && pages <= KeptFragments::kPages) room_ = r.kept.Room(startSector, pages);
  }

  // The fact of page `index` (asked for in increasing order), or null after "read disk error".
  const HeaderFact* Fact(int32_t index, PageMatchCounts& counts) {
    if (index < known_) return &entry_->facts[static_cast<size_t>(index)];
    if (!read_) read_.emplace(r_, startSector_, pages_, 1, room_);
    const uint8_t* const page = read_->Page(index);
    if (page == nullptr) return nullptr;
    fact_ = HeaderFactOf(page, startPage_ + index, rules_.lsnBound);
    if (rules_.newest && (fact_.flags & HeaderFact::kOwnNumber)) {
      const PageLsn lsn = ReadPageLsn(page);
      if (lsn > counts.newest && VerifyPage(page)) counts.newest = lsn;
    }
    if (entry_ != nullptr && entry_->facts.size() == static_cast<size_t>(index)) {
      r_.facts.Append(*entry_, fact_);
    }
    return &fact_;
  }

  // The walk went through every page: a first walk's pages are all in the room.
  void Finish() {
    if (room_ != nullptr) r_.kept.Keep();
  }

 private:
  PageMapReader& r_;
  int64_t startSector_;
  int32_t startPage_;
  int32_t pages_;
  const MatchRules& rules_;
  HeaderFactCache::Entry* entry_ = nullptr;
  int32_t known_ = 0;
  uint8_t* room_ = nullptr;
  std::optional<FragmentPages> read_;
  HeaderFact fact_;
};

// The IAM-mark rule's findings over one walk.
struct IamMarks {
  bool mismatch = false;
  bool certain = false;
};

// One page against its map entry; false when a conflict with what is certain ends the walk.
bool CountPage(const HeaderFact& f, const PageMapEntry& e, const MatchRules& rules,
               PageMatchCounts& counts, IamMarks& marks) {
  const bool own = (f.flags & HeaderFact::kOwnNumber) != 0;
  if (rules.neverAllocated && e.neverAllocated && own) ++counts.neverAllocated;
  if (f.flags & HeaderFact::kNewer) ++counts.newerThanBound;
  if (f.objectId == static_cast<int32_t>(kAllocationObjectId)) return true;
  if (e.allocState == kAllocFree || !(f.flags & HeaderFact::kVersion1)) {
    ++counts.unmapped;
    return true;
  }
  const bool iam = f.type == kPageTypeIam;
  // Noted, and the walk goes on: the rule has acted only where the written ones accept.
  if (iam && rules.iamMarks && e.allocState == kAllocated && e.pageKind != kPageKindIam) {
    marks.mismatch = true;
    marks.certain = marks.certain || !e.allocUnconfirmed;
  }
  if (iam) ++counts.iamPages;
  if (f.type == kPageTypePfs) ++counts.pfsPages;
  // A conflict ends the walk, unless the entry holds only what unconfirmed pieces taught.
  auto conflict = [&](bool unconfirmed) {
    ++counts.conflicts;
    if (!unconfirmed) return false;
    ++counts.unconfirmedConflicts;
    return true;
  };
  if (e.expectedObjectId > 0) {
    if (e.expectedObjectId == f.objectId) {
      if (e.pageKind == kPageKindIam && !iam) return conflict(e.allocUnconfirmed);
      ++counts.matches;
    } else if (e.allocState == kAllocated && e.objectIdSource == kFromAllocationPage) {
      return conflict(e.objectUnconfirmed || e.allocUnconfirmed);
    }
  } else if (e.pageKind == kPageKindIam && e.allocState == kAllocated) {
    if (!iam) return conflict(e.allocUnconfirmed);
    ++counts.matches;
  }
  return true;
}

}  // namespace

void CountPageMatches(const PageMap& map, PageMapReader& reader, int32_t pages, int32_t startPage,
                      int64_t startSector, PageMatchCounts& counts, const MatchRules& rules) {
  FactWalk walk(reader, startSector, startPage, pages, rules);
  IamMarks marks;
  for (int32_t i = 0; i < pages; ++i) {
    const HeaderFact* const fact = walk.Fact(i, counts);
    if (fact == nullptr) return;
    if (!CountPage(*fact, map.At(int64_t{startPage} + i), rules, counts, marks)) return;
  }
  if (marks.mismatch) {
    // The rule's own conflict only where nothing else conflicts.
    counts.iamMarkConflict = counts.conflicts == 0;
    ++counts.conflicts;
    if (!marks.certain) ++counts.unconfirmedConflicts;
  }
  walk.Finish();
}

}  // namespace pagerake
