// The rules between pages that name each other: GAM and SGAM against the IAMs' extents, the
// previous/next links of one unit and level (and of a unit's chain of IAM pages), and the child
// pointers of upper index pages.
#include <algorithm>
#include <string>

#include "database/allocation_pages.h"
#include "database/consistency_state.h"
#include "page/page_header.h"

namespace pagerake::consistency {
namespace {

// The GAM or SGAM page (of `maps`) that maps `page`, or null.
const KeptBitmap* MapOf(const std::vector<KeptBitmap>& maps, int64_t page) {
  const int64_t first = page / kGamInterval * kGamInterval;
  for (const KeptBitmap& m : maps) {
    if (m.firstPage == first) return &m;
  }
  return nullptr;
}

// An extent of `iam` that the GAM or SGAM page `map` contradicts. The IAM is taken at its word,
// and the bitmap page refuted, when a page of the extent is allocated and carries the IAM's unit:
// those pages bear the IAM out. Otherwise nothing bears the IAM out, and the IAM is refuted.
void Contradict(State& s, Findings& f, const KeptIam& iam, int64_t extent, const KeptBitmap& map,
                const char* what) {
  bool borneOut = false;
  for (int64_t q = extent; q < extent + kPagesPerExtent && InFile(s, q); ++q) {
    const PageSummary& page = At(s, q);
    borneOut = borneOut || (page.Has(kOwnPage) && page.Allocated() && UnitMatchesIam(page, iam.unit));
  }
  const std::string name = At(s, map.page).type == kPageTypeGam ? "GAM" : "SGAM";
  if (borneOut) {
    Refute(s, f, map.page, ConsistencyRule::kGamSgam, iam.page,
           "it marks the extent at page " + Num(extent) + " " + what + ", but the IAM page " +
               Num(iam.page) + " claims it and its pages carry that unit");
  } else {
    Refute(s, f, iam.page, ConsistencyRule::kGamSgam, map.page,
           "it claims the extent at page " + Num(extent) + ", which the " + name + " page " +
               Num(map.page) + " marks " + what);
  }
}

void CheckExtent(State& s, Findings& f, const KeptIam& iam, int64_t extent, bool uniform) {
  bool set = false;
  if (const KeptBitmap* gam = MapOf(s.gam, extent); gam && gam->Covers(extent, set) && set) {
    Contradict(s, f, iam, extent, *gam, "free");
  }
  if (!uniform) return;
  if (const KeptBitmap* sgam = MapOf(s.sgam, extent); sgam && sgam->Covers(extent, set) && set) {
    Contradict(s, f, iam, extent, *sgam, "mixed with a free page");
  }
}

// One direction of a link: `p` names `n` as its next page (forward) or previous page.
void CheckLink(State& s, Findings& f, int64_t p, int64_t n, bool forward) {
  const char* dir = forward ? "next" : "previous";
  const char* back = forward ? "previous" : "next";
  if (!InFile(s, n)) {
    Refute(s, f, p, ConsistencyRule::kPageLinks, -1,
           "its " + std::string(dir) + " page " + Num(n) + " lies past the file's end");
    return;
  }
  const PageSummary& page = At(s, p);
  const PageSummary& other = At(s, n);
  if (!other.Has(kNonZero)) return;  // a missing page: nothing to compare
  const bool linksBack = forward ? other.Has(kPrevInFile) && other.prev == p
                                 : other.Has(kNextInFile) && other.next == p;
  const bool sameKind = (other.type == kPageTypeIam) == (page.type == kPageTypeIam);
  const bool sameChain = other.Has(kOwnPage) && sameKind && other.Unit() == page.Unit() &&
                         other.level == page.level;
  if (sameChain && linksBack) {
    Tie(s, p);
    Tie(s, n);
    return;
  }
  std::string theirs;
  if (!other.Has(kOwnPage)) {
    theirs = "it is not a page of this file at its place";
  } else if (!sameKind) {
    theirs = page.type == kPageTypeIam ? "it is not an IAM page" : "it is an IAM page";
  } else if (!sameChain) {
    theirs = "it carries " + UnitText(other.Unit()) + " at level " + Num(other.level) +
             ", not " + UnitText(page.Unit()) + " at level " + Num(page.level);
  } else {
    const bool has = forward ? other.Has(kPrevInFile) : other.Has(kNextInFile);
    theirs = has ? "its " + std::string(back) + " page is " + Num(forward ? other.prev : other.next)
                 : "it has no " + std::string(back) + " page";
  }
  RefuteWeaker(s, p, n, [&](int64_t which) {
    if (which == n) {
      Refute(s, f, n, ConsistencyRule::kPageLinks, p,
             "linked as " + std::string(dir) + " from page " + Num(p) + ", but " + theirs);
    } else {
      Refute(s, f, p, ConsistencyRule::kPageLinks, n,
             "its " + std::string(dir) + " page is " + Num(n) + ", but there " + theirs);
    }
  });
}

}  // namespace

void CheckGamSgam(State& s, Findings& f) {
  for (const KeptIam& iam : s.iams) {
    if (!IsLiveIam(s, iam)) continue;
    for (const int32_t single : iam.singles) {
      if (single > 0 && single < s.filePages) {
        CheckExtent(s, f, iam, single / kPagesPerExtent * kPagesPerExtent, false);
      }
    }
    IamPageView view{iam.rangeStart, iam.singles, iam.bitmap.data(),
                     static_cast<int>(iam.bitmap.size())};
    ForEachIamExtent(view, [&](int64_t x) {
      if (InFile(s, x)) CheckExtent(s, f, iam, x, true);
    });
  }
  for (const auto* maps : {&s.gam, &s.sgam}) {
    for (const KeptBitmap& m : *maps) Tie(s, m.page);  // at its place; refuted above if wrong
  }
}

void CheckPageLinks(State& s, Findings& f) {
  for (int64_t p = 0; p < s.filePages; ++p) {
    const PageSummary& page = At(s, p);
    // Pages the PFS has freed keep the links they had: only allocated pages are held to theirs.
    // The IAM pages of one unit form a chain by the same links (one IAM page per 4 GB range of
    // the file the unit has pages in).
    const bool linked = IsObjectPageType(page.type) || page.type == kPageTypeIam;
    if (!page.Has(kOwnPage) || !linked || !page.MayBeAllocated()) continue;
    if (page.Has(kNextInFile)) CheckLink(s, f, p, page.next, true);
    if (page.Has(kPrevInFile)) CheckLink(s, f, p, page.prev, false);
  }
}

void CheckIndexChildren(State& s, Findings& f) {
  constexpr auto kRule = ConsistencyRule::kIndexChild;
  for (const KeptParent& parent : s.parents) {
    const PageSummary& up = At(s, parent.page);
    if (!up.MayBeAllocated()) continue;  // a freed index page keeps pointers to pages reused since
    std::vector<int64_t> wrong;
    for (uint32_t k = 0; k < parent.count; ++k) {
      const int64_t c = s.children[parent.first + k];
      if (!InFile(s, c)) {
        Refute(s, f, parent.page, kRule, -1, "it points at page " + Num(c) + " past the file's end");
        continue;
      }
      const PageSummary& child = At(s, c);
      if (!child.Has(kNonZero)) continue;
      if (child.Has(kOwnPage) && UnitMatchesIam(child, up.Unit()) && child.level + 1 == up.level) {
        Tie(s, c);
        Tie(s, parent.page);
      } else {
        wrong.push_back(c);
      }
    }
    auto refuteChild = [&](int64_t c, int64_t which) {
      if (which == c) {
        Refute(s, f, c, kRule, parent.page,
               "the index page " + Num(parent.page) + " points at it as a child of " +
                   UnitText(up.Unit()) + " at level " + Num(up.level - 1) + ", but it is not");
      } else {
        Refute(s, f, parent.page, kRule, c,
               "its child page " + Num(c) + " is not a page of its unit one level down");
      }
    };
    // Several wrong children have the parent in common: it is the page out of place.
    if (wrong.size() > 1) {
      refuteChild(wrong.front(), parent.page);
    } else if (wrong.size() == 1) {
      RefuteWeaker(s, parent.page, wrong.front(),
                   [&](int64_t which) { refuteChild(wrong.front(), which); });
    }
  }
}

}  // namespace pagerake::consistency
