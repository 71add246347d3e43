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
    const std::optional<ConsistencyReport> r = CheckDatabaseFile(path.string());
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->findings.empty()) << Describe(*r);
    EXPECT_EQ(r->refuted, 0);
    // Most pages of a real file are tied to the rest by one relation or another.
    int64_t genuine = 0;
    const File f = testing::ReadWholeFile(path.string());
    for (int64_t p = 0; p < PagesOf(f); ++p) {
      const uint8_t* page = PageOf(f, p);
      genuine += page[0] == 1 && LoadLe32(page + header_offset::kPageId) == p ? 1 : 0;
    }
    EXPECT_GE(r->confirmed * 2, genuine) << r->confirmed << " of " << genuine;
    EXPECT_EQ(r->pages, PagesOf(f));
    EXPECT_EQ(r->standing.size(), static_cast<size_t>(r->pages));
  }
}

}  // namespace
}  // namespace pagerake
