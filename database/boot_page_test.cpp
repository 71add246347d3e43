// The database name of every corpus file's boot page, and pages that are no boot page.
#include "database/boot_page.h"

#include <gtest/gtest.h>

#include <vector>

#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"

namespace pagerake {
namespace {

TEST(BootPage, NamesTheDatabaseOnlyFromABootPageAtItsPlace) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::vector<uint8_t> northwind =
      testing::ReadWholeFile((testing::CorpusDir() / "r01.mdf").string());
  EXPECT_EQ(BootPageDatabaseName(northwind.data() + 9 * kPageSize), "NORTHWND");
  EXPECT_FALSE(BootPageDatabaseName(northwind.data()));                   // the file header
  EXPECT_FALSE(BootPageDatabaseName(northwind.data() + 10 * kPageSize));  // a page of another type
  std::vector<uint8_t> blank(northwind.begin() + 9 * kPageSize, northwind.begin() + 10 * kPageSize);
  std::fill(blank.begin() + 148, blank.begin() + 148 + 256, 0);
  EXPECT_FALSE(BootPageDatabaseName(blank.data()));
  for (const auto& path : testing::AllCorpusFiles()) {
    const std::vector<uint8_t> file = testing::ReadWholeFile(path.string());
    ASSERT_GT(file.size(), 10u * kPageSize);
    EXPECT_TRUE(BootPageDatabaseName(file.data() + 9 * kPageSize)) << path;
  }
}

}  // namespace
}  // namespace pagerake
