// The check of a file on disk, read in pieces on several threads, against the same check fed the
// file page by page; and the files it must refuse.
#include "app/database_file_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"

namespace pagerake {
namespace {

ConsistencyReport CheckedInOrder(const std::vector<uint8_t>& file) {
  ConsistencyCheck check(static_cast<int64_t>(file.size() / kPageSize));
  for (size_t p = 0; p * kPageSize < file.size(); ++p) {
    check.Add(static_cast<int64_t>(p), file.data() + p * kPageSize);
  }
  return check.Finish();
}

TEST(DatabaseFileCheck, InPiecesItSaysWhatThePagesInOrderSay) {
  PAGERAKE_REQUIRE_CORPUS();
  // A torn-page file with a page swapped for another's (a finding), and a checksum file.
  std::vector<uint8_t> swapped = testing::ReadWholeFile((testing::CorpusDir() / "r01.mdf").string());
  std::copy_n(swapped.begin() + 200 * kPageSize, kPageSize, swapped.begin() + 120 * kPageSize);
  const std::vector<std::vector<uint8_t>> files = {
      swapped, testing::ReadWholeFile((testing::CorpusDir() / "r11.mdf").string())};
  testing::TempDir dir;
  for (const std::vector<uint8_t>& file : files) {
    const std::string path = dir.File("file.mdf");
    ASSERT_TRUE(testing::WriteFile(path, file));
    const ConsistencyReport expected = CheckedInOrder(file);
    for (const int64_t perThread : {8192, 100, 17}) {  // one piece, several, uneven ones
      SCOPED_TRACE(perThread);
      const std::optional<ConsistencyReport> r = CheckDatabaseFile(path, perThread);
      ASSERT_TRUE(r);
      EXPECT_EQ(r->standing, expected.standing);
      EXPECT_EQ(r->whole, expected.whole);
      EXPECT_EQ(r->findings.size(), expected.findings.size());
      EXPECT_EQ(r->confirmed, expected.confirmed);
      EXPECT_EQ(r->refuted, expected.refuted);
    }
  }
  EXPECT_GT(CheckedInOrder(swapped).refuted, 0);
}

TEST(DatabaseFileCheck, RefusesWhatIsNoWholeNumberOfPages) {
  testing::TempDir dir;
  ASSERT_TRUE(testing::WriteFile(dir.File("short.mdf"), std::vector<uint8_t>(kPageSize + 1)));
  EXPECT_FALSE(CheckDatabaseFile(dir.File("short.mdf")));
  EXPECT_FALSE(CheckDatabaseFile(dir.File("absent.mdf")));
}

}  // namespace
}  // namespace pagerake
