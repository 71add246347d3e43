// The choice by content, on disks laid out piece by piece from real files: where a piece of another
// database lies nearer than the target's own, what the pages say decides, not the distance.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "analysis/file_analysis.h"
#include "assembly/assembly_list.h"
#include "assembly/search_more.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

struct Piece {
  const char* file;
  int64_t sector;
  int32_t first;
  int32_t count;
};

// A disk holding `pieces` (the first is the target's start) and their fragment table.
struct PieceDisk {
  testing::TempDir dir;
  DataSource source;
  FragmentTable table;
  PageOrderIndex order;

  // `joined`: the number of pieces, from the second on, that lie one behind the other and make one
  // fragment (as a scan sees runs whose page numbers follow on); 0 for none.
  explicit PieceDisk(const std::vector<Piece>& pieces, size_t joined = 0) {
    testing::DiskImage image(24000, 4);
    int32_t sn = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
      const Piece& p = pieces[i];
      image.PutFilePages(p.sector, Corpus(p.file), p.first, p.count);
      if (i > 1 && i < 1 + joined) continue;
      int32_t count = p.count;
      for (size_t k = i + 1; i == 1 && k < 1 + joined; ++k) count += pieces[k].count;
      table.Append(MakeFragmentRecord(++sn, p.sector, count, p.first,
                                      p.first == 0 ? "F:\\Target.mdf" : " ", 1));
    }
    EXPECT_TRUE(image.Write(dir.File("disk.img")));
    source = testing::WholeDiskImageSource(dir.File("disk.img"));
    order = BuildPageOrderIndex(table);
  }
  static std::vector<uint8_t> Corpus(const std::string& name) {
    return testing::ReadWholeFile((testing::CorpusDir() / name).string());
  }

  // The analysis, then (with `assembly`) SEARCH MORE, whose memo goes to `memo` instead.
  AnalysisResults Analyse(const RecoveryRules& rules, std::vector<std::string>& memo,
                          AssemblyListModel* assembly = nullptr) {
    PageAccess access;
    testing::ScriptedHost host;
    PageMapReader reader{access, source, 16, host};
    AnalysisInput in{table, order, reader, table[0].fsec, table[0].sizeKB, true, {}};
    in.rules = rules;
    AnalysisResults results;
    EXPECT_EQ(AnalyseFile(in, results), AnalysisEnd::kFinished);
    memo = host.memo(Memo::kAnalysis);
    if (assembly != nullptr) {
      RebuildAssemblyList(table, results.inAssembly, *assembly);
      int32_t sortColumn = 0;
      EXPECT_TRUE(SearchMore({table, order, reader, results, *assembly, sortColumn, rules}).completed);
      memo = host.memo(Memo::kAssembly);
    }
    return results;
  }
};

bool Told(const std::vector<std::string>& memo, const std::string& line) {
  return std::find(memo.begin(), memo.end(), line) != memo.end();
}

RecoveryRules WithoutContent() {
  RecoveryRules rules;
  rules.contentChoice = false;
  return rules;
}

// r02 is r01's model grown apart: its page 299 is an IAM page of another unit, whose single page
// (94) r01 holds under a third unit. Its piece of pages 290-299 lies nearer than r01's own.
TEST(ContentChoice, TheFilesStructuresRefuteTheNearerPieceOfAnotherDatabase) {
  PAGERAKE_REQUIRE_CORPUS();
  PieceDisk d({{"r01.mdf", 1000, 0, 290}, {"r02.mdf", 6000, 290, 10}, {"r01.mdf", 9000, 290, 10},
               {"r01.mdf", 12000, 300, 132}});
  std::vector<std::string> memo;
  const AnalysisResults by = d.Analyse(RecoveryRules{}, memo);
  EXPECT_EQ(by.inAssembly, (std::vector<int32_t>{1, 0, 1, 1}));
  EXPECT_TRUE(Told(memo, "按页面内容选择碎片,次数1"));
  ASSERT_EQ(by.chosenAmongOthers.size(), 1u);
  const PageSpan& span = by.chosenAmongOthers[0];
  EXPECT_EQ(span.decision, ContentDecision::kStructures);
  EXPECT_EQ(span.rivalTally.refuting, 1);
  EXPECT_EQ(span.taken.refuting, 0);
  EXPECT_TRUE(span.Settled());
  // Without the rule the nearer piece is taken, and the map it teaches turns r01's tail away.
  const AnalysisResults byDistance = d.Analyse(WithoutContent(), memo);
  EXPECT_EQ(byDistance.inAssembly[1], 1);
  EXPECT_EQ(byDistance.inAssembly[2], 0);
  EXPECT_FALSE(Told(memo, "按页面内容选择碎片,次数1"));
}

// r02's piece begins at page 265 (its pages up to 289 are r01's too) and runs on to 299; r01's
// own piece of 290-299 begins inside it. The content ends r02's piece at 290: its tail is not
// taken along.
TEST(ContentChoice, APieceOfAnotherDatabaseDoesNotBringItsTailAlong) {
  PAGERAKE_REQUIRE_CORPUS();
  PieceDisk d({{"r01.mdf", 1000, 0, 265}, {"r02.mdf", 6000, 265, 35}, {"r01.mdf", 9000, 290, 10},
               {"r01.mdf", 12000, 300, 132}});
  std::vector<std::string> memo;
  const AnalysisResults by = d.Analyse(RecoveryRules{}, memo);
  EXPECT_EQ(by.inAssembly, (std::vector<int32_t>{1, 1, 1, 1}));
  EXPECT_EQ(by.cutShort, (std::vector<std::pair<int32_t, int32_t>>{{1, 290}}));
  EXPECT_EQ(by.ChainedEnd(1, 300), 290);
  // The overlap is noted with the pages coming from r01's piece and r02's as their rival.
  const auto overlap = std::find_if(by.chosenAmongOthers.begin(), by.chosenAmongOthers.end(),
                                    [](const PageSpan& s) { return s.begin == 290; });
  ASSERT_NE(overlap, by.chosenAmongOthers.end());
  EXPECT_EQ(overlap->rival, 1);
  EXPECT_TRUE(overlap->Settled());
  const AnalysisResults byDistance = d.Analyse(WithoutContent(), memo);
  EXPECT_TRUE(byDistance.cutShort.empty());
  EXPECT_EQ(byDistance.inAssembly[2], 0);
}

