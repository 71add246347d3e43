// One class per written page: what its protection proves, what the consistency check says, and
// whether its sectors were read as one run.
#include "assembly/page_evidence.h"

#include <gtest/gtest.h>

namespace pagerake {
namespace {

TEST(PageEvidence, ClassesFromProtectionCheckAndHowThePageWasRead) {
  constexpr uint16_t kOwn = kFactOwnPage | kFactFromFragment;
  struct Case {
    const char* what;
    uint16_t facts;
    PageStanding standing;
    PageClass expected;
  };
  const Case cases[] = {
      {"checksum verifies", kOwn | kFactChecksum | kFactVerified, PageStanding::kUnknown,
       PageClass::kProven},
      {"checksum verifies, the check refutes it", kOwn | kFactChecksum | kFactVerified,
       PageStanding::kRefuted, PageClass::kInconsistent},
      {"checksum fails", kOwn | kFactChecksum, PageStanding::kConfirmed, PageClass::kUnconfirmed},
      {"torn bits, tied, read whole", kOwn | kFactTornBits | kFactVerified, PageStanding::kTied,
       PageClass::kConsistent},
      {"torn bits, nothing ties it", kOwn | kFactTornBits | kFactVerified,
       PageStanding::kUnknown, PageClass::kUnconfirmed},
      {"torn bits fail", kOwn | kFactTornBits, PageStanding::kTied, PageClass::kUnconfirmed},
      {"torn bits, tied, but the last page of its piece",
       kOwn | kFactTornBits | kFactVerified | kFactRowEnd, PageStanding::kTied,
       PageClass::kUnconfirmed},
      {"torn bits, mended at its junction, even confirmed",
       kOwn | kFactTornBits | kFactVerified | kFactMendedJunction, PageStanding::kConfirmed,
       PageClass::kUnconfirmed},
      {"checksum, mended by the tail search", kOwn | kFactChecksum | kFactVerified |
       kFactMendedTail, PageStanding::kUnknown, PageClass::kProven},
      {"a mend refused", kOwn | kFactTornBits | kFactMendRefused, PageStanding::kTied,
       PageClass::kUnconfirmed},
      {"no protection, tied", kOwn, PageStanding::kTied, PageClass::kConsistent},
      {"no protection, refuted", kOwn, PageStanding::kRefuted, PageClass::kInconsistent},
      {"a hole", kFactZero, PageStanding::kUnknown, PageClass::kZero},
      {"unreadable", kFactZero | kFactUnreadable, PageStanding::kUnknown, PageClass::kZero},
      {"bytes that are no page, inside a piece", kFactFromFragment, PageStanding::kUnknown,
       PageClass::kNoPage},
      {"bytes that are no page, at a piece's end", kFactFromFragment | kFactRowEnd,
       PageStanding::kUnknown, PageClass::kUnconfirmed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConsistencyReport report;
    report.pages = 1;
    report.standing = {c.standing};
    const PageEvidence e = ClassifyPages({c.facts}, report);
    // The same page where the file's PFS marks its place free.
    report.unallocated = {1};
    const PageClass free = ClassifyPages({c.facts}, report).classes[0];
    const bool readWhole =
        !(c.facts & (kFactRowEnd | kFactMendedJunction | kFactMendedTail | kFactMendRefused));
    const bool becomesFree = c.standing == PageStanding::kUnknown && readWhole &&
                             (c.facts & kFactFromFragment) && !(c.facts & kFactZero);
    EXPECT_EQ(free, becomesFree ? PageClass::kFree : c.expected);
    ASSERT_EQ(e.classes.size(), 1u);
    EXPECT_EQ(e.classes[0], c.expected);
    const bool listed = !e.unconfirmedPages.empty() || !e.inconsistentPages.empty();
    EXPECT_EQ(listed, c.expected == PageClass::kUnconfirmed ||
                          c.expected == PageClass::kInconsistent);
  }
}

TEST(PageEvidence, SummaryCountsEveryPageOnce) {
  ConsistencyReport report;
  report.pages = 5;
  report.standing = {PageStanding::kUnknown, PageStanding::kTied, PageStanding::kUnknown,
                     PageStanding::kRefuted, PageStanding::kUnknown};
  constexpr uint16_t kOwn = kFactOwnPage | kFactFromFragment;
  const PageEvidence e = ClassifyPages(
      {kOwn | kFactChecksum | kFactVerified, kOwn | kFactTornBits | kFactVerified,
       kOwn | kFactTornBits | kFactVerified | kFactMendedJunction, kOwn, kFactZero},
      report);
  EXPECT_EQ(EvidenceSummary(e),
            "5 pages: 1 proven, 1 consistent, 1 unconfirmed, 1 inconsistent, 1 zero");
  EXPECT_EQ(e.unconfirmedPages, std::vector<int64_t>{2});
  EXPECT_EQ(e.inconsistentPages, std::vector<int64_t>{3});
  ASSERT_EQ(e.mends.size(), 1u);
  EXPECT_EQ(e.mends[0].page, 2);
  EXPECT_EQ(GroupedNumber(2553), "2,553");
  EXPECT_EQ(GroupedNumber(1048576), "1,048,576");
  EXPECT_EQ(GroupedNumber(999), "999");
}

}  // namespace
}  // namespace pagerake
