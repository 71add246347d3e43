// The rules of the consistency check, judged over the page summaries once every page is in.
#include <algorithm>
#include <string>

#include "database/allocation_pages.h"
#include "database/consistency_state.h"
#include "page/page_header.h"

namespace pagerake::consistency {

namespace {

// A page where the PFS page `pfs` marks an allocated page but something else stands; empty text
// when the page agrees.
std::string AllocationMismatch(const PageSummary& page, int64_t p, int64_t pfs) {
  if (!page.Has(kOwnPage)) {
    return "the PFS page " + Num(pfs) + " marks it allocated, but it is not page " + Num(p) +
           " of this file";
  }
  if ((page.pfs & kPfsIamPage) != 0 && page.type != kPageTypeIam) {
    return "the PFS page " + Num(pfs) + " marks it as an IAM page, but it is of type " +
           Num(page.type);
  }
  if ((page.pfs & kPfsIamPage) == 0 && page.type == kPageTypeIam) {
    return "it is an IAM page, but the PFS page " + Num(pfs) + " marks an ordinary page there";
  }
  return {};
}

}  // namespace

void CheckAllocatedPresent(CheckState& s, Findings& f) {
  constexpr auto kRule = ConsistencyRule::kAllocatedPresent;
  // 1. Each PFS page's allocated pages against what stands there. A zero page is a missing page,
  //    not a wrong one: it stays without a standing.
  for (const KeptPfs& kept : s.pfs) {
    const int64_t end = std::min<int64_t>(kept.firstPage + static_cast<int64_t>(kept.bytes.size()),
                                          s.filePages);
    std::vector<std::pair<int64_t, std::string>> wrong;
    int64_t present = 0;
    int64_t wrongOwn = 0;  // pages at their own ids that contradict it: evidence against the PFS
    for (int64_t p = std::max<int64_t>(kept.firstPage, 0); p < end; ++p) {
      PageSummary& page = At(s, p);
      if (!page.Allocated() || !page.Has(kNonZero)) continue;
      ++present;
      std::string why = AllocationMismatch(page, p, kept.page);
      if (!why.empty()) {
        wrongOwn += page.Has(kOwnPage) ? 1 : 0;
        wrong.emplace_back(p, std::move(why));
      }
    }
    // 2. A PFS page that a good part of the pages it describes contradicts, or that pages at
    //    their own ids contradict more than once, is itself the page out of place (another
    //    database's, or an older one); a few strangers in its pages are refuted themselves.
    if (wrongOwn >= 2 || (wrong.size() >= 2 && static_cast<int64_t>(wrong.size()) * 4 > present)) {
      Refute(s, f, kept.page, kRule, wrong.front().first,
             Num(static_cast<int64_t>(wrong.size())) + " of the " + Num(present) +
                 " pages it marks allocated are not what it says, the first page " +
                 Num(wrong.front().first));
      continue;
    }
    for (auto& [p, why] : wrong) Refute(s, f, p, kRule, kept.page, std::move(why));
    Tie(s, kept.page);  // a PFS page at its place that the pages bear out
  }
}

void CheckIamOwnership(State& s, Findings& f) {
  constexpr auto kRule = ConsistencyRule::kIamOwnership;
  std::vector<int32_t> claimer(static_cast<size_t>(s.filePages), -1);
  std::vector<int64_t> wrong;  // of the IAM being read: claimed pages of another unit
  size_t owned = 0;            // and its claimed pages at their own ids
  // And whether each of its claims names pages in the file, one at least carrying its unit: its
  // bitmap runs through the whole page, so a tail of another page's sectors claims extents the
  // file does not bear out (on a small file, any bit set past the first bytes).
  bool borne = true;
  const auto carries = [&s](int64_t q, AllocationUnit unit) {
    return InFile(s, q) && At(s, q).Has(kOwnPage) && UnitMatchesIam(At(s, q), unit);
  };
  auto claim = [&](int64_t q, int32_t index) {
    if (!InFile(s, q) || !At(s, q).MayBeAllocated()) return;
    const KeptIam& iam = s.iams[static_cast<size_t>(index)];
    int32_t& first = claimer[static_cast<size_t>(q)];
    if (first >= 0 && first != index) {
      const KeptIam& earlier = s.iams[static_cast<size_t>(first)];
      if (!(earlier.unit == iam.unit)) {
        Refute(s, f, q, kRule, earlier.page,
               "claimed by the IAM pages " + Num(earlier.page) + " and " + Num(iam.page) +
                   " of different allocation units");
      }
      return;
    }
    first = index;
    PageSummary& page = At(s, q);
    if (!page.Has(kOwnPage)) return;
    ++owned;
    if (UnitMatchesIam(page, iam.unit)) {
      Tie(s, q);
    } else {
      wrong.push_back(q);
    }
  };
  // An IAM page that most of the pages it claims contradict is itself out of place; otherwise
  // the few pages of another unit are.
  // An IAM page where the PFS marks one is tied there by the pages of its unit it claims; one
  // that claims none (an empty unit's) could be any unit's, and stays without a standing.
  auto judge = [&](const KeptIam& iam) {
    if (owned > wrong.size()) Tie(s, iam.page);
    if (owned > 0 && wrong.empty() && borne) At(s, iam.page).flags |= kWholeBorneOut;
    borne = true;
    if (wrong.size() >= 2 && wrong.size() * 2 > owned) {
      Refute(s, f, iam.page, kRule, wrong.front(),
             "it gives " + Num(static_cast<int64_t>(wrong.size())) + " of its " + Num(owned) +
                 " pages to " + UnitText(iam.unit) + ", but they carry other units, the first page " +
                 Num(wrong.front()));
    } else if (wrong.size() == 1 && owned == 1) {
      // Its one page disagrees with it: the weaker of the two, or both.
      const int64_t q = wrong.front();
      RefuteWeaker(s, iam.page, q, [&](int64_t which) {
        if (which == q) {
          Refute(s, f, q, kRule, iam.page,
                 "the IAM page " + Num(iam.page) + " gives it to " + UnitText(iam.unit) +
                     ", but it carries " + UnitText(At(s, q).Unit()));
        } else {
          Refute(s, f, iam.page, kRule, q,
                 "it gives page " + Num(q) + " to " + UnitText(iam.unit) +
                     ", but that page carries " + UnitText(At(s, q).Unit()));
        }
      });
    } else {
      for (const int64_t q : wrong) {
        Refute(s, f, q, kRule, iam.page,
               "the IAM page " + Num(iam.page) + " gives it to " + UnitText(iam.unit) +
                   ", but it carries " + UnitText(At(s, q).Unit()));
      }
    }
    wrong.clear();
    owned = 0;
  };
  for (size_t i = 0; i < s.iams.size(); ++i) {
    const KeptIam& iam = s.iams[i];
    if (!IsLiveIam(s, iam)) continue;
    const auto index = static_cast<int32_t>(i);
    for (const int32_t single : iam.singles) {
      if (single > 0) claim(single, index);
      borne = borne && (single == 0 || carries(single, iam.unit));
    }
    IamPageView view{iam.rangeStart, iam.singles, iam.bitmap.data(),
                     static_cast<int>(iam.bitmap.size())};
    ForEachIamExtent(view, [&](int64_t x) {
      bool any = false;
      for (int64_t q = std::max<int64_t>(x, 0); q < x + kPagesPerExtent; ++q) {
        claim(q, index);
        any = any || carries(q, iam.unit);
      }
      borne = borne && any;
    });
    judge(iam);
  }
  // Where every IAM page the PFS pages mark is here, whole, an allocated page of a unit that none
  // of them claims is not the page the file allocated there. (On the corpus of real files every
  // allocated data, index and text page is claimed.) An IAM page whose records do not hold may
  // have lost the very bits that claimed it.
  for (int64_t p = 0; p < s.filePages; ++p) {
    const PageSummary& page = At(s, p);
    if (!page.Has(kPfsKnown)) return;
    if (page.Allocated() && (page.pfs & kPfsIamPage) != 0 &&
        !(page.Has(kOwnPage) && page.type == kPageTypeIam && page.Has(kLayoutHolds))) {
      return;
    }
  }
  for (int64_t p = 0; p < s.filePages; ++p) {
    const PageSummary& page = At(s, p);
    if (page.Has(kOwnPage) && page.Allocated() && IsObjectPageType(page.type) &&
        claimer[static_cast<size_t>(p)] < 0) {
      Refute(s, f, p, kRule, -1, "the PFS marks it allocated, but no IAM page claims it");
    }
  }
}

void CheckRecordLayouts(State& s, Findings& f) {
  for (int64_t p = 0; p < s.filePages; ++p) {
    const PageSummary& page = At(s, p);
    if (page.Has(kOwnPage) && !page.Has(kLayoutHolds)) {
      Refute(s, f, p, ConsistencyRule::kRecordLayout, -1,
             "its slot array, records and free space do not fit together");
    }
  }
}

}  // namespace pagerake::consistency
