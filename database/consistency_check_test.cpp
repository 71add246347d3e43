#include "database/consistency_check.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"

namespace pagerake {
namespace {

using File = std::vector<uint8_t>;

[[maybe_unused]] std::string Corpus(const std::string& name) { return (testing::CorpusDir() / name).string(); }

int64_t PagesOf(const File& f) { return static_cast<int64_t>(f.size() / kPageSize); }
[[maybe_unused]] uint8_t* PageOf(File& f, int64_t p) { return f.data() + p * kPageSize; }
const uint8_t* PageOf(const File& f, int64_t p) { return f.data() + p * kPageSize; }

[[maybe_unused]] ConsistencyReport Check(const File& f) {
  ConsistencyCheck check(PagesOf(f));
  for (int64_t p = 0; p < PagesOf(f); ++p) check.Add(p, PageOf(f, p));
  return check.Finish();
}

std::string Describe(const ConsistencyReport& r) {
  std::string s;
  for (const ConsistencyFinding& f : r.findings) {
    s += "page " + std::to_string(f.page) + ": " + f.text + " (" +
         std::string(ConsistencyRuleText(f.rule)) + ")\n";
  }
  return s;
}

[[maybe_unused]] bool HasFinding(const ConsistencyReport& r, ConsistencyRule rule, int64_t page) {
  return std::any_of(r.findings.begin(), r.findings.end(), [&](const ConsistencyFinding& f) {
    return f.rule == rule && (f.page == page || f.other == page);
  });
}

TEST(ConsistencyCheck, SilentOnEveryUntouchedCorpusFile) {
  PAGERAKE_REQUIRE_CORPUS();
  for (const auto& path : testing::AllCorpusFiles()) {
    SCOPED_TRACE(path.string());
    const File f = testing::ReadWholeFile(path.string());
    const std::optional<ConsistencyReport> r = Check(f);
    EXPECT_TRUE(r->findings.empty()) << Describe(*r);
    EXPECT_EQ(r->refuted, 0);
    // Most pages of a real file whose pages carry checksums are tied to the rest by one
    // relation or another; torn-bit files leave their data and index pages without a standing.
    int64_t genuine = 0;
    for (int64_t p = 0; p < PagesOf(f); ++p) {
      const uint8_t* page = PageOf(f, p);
      genuine += page[0] == 1 && LoadLe32(page + header_offset::kPageId) == p &&
                         ProtectionOf(page) == PageProtection::kChecksum
                     ? 1
                     : 0;
    }
    EXPECT_GE(r->confirmed * 2, genuine) << r->confirmed << " of " << genuine;
    EXPECT_EQ(r->pages, PagesOf(f));
    EXPECT_EQ(r->standing.size(), static_cast<size_t>(r->pages));
  }
}

}  // namespace
}  // namespace pagerake

