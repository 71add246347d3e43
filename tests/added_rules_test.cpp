// The rules beyond the written ones that choose fragments, on real database files: the LSN bound
// (the boot page of every corpus file bounds every page of its own file; the bound turns a newer
// database's piece away where the written rules chain it), the older-copy option, page 0 taken
// without its PFS page, and the places the PFS page says were never allocated.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/file_analysis.h"
#include "analysis/lsn_bound.h"
#include "app/analysis_commands.h"
#include "app/recovery.h"
#include "app/scan_command.h"
#include "app/session.h"
#include "app/source_choice.h"
#include "page/byte_order.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

std::vector<uint8_t> Corpus(const std::string& name) {
  return testing::ReadWholeFile((testing::CorpusDir() / name).string());
}

// Every page of its own file (header version 1 at its own page number) keeps within the bound.
TEST(LsnBound, HoldsForEveryPageOfEveryCorpusFile) {
  PAGERAKE_REQUIRE_CORPUS();
  int files = 0;
  for (const std::filesystem::path& path : testing::AllCorpusFiles()) {
    SCOPED_TRACE(path.string());
    const std::vector<uint8_t> file = testing::ReadWholeFile(path.string());
    ASSERT_GT(file.size(), size_t{10} * kPageSize);
    const std::optional<PageLsn> bound = LsnBoundOfBootPage(file.data() + kBootPage * kPageSize);
    ASSERT_TRUE(bound.has_value());
    for (size_t p = 0; p < file.size() / kPageSize; ++p) {
      const uint8_t* page = file.data() + p * kPageSize;
      if (page[0] != 1 || LoadLe32(page + header_offset::kPageId) != p) continue;
      EXPECT_LE(ReadPageLsn(page), *bound) << "page " << p;
    }
    ++files;
  }
  EXPECT_GE(files, 19);
}

// The target starts with pages 0 to split - 1 (its boot page among them); `other` has a piece of
// the pages from split on next to it (at sector 2000), the target's own piece of those pages lies
// far away (9000), and the rest of the target further on (12000).
struct Neighbour {
  testing::TempDir dir;
  int32_t pages = 0;
  DataSource source;
  FragmentTable table;
  PageOrderIndex order;

  Neighbour(const char* targetName, const char* otherName, int32_t split) {
    const std::vector<uint8_t> target = Corpus(targetName);
    pages = static_cast<int32_t>(target.size() / kPageSize);
    testing::DiskImage image(20000, 4);
    image.PutFilePages(1000, target, 0, split);
    image.PutFilePages(2000, Corpus(otherName), split, split);
    image.PutFilePages(9000, target, split, split);
    image.PutFilePages(12000, target, 2 * split, pages - 2 * split);
    EXPECT_TRUE(image.Write(disk()));
    source = testing::WholeDiskImageSource(disk());
    table.Append(MakeFragmentRecord(1, 1000, split, 0, "F:\\Database1.mdf", 1));
    table.Append(MakeFragmentRecord(2, 2000, split, split, " ", 1));  // the other file's
    table.Append(MakeFragmentRecord(3, 9000, split, split, " ", 1));
    table.Append(MakeFragmentRecord(4, 12000, pages - 2 * split, 2 * split, " ", 1));
    order = BuildPageOrderIndex(table);
  }
  std::string disk() const { return dir.File("disk.img"); }

  AnalysisResults Analyse(RecoveryRules rules, std::vector<std::string>& memo) {
    PageAccess access;
    testing::ScriptedHost host;
    PageMapReader reader{access, source, 16, host};
    AnalysisInput in{table, order, reader, 1000, table[0].sizeKB, true, {}};
    in.rules = rules;
    AnalysisResults results;
    EXPECT_EQ(AnalyseFile(in, results), AnalysisEnd::kFinished);
    memo = host.memo(Memo::kAnalysis);
    return results;
  }
};

bool Told(const std::vector<std::string>& memo, const std::string& line) {
  return std::find(memo.begin(), memo.end(), line) != memo.end();
}

