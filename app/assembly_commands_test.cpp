// SEARCH MORE after an analysis on a scanned Session: holes filled pass by pass (fragments without
// evidence too), the name read from page 32 of the chain, mended when it was cut at a cluster
// boundary, what ends it early, and what it takes over from the analysis's tests.
#include "app/assembly_commands.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "app/analysis_commands.h"
#include "app/scan_command.h"
#include "app/source_choice.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using Piece = std::pair<int64_t, std::pair<int32_t, int32_t>>;  // sector, (first page, pages)

struct Scanned {
  testing::TempDir dir;
  testing::ScriptedHost host;
  Session session;
};

// A 300-page file recording `name` in `pieces` on a disk, scanned, its start analysed; page 32
// cut after its first 4 KiB with its tail in front of sector `tailBefore` (when not 0).
void ScanAndAnalyse(Scanned& s, const std::vector<Piece>& pieces, int64_t tailBefore,
                    const std::string& name = "D:\\DATA\\DEMO.mdf") {
  testing::MdfOptions options;
  options.pages = 300;
  options.recordedName = name;
  auto file = testing::BuildMdf(options);
  // Data pages where a young file has none, so that its first 33 pages are one run.
  for (int32_t p : {4, 5, 8, 10, 11, 12, 13, 14, 15}) {
    const testing::Page page = testing::MakeDataPage(1, static_cast<uint32_t>(p), 77);
    std::copy(page.begin(), page.end(), file.begin() + int64_t{p} * kPageSize);
  }
  testing::DiskImage image(16000, 12);
  for (const auto& [sector, run] : pieces) image.PutFilePages(sector, file, run.first, run.second);
  if (tailBefore > 0) {
    for (const auto& [sector, run] : pieces) {
      if (run.first <= 32 && 32 < run.first + run.second) {
        image.Zero(sector + (32 - run.first) * 16 + 8, 8);
      }
    }
    image.Put(tailBefore - 8, file.data() + 33 * kPageSize - 4096, 4096);
  }
  ASSERT_TRUE(image.Write(s.dir.File("disk.img")));
  ASSERT_TRUE(OpenImageSource(s.session, s.host, s.dir.File("disk.img"), SourceLayout::kWholeDisk));
  s.session.fields.edtsecs = "8";
  ASSERT_TRUE(StartScan(s.session, s.host));
  s.session.jobs.JoinAll();
  s.session.dataSource.sectorsPerCluster = 8;
  ChangeTab(s.session, s.host, 2);
  ClickDatabaseFile(s.session, 0);
  ASSERT_TRUE(ClickAnalyse(s.session, s.host));
  s.session.jobs.JoinAll();
  ASSERT_EQ(s.session.lastAnalysisEnd, AnalysisEnd::kFinished);
}

TEST(SearchMore, FillsHolesPassByPassAndReadsTheNameFromTheChain) {
  // Lines in disk order: 0 the start, then the pieces behind it.
  struct Case {
    const char* what;
    std::vector<Piece> pieces;
    int64_t tailBefore;
    std::string name;
    std::vector<std::string> memo;
    std::string firstRowMemo;
  };
  const std::string none = "本次找到碎片数量0。二次查找完毕";
  const std::string demo = "D:\\DATA\\DEMO.mdf";
  const std::string longName = "D:\\" + std::string(2100, 'x') + ".mdf";
  const Case cases[] = {
      // The analysis chains 100..159 by its links and 169..299 by its IAM pages, which the PFS
      // page marks. 163..166 (behind the lost pages 160..162, with the IAM page 162 of their
      // object) has no evidence, and 167..168 becomes evidence only through it.
      {"a fragment without evidence, then one it vouches for",
       {{1000, {0, 100}}, {3000, {100, 60}}, {5000, {163, 4}}, {7000, {167, 2}}, {9000, {169, 131}}},
       0, demo,
       {"找到未确定碎片号2", "本次找到碎片数量1。二次查找完毕", "找到碎片号3",
        "本次找到碎片数量1。二次查找完毕", none},
       "D:\\DATA\\DEMO.mdf(2.34 MB)"},
      // A start of 20 pages (160 KB): page 32 comes from the chain (the analysis chained 20..32
      // by its link, and 33..299 by its IAM pages), cut, and is mended from the 8 sectors in
      // front of the row that follows it (the long name runs into the cut half). Nothing is left
      // to find.
      {"the name from a cut page 32",
       {{1000, {0, 20}}, {3000, {20, 13}}, {5000, {33, 267}}}, 5000, longName, {none},
       longName + ":2400KB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scanned s;
    ScanAndAnalyse(s, c.pieces, c.tailBefore, c.name);
    const SearchMoreResult r = ClickSearchMore(s.session, s.host);
    EXPECT_TRUE(r.completed);
    EXPECT_EQ(s.host.memo(Memo::kAssembly), c.memo);
    ASSERT_FALSE(s.session.assemblyList.list.rows.empty());
    EXPECT_EQ(s.session.assemblyList.list.rows.front().memo, c.firstRowMemo);
    EXPECT_TRUE(s.session.assemblyList.Button2);
    EXPECT_EQ(s.session.analysis.targetFileName, c.name);
    EXPECT_TRUE(s.host.messageTexts().empty());
  }
}

TEST(SearchMore, EndsSilentlyWithoutAFirstPage) {
  Scanned s;
  ScanAndAnalyse(s, {{1000, {0, 100}}, {3000, {100, 60}}}, 0);
  s.session.analysis.inAssembly = {0, 1};  // the start fragment left out by hand
  RebuildAssemblyList(s.session.fragmentTable, s.session.analysis.inAssembly,
                      s.session.assemblyList);
  EXPECT_FALSE(ClickSearchMore(s.session, s.host).completed);
  EXPECT_FALSE(s.session.assemblyList.Button2 || s.session.assemblyList.Button6);
  EXPECT_TRUE(s.host.memo(Memo::kAssembly).empty());
}

TEST(SearchMore, TakesOverWhatTheAnalysisTestsLearnedOfThePages) {
  Scanned s;
  ScanAndAnalyse(s, {{1000, {0, 100}}, {3000, {100, 60}}, {5000, {163, 4}}, {7000, {167, 2}},
                     {9000, {169, 131}}},
                 0);
  // The analysis tested 169..299 to its end and chained it; SEARCH MORE never tests it.
  ASSERT_NE(s.session.analysis.headerFacts, nullptr);
  ASSERT_NE(s.session.analysis.headerFacts->Known(9000, 169), nullptr);
  EXPECT_EQ(s.session.analysis.headerFacts->Known(9000, 169)->facts.size(), 131u);
  EXPECT_TRUE(ClickSearchMore(s.session, s.host).completed);
  ASSERT_NE(s.session.analysis.headerFacts, nullptr);
  EXPECT_NE(s.session.analysis.headerFacts->Known(9000, 169), nullptr);  // kept, and handed back
  EXPECT_NE(s.session.analysis.headerFacts->Known(5000, 163), nullptr);  // with what it tested
}

}  // namespace
}  // namespace pagerake
