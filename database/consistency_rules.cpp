// The rules of the consistency check, judged over the page summaries once every page is in.
#include <algorithm>
#include <string>

#include "database/allocation_pages.h"
#include "database/consistency_state.h"
#include "page/page_header.h"

namespace pagerake::consistency {

void CheckAllocatedPresent(State& s, Findings& f) {
  constexpr auto kRule = ConsistencyRule::kAllocatedPresent;
  for (int64_t p = 0; p < s.filePages; ++p) {
    PageSummary& page = At(s, p);
    // A zero page is a missing page, not a wrong one: it stays without a standing.
    if (!page.Allocated() || !page.Has(kNonZero)) continue;
    const int64_t pfs = PfsPageFor(p);
    if (!page.Has(kOwnPage)) {
      Refute(s, f, p, kRule, pfs,
             "the PFS page " + Num(pfs) + " marks it allocated, but it is not page " + Num(p) +
                 " of this file");
    } else if ((page.pfs & kPfsIamPage) != 0 && page.type != kPageTypeIam) {
      Refute(s, f, p, kRule, pfs,
             "the PFS page " + Num(pfs) + " marks it as an IAM page, but it is of type " +
                 Num(page.type));
    } else if ((page.pfs & kPfsIamPage) == 0 && page.type == kPageTypeIam) {
      Refute(s, f, p, kRule, pfs,
             "it is an IAM page, but the PFS page " + Num(pfs) + " marks an ordinary page there");
    } else if (page.type == kPageTypeIam || (page.type == kPageTypePfs && IsPfsPosition(p))) {
      Tie(s, p);  // an IAM where the PFS says one is, a PFS page at its place
    }
  }
}

void CheckIamOwnership(State& s, Findings& f) {
  constexpr auto kRule = ConsistencyRule::kIamOwnership;
  std::vector<int32_t> claimer(static_cast<size_t>(s.filePages), -1);
  auto claim = [&](int64_t q, int32_t index) {
    if (!InFile(s, q) || !At(s, q).Allocated()) return;
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
    if (UnitMatchesIam(page, iam.unit)) {
      Tie(s, q);
    } else {
      Refute(s, f, q, kRule, iam.page,
             "the IAM page " + Num(iam.page) + " gives it to " + UnitText(iam.unit) +
                 ", but it carries " + UnitText(page.Unit()));
    }
  };
  for (size_t i = 0; i < s.iams.size(); ++i) {
    const KeptIam& iam = s.iams[i];
    if (!IsLiveIam(s, iam)) continue;
    const auto index = static_cast<int32_t>(i);
    for (const int32_t single : iam.singles) {
      if (single > 0) claim(single, index);
    }
    IamPageView view{iam.rangeStart, iam.singles, iam.bitmap.data(),
                     static_cast<int>(iam.bitmap.size())};
    ForEachIamExtent(view, [&](int64_t x) {
      for (int64_t q = std::max<int64_t>(x, 0); q < x + kPagesPerExtent; ++q) claim(q, index);
    });
  }
  // Where every IAM page the PFS pages mark is here, an allocated page of a unit that none of
  // them claims is not the page the file allocated there. (On the corpus of real files every
  // allocated data, index and text page is claimed.)
  for (int64_t p = 0; p < s.filePages; ++p) {
    const PageSummary& page = At(s, p);
    if (!page.Has(kPfsKnown)) return;
    if (page.Allocated() && (page.pfs & kPfsIamPage) != 0 &&
        !(page.Has(kOwnPage) && page.type == kPageTypeIam)) {
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