// r14, a newer database made from the same model as r11, beside r11's pages 48-95: the written
// rules chain r14's nearer piece, the bound turns it away.
TEST(LsnBound, TurnsAwayANewerDatabasesPieceTheWrittenRulesChain) {
  PAGERAKE_REQUIRE_CORPUS();
  Neighbour n("r11.mdf", "r14.mdf", 48);
  struct Case {
    const char* what;
    RecoveryRules rules;
    std::vector<int32_t> inAssembly;
    int32_t turnedAway;
  };
  const Case cases[] = {
      {"written rules: the nearer piece", RecoveryRules::Classic(), {1, 1, 0, 1}, 0},
      {"with the bound: the file's own", RecoveryRules{}, {1, 0, 1, 1}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> memo;
    const AnalysisResults results = n.Analyse(c.rules, memo);
    EXPECT_EQ(results.inAssembly, c.inAssembly);
    EXPECT_EQ(results.newerThanBound.count, c.turnedAway);
    EXPECT_EQ(Told(memo, "LSN新于引导页上限,排除碎片数量1"), c.turnedAway > 0);
  }
}

// An older copy (s01-a) of the file (s01-c) with a nearer piece of pages 40-79, which holds
// changed pages: the bound lets it in (it is older); the older-copy option takes the newer piece.
TEST(LsnBound, TheOlderCopyOptionTakesTheNewerOfTwoCopies) {
  PAGERAKE_REQUIRE_CORPUS();
  Neighbour n("versions/s01-c.mdf", "versions/s01-a.mdf", 40);
  RecoveryRules withOption;
  withOption.preferNewest = true;
  const std::pair<RecoveryRules, std::vector<int32_t>> cases[] = {
      {RecoveryRules{}, {1, 1, 0, 1}}, {withOption, {1, 0, 1, 1}}};
  for (const auto& [rules, inAssembly] : cases) {
    SCOPED_TRACE(rules.preferNewest ? "older-copy option" : "default rules");
    std::vector<std::string> memo;
    EXPECT_EQ(n.Analyse(rules, memo).inAssembly, inAssembly);
    EXPECT_EQ(Told(memo, "按LSN取较新的副本,碎片数量1"), rules.preferNewest);
  }
}

// The same through pagerake-cli: the rule is on by default; --classic and --no-lsn-bound each
// switch it off. The choice by content, on its own, takes the target's piece too: r14's breaks
// the claims of the pages already chained.
TEST(LsnBound, IsOnByDefaultAndSwitchedOffByEitherFlag) {
  PAGERAKE_REQUIRE_CORPUS();
  Neighbour n("r11.mdf", "r14.mdf", 48);
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{}, 9000},
      {{"--classic"}, 2000},
      {{"--no-content-choice", "--no-lsn-bound"}, 2000},
      {{"--no-lsn-bound"}, 9000}};
  for (const auto& [flags, fsec] : cases) {
    std::vector<std::string> args = {"analyse", n.disk(), "--disk", "--db", "1", "--json"};
    args.insert(args.end(), flags.begin(), flags.end());
    SCOPED_TRACE(args.back());
    const testing::CliResult r = testing::RunCli(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const nlohmann::json doc = nlohmann::json::parse(r.out);
    ASSERT_GE(doc["fragments"].size(), 2u);
    EXPECT_EQ(doc["fragments"][1]["fsec"], fsec);
  }
}