namespace pagerake {
namespace {

struct Swap {
  const char* target;
  const char* donor;
  int64_t page;
  ConsistencyRule rule;
};

File Swapped(const Swap& s) {
  File f = testing::ReadWholeFile(Corpus(s.target));
  const File donor = testing::ReadWholeFile(Corpus(s.donor));
  std::memcpy(PageOf(f, s.page), PageOf(donor, s.page), kPageSize);
  return f;
}

// Pages of the same number from another file of the same application's database (r01, r02) or
// another database: each rule, where it applies, refutes the stranger.
TEST(ConsistencyCheck, EachRuleRefutesAPageSwappedInFromAnotherFile) {
  PAGERAKE_REQUIRE_CORPUS();
  const Swap cases[] = {
      {"r01.mdf", "r02.mdf", 25, ConsistencyRule::kPageLinks},          // data page, other chain
      {"r01.mdf", "r02.mdf", 354, ConsistencyRule::kPageLinks},         // index page, other chain
      {"r01.mdf", "r02.mdf", 10, ConsistencyRule::kIamOwnership},       // another unit's page
      {"r01.mdf", "r02.mdf", 34, ConsistencyRule::kAllocatedPresent},   // index where an IAM is
      {"r01.mdf", "r02.mdf", 8, ConsistencyRule::kAllocatedPresent},    // data where an IAM is
      {"r01.mdf", "r02.mdf", 2, ConsistencyRule::kGamSgam},             // another file's GAM
      {"r11.mdf", "r12.mdf", 2, ConsistencyRule::kGamSgam},
      {"r01.mdf", "r02.mdf", 24, ConsistencyRule::kIndexChild},         // another unit's child
      {"r11.mdf", "r12.mdf", 23, ConsistencyRule::kPageLinks},
  };
  for (const Swap& s : cases) {
    SCOPED_TRACE(std::string(s.target) + " page " + std::to_string(s.page) + " from " + s.donor);
    const File f = Swapped(s);
    const ConsistencyReport r = Check(f);
    EXPECT_TRUE(HasFinding(r, s.rule, s.page)) << Describe(r);
    EXPECT_EQ(r.standing[static_cast<size_t>(s.page)], PageStanding::kRefuted) << Describe(r);
  }
}

// The header fields by which pages relate: a page with the same ones as the original may take
// its place without any rule seeing the difference.
bool SameRelations(const uint8_t* a, const uint8_t* b) {
  constexpr int kFields[][2] = {{0, 2}, {3, 1}, {6, 2}, {8, 6}, {16, 6}, {24, 4}, {32, 6}};
  return std::all_of(std::begin(kFields), std::end(kFields),
                     [&](const int* f) { return std::memcmp(a + f[0], b + f[0], f[1]) == 0; });
}

// The hard case: genuine pages of the same database from another state of it (versions/, and the
// two copies of one application's database). Every page that differs is swapped in, one at a time:
// unless its header relations are the original's, it must not be confirmed.
TEST(ConsistencyCheck, GenuinePageOfAnotherStateIsNotConfirmedWithOtherRelations) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::pair<const char*, const char*> pairs[] = {
      {"versions/s01-c.mdf", "versions/s01-a.mdf"}, {"versions/s01-a.mdf", "versions/s01-b.mdf"},
      {"r01.mdf", "r02.mdf"}, {"r02.mdf", "r01.mdf"}, {"r12.mdf", "r11.mdf"}};
  for (const auto& [target, donor] : pairs) {
    const File original = testing::ReadWholeFile(Corpus(target));
    const File other = testing::ReadWholeFile(Corpus(donor));
    const int64_t pages = std::min(PagesOf(original), PagesOf(other));
    int swapped = 0;
    for (int64_t p = 0; p < pages; ++p) {
      if (std::memcmp(PageOf(original, p), PageOf(other, p), kPageSize) == 0) continue;
      if (IsZeroPage(PageOf(other, p))) continue;
      File f = original;
      std::memcpy(PageOf(f, p), PageOf(other, p), kPageSize);
      const ConsistencyReport r = Check(f);
      if (r.standing[static_cast<size_t>(p)] == PageStanding::kConfirmed) {
        EXPECT_TRUE(SameRelations(PageOf(original, p), PageOf(other, p)))
            << target << " page " << p << " from " << donor << " is confirmed";
      }
      ++swapped;
    }
    EXPECT_GT(swapped, 0) << target;
  }
}

// A torn-protected page whose last sectors are another page's that carry the same torn-bit
// pattern passes the torn-bit test; the check must not confirm it.
TEST(ConsistencyCheck, TornPageCompletedWithAnotherPagesSectorsIsNotConfirmed) {
  PAGERAKE_REQUIRE_CORPUS();
  int tried = 0;
  for (const char* name : {"r01.mdf", "r02.mdf", "r03.mdf"}) {
    const File original = testing::ReadWholeFile(Corpus(name));
    for (int64_t p = 0; p < PagesOf(original); ++p) {
      const uint8_t* page = PageOf(original, p);
      if (ProtectionOf(page) != PageProtection::kTornBits || page[0] != 1 ||
          LoadLe32(page + header_offset::kPageId) != p || (page[1] != 1 && page[1] != 2)) {
        continue;
      }
      // The next page of the same type and the same torn-bit pattern lends its last 6 sectors.
      for (int64_t q = p + 1; q < PagesOf(original); ++q) {
        const uint8_t* lender = PageOf(original, q);
        if (lender[1] != page[1] || ProtectionOf(lender) != PageProtection::kTornBits ||
            (lender[header_offset::kTornBits] & 3) != (page[header_offset::kTornBits] & 3)) {
          continue;
        }
        constexpr int kFrom = 10 * kSectorSize;
        if (std::memcmp(page + kFrom, lender + kFrom, kPageSize - kFrom) == 0) break;
        File f = original;
        std::memcpy(PageOf(f, p) + kFrom, lender + kFrom, kPageSize - kFrom);
        ASSERT_TRUE(VerifyPage(PageOf(f, p))) << name << " page " << p;
        const ConsistencyReport r = Check(f);
        EXPECT_NE(r.standing[static_cast<size_t>(p)], PageStanding::kConfirmed)
            << name << " page " << p << " completed from page " << q;
        ++tried;
        break;
      }
    }
  }
  EXPECT_GT(tried, 50);
}

// An IAM page whose tail was lost (its last sectors zero, as a cut page is written) is refuted
// itself, but the pages it claimed are not: with the IAM broken, nothing says who claims them.
TEST(ConsistencyCheck, ABrokenIamPageRefutesNoPageItMayHaveClaimed) {
  PAGERAKE_REQUIRE_CORPUS();
  int tried = 0;
  for (const char* name : {"r02.mdf", "r06.mdf", "r11.mdf"}) {
    const File original = testing::ReadWholeFile(Corpus(name));
    for (int64_t p = 0; p < PagesOf(original); ++p) {
      if (PageOf(original, p)[1] != kPageTypeIam || PageOf(original, p)[0] != 1) continue;
      File f = original;
      std::memset(PageOf(f, p) + kPageSize / 2, 0, kPageSize / 2);
      const ConsistencyReport r = Check(f);
      for (const ConsistencyFinding& finding : r.findings) {
        EXPECT_EQ(finding.page, p) << name << ", IAM page " << p << " broken:\n" << Describe(r);
      }
      ++tried;
    }
  }
  EXPECT_GT(tried, 20);
}

}  // namespace
}  // namespace pagerake