// s01-a is an older state of s01-c: the pages that changed between them carry newer LSNs in
// s01-c. Once s01-a's boot page lies on the disk too (its bound, a checkpoint between the two
// copies of each changed page), the later state wins; without it the LSN gives no order.
TEST(ContentChoice, TheLaterStateWinsOnlyWhereACheckpointLiesBetweenTheCopies) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::vector<Piece> pieces = {{"versions/s01-c.mdf", 1000, 0, 40},
                                     {"versions/s01-a.mdf", 2000, 40, 40},
                                     {"versions/s01-c.mdf", 9000, 40, 40},
                                     {"versions/s01-c.mdf", 12000, 80, 200}};
  {
    PieceDisk d(pieces);
    std::vector<std::string> memo;
    EXPECT_EQ(d.Analyse(RecoveryRules{}, memo).inAssembly, (std::vector<int32_t>{1, 1, 0, 1}));
  }
  std::vector<Piece> withOlderStart = pieces;
  withOlderStart.push_back({"versions/s01-a.mdf", 18000, 0, 40});
  PieceDisk d(withOlderStart);
  std::vector<std::string> memo;
  const AnalysisResults by = d.Analyse(RecoveryRules{}, memo);
  EXPECT_EQ(by.inAssembly, (std::vector<int32_t>{1, 0, 1, 1, 0}));
  const auto choice = std::find_if(by.chosenAmongOthers.begin(), by.chosenAmongOthers.end(),
                                   [](const PageSpan& s) { return s.rival == 1; });
  ASSERT_NE(choice, by.chosenAmongOthers.end());
  EXPECT_EQ(choice->decision, ContentDecision::kLaterState);
  EXPECT_GT(choice->taken.later, 0);
  EXPECT_EQ(choice->rivalTally.later, 0);
  EXPECT_EQ(d.Analyse(WithoutContent(), memo).inAssembly, (std::vector<int32_t>{1, 1, 0, 1, 0}));
}

// A scan joins runs whose page numbers follow on: r06's pages 250-289 and, right behind them,
// r01's 290-299 make one fragment. Nothing else holds r01's 290-299; SEARCH MORE takes them from
// behind r06's pages, and names them (only their own claims vouch for them).
TEST(ContentChoice, SearchMoreTakesTheFilesPagesFromBehindAnotherDatabasesInOneFragment) {
  PAGERAKE_REQUIRE_CORPUS();
  PieceDisk d({{"r01.mdf", 1000, 0, 290}, {"r06.mdf", 6000, 250, 40}, {"r01.mdf", 6640, 290, 10},
               {"r01.mdf", 12000, 300, 132}},
              2);
  ASSERT_EQ(d.table.size(), 3u);
  std::vector<std::string> memo;
  AssemblyListModel assembly;
  const AnalysisResults by = d.Analyse(RecoveryRules{}, memo, &assembly);
  EXPECT_TRUE(Told(memo, "找到碎片号1的页面290-299"));
  EXPECT_EQ(by.cutFront, (std::vector<std::pair<int32_t, int32_t>>{{1, 290}}));
  const auto row = std::find_if(assembly.list.rows.begin(), assembly.list.rows.end(),
                                [](const FragmentRow& r) { return r.beginPage == 290; });
  ASSERT_NE(row, assembly.list.rows.end());
  EXPECT_EQ(row->fsec, 6640);
  EXPECT_EQ(row->endPage, 300);
  ASSERT_FALSE(by.chosenAmongOthers.empty());
  EXPECT_EQ(by.chosenAmongOthers.back().rival, kRivalTailRun);
  AssemblyListModel without;
  EXPECT_TRUE(d.Analyse(WithoutContent(), memo, &without).cutFront.empty());
}

// With the older-copy option, the newer copy by LSN takes r14's boot page where the content cannot
// tell the two apart. The bound of a boot page taken as the newest must not then make r14's
// later pages the later state of the file (they would be taken unnamed).
TEST(ContentChoice, ABootPageTakenAsTheNewerCopySetsNoBound) {
  PAGERAKE_REQUIRE_CORPUS();
  PieceDisk d({{"r11.mdf", 1000, 0, 9}, {"r14.mdf", 2000, 9, 31}, {"r11.mdf", 6000, 9, 31},
               {"r14.mdf", 9000, 40, 40}, {"r11.mdf", 12000, 40, 40}, {"r11.mdf", 15000, 80, 312}});
  RecoveryRules rules;
  rules.preferNewest = true;
  std::vector<std::string> memo;
  const AnalysisResults by = d.Analyse(rules, memo);
  ASSERT_FALSE(by.chosenAmongOthers.empty());
  EXPECT_FALSE(by.lsnBound.has_value());
  for (const PageSpan& s : by.chosenAmongOthers) {
    EXPECT_NE(s.decision, ContentDecision::kLaterState) << s.begin << "-" << s.end;
  }
}

}  // namespace
}  // namespace pagerake