// Where the PFS byte is 0 the page was never allocated: no corpus file holds one of its pages
// there (zeros or leftover bytes only), while every file has such places. Read through the page
// map as the analysis reads it, torn-page files included.
TEST(UnusedPages, HoldNoPageOfTheirFileInAnyCorpusFile) {
  PAGERAKE_REQUIRE_CORPUS();
  int files = 0;
  for (const std::filesystem::path& path : testing::AllCorpusFiles()) {
    SCOPED_TRACE(path.string());
    const std::vector<uint8_t> file = testing::ReadWholeFile(path.string());
    const auto pages = static_cast<int32_t>(file.size() / kPageSize);
    testing::TempDir dir;
    testing::DiskImage image(int64_t{pages} * kSectorsPerPage, 1);
    image.PutFilePages(0, file, 0, pages);
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
    PageAccess access;
    testing::ScriptedHost host;
    PageMapReader reader{access, source, 16, host};
    PageMap map;
    map.Reset(pages);
    ASSERT_TRUE(CollectPfsInfo(map, reader, 2, 0, 0));
    int unused = 0;
    for (int32_t p = 0; p < pages; ++p) {
      if (!map.At(p).neverAllocated) continue;
      ++unused;
      const uint8_t* page = file.data() + static_cast<size_t>(p) * kPageSize;
      EXPECT_FALSE(page[0] == 1 && LoadLe32(page + header_offset::kPageId) == uint32_t(p))
          << "page " << p;
    }
    EXPECT_GT(unused, 0);
    ++files;
  }
  EXPECT_GE(files, 19);
}

// Without its PFS page behind it, page 0 rests on the header test alone: at every sector of every
// corpus file it passes only at the file's page 0, and nowhere in 64 MiB of random bytes.
TEST(PageZeroAlone, TheHeaderTestPassesAtPageZeroOnly) {
  PAGERAKE_REQUIRE_CORPUS();
  int files = 0;
  for (const std::filesystem::path& path : testing::AllCorpusFiles()) {
    const std::vector<uint8_t> file = testing::ReadWholeFile(path.string());
    std::vector<size_t> passes;
    for (size_t at = 0; at + kPageHeaderSize <= file.size(); at += kSectorSize) {
      int16_t fileId = 1;
      if (IsFileHeaderPage(file.data() + at, fileId)) passes.push_back(at);
    }
    EXPECT_EQ(passes, std::vector<size_t>{0}) << path;
    ++files;
  }
  EXPECT_GE(files, 19);
  std::mt19937_64 random(42);
  std::vector<uint8_t> bytes(size_t{64} << 20);
  for (size_t i = 0; i < bytes.size(); i += 8) {
    const uint64_t v = random();
    std::memcpy(bytes.data() + i, &v, 8);
  }
  int falseStarts = 0;
  for (size_t at = 0; at + kPageHeaderSize <= bytes.size(); at += kSectorSize) {
    int16_t fileId = 1;
    bytes[at] = 1;  // header version 1, as the scan asks before any header test
    falseStarts += IsFileHeaderPage(bytes.data() + at, fileId);
  }
  EXPECT_EQ(falseStarts, 0);
}

// r11's page 0 ends an extent: its PFS page and the rest of the file lie elsewhere. The written
// rules list no database; with the added rules page 0 starts a fragment of its own, SEARCH MORE
// takes the rest, and the file comes back whole.
TEST(PageZeroAlone, ListsTheFileAndRecoversIt) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::vector<uint8_t> file = Corpus("r11.mdf");
  const auto pages = static_cast<int32_t>(file.size() / kPageSize);
  testing::TempDir dir;
  testing::DiskImage image(16000, 5);
  image.PutFilePages(1008, file, 0, 1);
  image.PutFilePages(4000, file, 1, pages - 1);
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  for (const bool added : {false, true}) {
    SCOPED_TRACE(added ? "with the added rules" : "written rules alone");
    testing::ScriptedHost host;
    Session session;
    session.rules = added ? RecoveryRules{} : RecoveryRules::Classic();
    ASSERT_TRUE(OpenImageSource(session, host, dir.File("disk.img"), SourceLayout::kWholeDisk));
    ASSERT_TRUE(StartScan(session, host));
    session.jobs.JoinAll();
    ChangeTab(session, host, 2);
    ASSERT_EQ(session.databaseFiles.rows.size(), added ? 1u : 0u);
    if (!added) continue;
    EXPECT_EQ(session.databaseFiles.rows[0].fsec, 1008);
    const RecoveryReport r = RecoverDatabase(session, host, 0, dir.File("out.mdf"));
    ASSERT_TRUE(r.written);
    EXPECT_TRUE(testing::ReadWholeFile(dir.File("out.mdf")) == file);
  }
}

}  // namespace
}  // namespace pagerake
