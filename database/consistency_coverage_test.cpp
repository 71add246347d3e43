// How much of an untouched file the consistency check ties: every page the database has
// allocated must be tied to the rest by a relation the file states, or the recovery names it for
// a DBA to check by hand for nothing.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "database/allocation_pages.h"
#include "database/consistency_check.h"
#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"

namespace pagerake {
namespace {

using File = std::vector<uint8_t>;

int64_t PagesOf(const File& f) { return static_cast<int64_t>(f.size() / kPageSize); }
const uint8_t* PageOf(const File& f, int64_t p) { return f.data() + p * kPageSize; }
uint8_t* PageOf(File& f, int64_t p) { return f.data() + p * kPageSize; }

ConsistencyReport Check(const File& f) {
  ConsistencyCheck check(PagesOf(f));
  for (int64_t p = 0; p < PagesOf(f); ++p) check.Add(p, PageOf(f, p));
  return check.Finish();
}

bool Genuine(const uint8_t* page, int64_t p) {
  return page[header_offset::kHeaderVersion] == 1 && LoadLe32(page + header_offset::kPageId) == p &&
         LoadLe16(page + header_offset::kFileId) == 1;
}

// The PFS byte of every page of the file, read from its PFS pages (torn bits restored); 0 for a
// page no PFS page describes.
std::vector<uint8_t> PfsBytesOf(const File& f) {
  std::vector<uint8_t> out(static_cast<size_t>(PagesOf(f)), 0);
  for (int64_t p = 1; p < PagesOf(f); p = (p == 1 ? kPfsInterval : p + kPfsInterval)) {
    File copy(PageOf(f, p), PageOf(f, p) + kPageSize);
    RestoreTornBits(copy.data());
    const std::optional<PfsBytes> pfs = DecodePfsPage(copy.data(), p);
    if (!pfs) continue;
    for (int j = 0; j < pfs->count && pfs->firstPage + j < PagesOf(f); ++j) {
      out[static_cast<size_t>(pfs->firstPage + j)] = pfs->bytes[j];
    }
  }
  return out;
}

// Every genuine page the PFS marks allocated is tied or confirmed. Pages the PFS marks free stay
// without a standing: a deallocation leaves its old contents there, and nothing in the file (no
// live IAM of its unit, no link from an allocated page, no parent) points at them any more.
TEST(ConsistencyCoverage, EveryAllocatedGenuinePageOfAnUntouchedFileIsTied) {
  PAGERAKE_REQUIRE_CORPUS();
  for (const auto& path : testing::AllCorpusFiles()) {
    SCOPED_TRACE(path.string());
    const File f = testing::ReadWholeFile(path.string());
    const ConsistencyReport r = Check(f);
    const std::vector<uint8_t> pfs = PfsBytesOf(f);
    int64_t allocated = 0;
    int64_t unallocated = 0;
    std::string untied;
    for (int64_t p = 0; p < PagesOf(f); ++p) {
      if (!Genuine(PageOf(f, p), p)) continue;
      if ((pfs[static_cast<size_t>(p)] & kPfsAllocated) == 0) {
        // A page the PFS marks free: the report says so, whatever its standing.
        EXPECT_EQ(r.unallocated[static_cast<size_t>(p)], 1) << p;
        ++unallocated;
        continue;
      }
      ++allocated;
      const PageStanding standing = r.standing[static_cast<size_t>(p)];
      EXPECT_EQ(r.unallocated[static_cast<size_t>(p)], 0) << p;
      if (standing != PageStanding::kConfirmed && standing != PageStanding::kTied) {
        untied += " " + std::to_string(p) + " (type " + std::to_string(PageOf(f, p)[1]) + ")";
      }
    }
    EXPECT_TRUE(untied.empty()) << "allocated pages without a standing:" << untied;
    EXPECT_GT(allocated, 100);
  }
}

// The catalog's first-IAM pointer ties the IAM page of a unit without pages (r10: page 202, an
// empty unit's IAM, claims nothing). An IAM page there of another unit is not tied by it.
TEST(ConsistencyCoverage, CatalogTiesTheIamOfAnEmptyUnitOnlyWithItsOwnUnit) {
  PAGERAKE_REQUIRE_CORPUS();
  File f = testing::ReadWholeFile((testing::CorpusDir() / "r10.mdf").string());
  constexpr int64_t kIam = 202;
  ASSERT_EQ(PageOf(f, kIam)[header_offset::kPageType], kPageTypeIam);
  EXPECT_EQ(Check(f).standing[kIam], PageStanding::kConfirmed);
  uint8_t* page = PageOf(f, kIam);
  StoreLe32(page + header_offset::kObjectId, LoadLe32(page + header_offset::kObjectId) + 1000);
  StoreLe32(page + header_offset::kTornBits, ComputePageChecksum(page));
  ASSERT_TRUE(VerifyPage(page));
  EXPECT_EQ(Check(f).standing[kIam], PageStanding::kUnknown);
}

// The catalog is read only where the boot page records a version that keeps it.
TEST(ConsistencyCoverage, CatalogIsNotReadWhereTheBootPageRecordsAnOlderVersion) {
  PAGERAKE_REQUIRE_CORPUS();
  File f = testing::ReadWholeFile((testing::CorpusDir() / "r12.mdf").string());
  constexpr int64_t kIam = 45;  // an empty unit's IAM
  EXPECT_EQ(Check(f).standing[kIam], PageStanding::kConfirmed);
  uint8_t* boot = PageOf(f, 9);
  const int record = LoadLe16(boot + kPageSize - 2);
  ASSERT_GE(record, kPageHeaderSize);
  StoreLe16(boot + record + 4, 539);  // SQL Server 2000
  StoreLe32(boot + header_offset::kTornBits, ComputePageChecksum(boot));
  EXPECT_EQ(Check(f).standing[kIam], PageStanding::kUnknown);
}


std::string FirstFinding(const ConsistencyReport& r) {
  if (r.findings.empty()) return {};
  return "page " + std::to_string(r.findings[0].page) + ": " + r.findings[0].text;
}

// A changed page's checksum made to agree again.
void Restamp(uint8_t* page) {
  StoreLe32(page + header_offset::kTornBits, ComputePageChecksum(page));
}

void LinkIams(File& f, int64_t from, int64_t to) {
  StoreLe32(PageOf(f, from) + header_offset::kNextPageId, static_cast<uint32_t>(to));
  StoreLe16(PageOf(f, from) + header_offset::kNextPageId + 4, 1);
  StoreLe32(PageOf(f, to) + header_offset::kPrevPageId, static_cast<uint32_t>(from));
  StoreLe16(PageOf(f, to) + header_offset::kPrevPageId + 4, 1);
  Restamp(PageOf(f, from));
  Restamp(PageOf(f, to));
}

// r10 with a second IAM page of the empty unit whose IAM is page 202, in an extent the file left
// zero, where the PFS marks as an allocated IAM page: nothing but a chain link can tie it (it
// claims nothing and the catalog names only the first IAM page of a unit).
struct ChainedIam {
  File file;
  int64_t second = -1;
};

ChainedIam WithSecondIam(uint32_t objectIdDelta) {
  ChainedIam c{testing::ReadWholeFile((testing::CorpusDir() / "r10.mdf").string())};
  File& f = c.file;
  // The first page of an extent the file left wholly zero: no IAM claims it.
  for (int64_t x = 16; x + kPagesPerExtent <= PagesOf(f) && c.second < 0; x += kPagesPerExtent) {
    bool zero = true;
    for (int64_t p = x; p < x + kPagesPerExtent; ++p) zero = zero && IsZeroPage(PageOf(f, p));
    if (zero) c.second = x;
  }
  if (c.second < 0) return c;
  std::memcpy(PageOf(f, c.second), PageOf(f, 202), kPageSize);
  uint8_t* page = PageOf(f, c.second);
  StoreLe32(page + header_offset::kPageId, static_cast<uint32_t>(c.second));
  const uint32_t objectId = LoadLe32(page + header_offset::kObjectId);
  StoreLe32(page + header_offset::kObjectId, objectId + objectIdDelta);
  Restamp(page);
  uint8_t* pfs = PageOf(f, 1);
  const int record = LoadLe16(pfs + kPageSize - 2);
  pfs[record + 4 + c.second] = kPfsAllocated | kPfsMixedExtent | kPfsIamPage;
  Restamp(pfs);
  return c;
}

// The IAM pages of one unit are chained by their previous/next links: a link that the next IAM
// page of the same unit returns ties it; one it does not return, or from another unit's IAM
// page, breaks the links rule.
TEST(ConsistencyCoverage, ChainLinksTieTheNextIamPageOfTheSameUnitOnly) {
  PAGERAKE_REQUIRE_CORPUS();
  ChainedIam alone = WithSecondIam(0);
  ASSERT_GE(alone.second, 0);
  const size_t second = static_cast<size_t>(alone.second);
  ConsistencyReport r = Check(alone.file);
  EXPECT_EQ(r.standing[second], PageStanding::kUnknown);
  EXPECT_TRUE(r.findings.empty()) << FirstFinding(r);

  ChainedIam chained = WithSecondIam(0);
  LinkIams(chained.file, 202, chained.second);
  r = Check(chained.file);
  EXPECT_EQ(r.standing[second], PageStanding::kConfirmed);
  EXPECT_TRUE(r.findings.empty()) << FirstFinding(r);

  ChainedIam oneWay = WithSecondIam(0);
  LinkIams(oneWay.file, 202, oneWay.second);
  StoreLe32(PageOf(oneWay.file, oneWay.second) + header_offset::kPrevPageId, 0);
  Restamp(PageOf(oneWay.file, oneWay.second));
  r = Check(oneWay.file);
  EXPECT_NE(r.standing[second], PageStanding::kConfirmed);
  EXPECT_FALSE(r.findings.empty());

  ChainedIam otherUnit = WithSecondIam(1000);
  LinkIams(otherUnit.file, 202, otherUnit.second);
  r = Check(otherUnit.file);
  EXPECT_EQ(r.standing[second], PageStanding::kRefuted);
  EXPECT_EQ(r.standing[202], PageStanding::kRefuted);  // both carry checksums: both are suspect
}


// Only a PFS page that the pages it describes bear out says which pages are free: one from
// another file, which they contradict, marks none.
TEST(ConsistencyCoverage, ARefutedPfsPageMarksNoPageUnallocated) {
  PAGERAKE_REQUIRE_CORPUS();
  File f = testing::ReadWholeFile((testing::CorpusDir() / "r01.mdf").string());
  const File donor = testing::ReadWholeFile((testing::CorpusDir() / "r03.mdf").string());
  const ConsistencyReport before = Check(f);
  EXPECT_GT(std::count(before.unallocated.begin(), before.unallocated.end(), 1), 0);
  std::memcpy(PageOf(f, 1), PageOf(donor, 1), kPageSize);
  const ConsistencyReport r = Check(f);
  ASSERT_EQ(r.standing[1], PageStanding::kRefuted) << FirstFinding(r);
  EXPECT_EQ(std::count(r.unallocated.begin(), r.unallocated.end(), 1), 0);
}

}  // namespace
}  // namespace pagerake
