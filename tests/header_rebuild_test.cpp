// Page 0 rebuilt from the rest of every corpus file, compared field by field with the real one:
// the fields the catalog and the size found give must come back exact; the table of how many
// files get each field back is printed for the record.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>

#include "app/database_tables.h"
#include "database/file_header_page.h"
#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"

namespace pagerake {
namespace {

const char* const kFieldNames[] = {
    "binding id", "(empty)", "file id", "filegroup id", "size", "max size", "growth", "perf",
    "backup LSN", "first update LSN", "oldest restored LSN", "(empty)", "min size", "status",
    "user shrink size", "sector size", "max LSN", "first LSN", "create LSN",
    "differential base LSN", "field 20", "differential base GUID", "field 22", "file GUID",
    "field 24", "redo start LSN", "(empty)", "logical name"};

// The fields that the catalog and the size found give: they must come back in every file whose
// catalog has the file's whole row (SQL Server 2008 on).
const int kKnownFields[] = {2, 3, 4, 5, 6, 13, 14, 21, 23, 27};

TEST(HeaderRebuild, FieldsTheCatalogKnowsComeBackOnEveryCorpusFile) {
  PAGERAKE_REQUIRE_CORPUS();
  std::map<int, int> exact;
  int files = 0;
  for (const auto& path : testing::AllCorpusFiles()) {
    SCOPED_TRACE(path.filename().string());
    FilePageLookup lookup;
    std::string why;
    ASSERT_TRUE(lookup.Open(path.string(), why)) << why;
    UnitPages units(lookup);
    const std::optional<Catalog> catalog = ReadCatalog(lookup, units, why);
    ASSERT_TRUE(catalog) << why;
    PageBytes real;
    ASSERT_TRUE(lookup.ReadPage(0, real.data()));
    PageBytes boot;
    ASSERT_TRUE(lookup.ReadPage(9, boot.data()));
    PageBytes rebuilt;
    HeaderPageSource source{&*catalog, lookup.PageCount(), LoadLe16(boot.data() + 4)};
    ASSERT_TRUE(BuildFileHeaderPage(source, rebuilt.data()));
    // The rebuilt page verifies under its protection and reads back the size it was given.
    if (LoadLe16(boot.data() + 4) & 0x0300) {
      EXPECT_TRUE(VerifyPage(rebuilt.data()));
    }
    RestoreTornBits(rebuilt.data());
    RestoreTornBits(real.data());
    EXPECT_EQ(ReadFileSizePages(rebuilt.data()), lookup.PageCount());
    const auto want = FileHeaderFields(real.data());
    const auto got = FileHeaderFields(rebuilt.data());
    ASSERT_TRUE(want && got);
    if (want->size() < 44) continue;  // the 23-field page 0 that two upgraded files kept
    ++files;
    for (size_t i = 0; i < std::size(kFieldNames); ++i) {
      const bool same = i < want->size() && i < got->size() &&
                        std::equal((*want)[i].begin(), (*want)[i].end(), (*got)[i].begin(),
                                   (*got)[i].end());
      exact[static_cast<int>(i)] += same ? 1 : 0;
    }
    if (catalog->files.front().whole) {
      for (int i : kKnownFields) {
        EXPECT_TRUE(std::equal((*want)[i].begin(), (*want)[i].end(), (*got)[i].begin(),
                               (*got)[i].end()))
            << kFieldNames[i];
      }
      EXPECT_EQ(want->size(), got->size());
    }
  }
  std::cout << "page 0 rebuilt: fields exact, of " << files << " files\n";
  for (size_t i = 0; i < std::size(kFieldNames); ++i) {
    std::cout << "  " << i << " " << kFieldNames[i] << ": " << exact[static_cast<int>(i)] << "\n";
  }
}

}  // namespace
}  // namespace pagerake
