// What a page says of the others, judged against a real file: within one whole file the claims
// hold but for the few that deallocated pages, still at their numbers, left behind; a page of
// another database of the same model breaks the claims of the file's own.
#include "database/page_claims.h"

#include <gtest/gtest.h>

#include <vector>

#include "page/page_content.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/corpus_volumes.h"
#include "tests/support/mdf_builder.h"

namespace pagerake {
namespace {

std::vector<uint8_t> Restored(const std::string& name) {
  std::vector<uint8_t> file = testing::ReadWholeFile(testing::CorpusPath(name));
  for (size_t at = 0; at + kPageSize <= file.size(); at += kPageSize) RestoreTornBits(&file[at]);
  return file;
}

struct Verdicts {
  int borneOut = 0;
  int broken = 0;
};

// Every claim of every page of `claimant` against the pages of `file`.
Verdicts JudgeAll(const std::vector<uint8_t>& claimant, const std::vector<uint8_t>& file) {
  Verdicts v;
  const int64_t pages = static_cast<int64_t>(claimant.size() / kPageSize);
  for (int64_t p = 0; p < pages; ++p) {
    ForEachPageClaim(&claimant[p * kPageSize], p, 1 << 20, [&](const PageClaim& c) {
      if (c.page >= static_cast<int64_t>(file.size() / kPageSize)) return;
      switch (JudgeClaim(c, &file[c.page * kPageSize])) {
        case ClaimVerdict::kBorneOut: ++v.borneOut; break;
        case ClaimVerdict::kBroken: ++v.broken; break;
        case ClaimVerdict::kSilent: break;
      }
    });
  }
  return v;
}

TEST(PageClaims, AWholeFileBearsOutItsOwnClaimsAndAnotherDatabaseBreaksThem) {
  PAGERAKE_REQUIRE_CORPUS();
  for (const char* name : {"r01.mdf", "r02.mdf", "r06.mdf", "versions/s01-c.mdf"}) {
    const std::vector<uint8_t> file = Restored(name);
    const Verdicts own = JudgeAll(file, file);
    EXPECT_GT(own.borneOut, 100) << name;
    EXPECT_LT(own.broken * 20, own.borneOut) << name;  // stale pages of dropped rows and tables
  }
  // r01 and r02 share their system pages, but their user tables grew apart: their links and IAM
  // pages claim pages the other holds otherwise.
  const std::vector<uint8_t> r01 = Restored("r01.mdf"), r02 = Restored("r02.mdf");
  EXPECT_GT(JudgeAll(r02, r01).broken, 0);
  // Page 299 of each is an IAM page of another unit; each gives one single page away.
  int r01Borne = 0, r02Broken = 0;
  ForEachPageClaim(&r01[299 * kPageSize], 299, 64, [&](const PageClaim& c) {
    EXPECT_EQ(c.kind, ClaimKind::kIamSingle);
    r01Borne += JudgeClaim(c, &r01[c.page * kPageSize]) == ClaimVerdict::kBorneOut;
  });
  ForEachPageClaim(&r02[299 * kPageSize], 299, 64, [&](const PageClaim& c) {
    r02Broken += JudgeClaim(c, &r01[c.page * kPageSize]) == ClaimVerdict::kBroken;
  });
  EXPECT_EQ(r01Borne, 1);
  EXPECT_EQ(r02Broken, 1);
  // A page that is not at its own number claims nothing; zeros say nothing to a claim.
  int claims = 0;
  ForEachPageClaim(&r01[299 * kPageSize], 298, 64, [&](const PageClaim&) { ++claims; });
  EXPECT_EQ(claims, 0);
  const std::vector<uint8_t> zeros(kPageSize, 0);
  EXPECT_EQ(JudgeClaim(PageClaim{88, ClaimKind::kIamSingle, {11, 256}, 0, 299}, zeros.data()),
            ClaimVerdict::kSilent);
}

}  // namespace
}  // namespace pagerake
