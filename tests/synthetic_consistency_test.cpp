// The synthetic database files the other tests and the benches build must be files the
// consistency check accepts whole: a builder that lays out records, links or allocation pages
// differently from the database makes every test on top of it measure the builder's faults.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/database_file_check.h"
#include "database/consistency_check.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/whole_file_builder.h"

namespace pagerake {
namespace {

ConsistencyReport Check(const std::vector<uint8_t>& file) {
  const int64_t pages = static_cast<int64_t>(file.size() / kPageSize);
  ConsistencyCheck check(pages);
  for (int64_t p = 0; p < pages; ++p) check.Add(p, file.data() + p * kPageSize);
  return check.Finish();
}

std::string Describe(const ConsistencyReport& r) {
  std::string s;
  for (size_t k = 0; k < r.findings.size() && k < 20; ++k) {
    const ConsistencyFinding& f = r.findings[k];
    s += "page " + std::to_string(f.page) + ": " + f.text + " (" +
         std::string(ConsistencyRuleText(f.rule)) + ")\n";
  }
  return s;
}

// No page refuted, no finding, and of the `allocated` pages (all checksummed) nearly all tied to
// the rest of the file.
void ExpectAcceptedWhole(const std::vector<uint8_t>& file, int64_t allocated,
                         const std::string& what) {
  SCOPED_TRACE(what);
  const ConsistencyReport r = Check(file);
  EXPECT_EQ(r.refuted, 0) << Describe(r);
  EXPECT_TRUE(r.findings.empty()) << Describe(r);
  EXPECT_GE(r.confirmed * 10, allocated * 9) << r.confirmed << " of " << allocated << " confirmed";
}

// The pages BuildMdf writes: all of them but 4, 5, 8 and 10 to 15.
int64_t MdfAllocatedPages(int32_t pages) { return pages - 9; }

int64_t AllocatedPages(const testing::WholeFile& f) {
  int64_t n = 0;
  for (int32_t p = 0; p < f.pages(); ++p) n += f.Facts(p).allocated ? 1 : 0;
  return n;
}

TEST(SyntheticConsistency, BuildMdfFilesAreAcceptedWhole) {
  for (const int32_t pages : {33, 64, 200}) {
    for (const int perObject : {1, 8, 30}) {
      testing::MdfOptions o;
      o.pages = pages;
      o.pagesPerObject = perObject;
      ExpectAcceptedWhole(testing::BuildMdf(o), MdfAllocatedPages(pages),
                          std::to_string(pages) + " pages, " + std::to_string(perObject) +
                              " a group");
    }
  }
}

TEST(SyntheticConsistency, WholeFilesAreAcceptedWhole) {
  for (const uint64_t seed : {1, 2, 7}) {
    testing::WholeFileOptions o;
    o.pages = 3000;
    o.seed = seed;
    o.iamRangePages = 1024;  // IAM chains in a small file
    const testing::WholeFile f(o);
    ExpectAcceptedWhole(f.Build(), AllocatedPages(f), "seed " + std::to_string(seed));
    // The same file as it was earlier is a consistent file of its own.
    const testing::WholeFile older = f.OlderCopy(seed + 10);
    ExpectAcceptedWhole(older.Build(), AllocatedPages(older), "older, seed " + std::to_string(seed));
  }
  testing::WholeFileOptions o;
  o.pages = 20000;  // three PFS intervals
  o.objects = 16;
  const testing::WholeFile f(o);
  const std::vector<uint8_t> file = f.Build();
  ExpectAcceptedWhole(file, AllocatedPages(f), "20000 pages, one IAM range");
  // The indexes have levels above the leaf, up to a root: the check has child pointers to follow.
  int maxLevel = 0;
  for (size_t at = 0; at < file.size(); at += kPageSize) {
    if (file[at + 1] == kPageTypeIndex) maxLevel = std::max<int>(maxLevel, file[at + 3]);
  }
  EXPECT_GE(maxLevel, 2);
}

TEST(SyntheticConsistency, TheCheckOfAWrittenFileAgrees) {
  testing::WholeFileOptions o;
  o.pages = 2048;
  const std::vector<uint8_t> file = testing::WholeFile(o).Build();
  const std::string path = ::testing::TempDir() + "synthetic_consistency.mdf";
  std::FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), out), file.size());
  std::fclose(out);
  const std::optional<ConsistencyReport> r = CheckDatabaseFile(path);
  std::remove(path.c_str());
  ASSERT_TRUE(r);
  EXPECT_EQ(r->refuted, 0) << Describe(*r);
  EXPECT_EQ(r->confirmed, Check(file).confirmed);
}

}  // namespace
}  // namespace pagerake
