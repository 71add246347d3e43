// The LSN bound on real database files: the boot page of every corpus file bounds every page of
// its own file, and the bound turns a newer database's piece away where the written rules chain it.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/file_analysis.h"
#include "analysis/lsn_bound.h"
#include "page/byte_order.h"
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
  for (const auto& entry : std::filesystem::recursive_directory_iterator(testing::CorpusDir())) {
    if (entry.path().extension() != ".mdf") continue;
    SCOPED_TRACE(entry.path().string());
    const std::vector<uint8_t> file = testing::ReadWholeFile(entry.path().string());
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

// r11 starts with pages 0-47 (its boot page among them); r14, a newer database made from the same
// model, has a piece of pages 48-95 next to it, r11's own piece of those pages lies far away.
struct NewerNeighbour {
  testing::TempDir dir;
  int32_t pages = 0;
  DataSource source;
  FragmentTable table;
  PageOrderIndex order;

  NewerNeighbour() {
    const std::vector<uint8_t> target = Corpus("r11.mdf");
    pages = static_cast<int32_t>(target.size() / kPageSize);
    testing::DiskImage image(20000, 4);
    image.PutFilePages(1000, target, 0, 48);
    image.PutFilePages(2000, Corpus("r14.mdf"), 48, 48);
    image.PutFilePages(9000, target, 48, 48);
    image.PutFilePages(12000, target, 96, pages - 96);
    EXPECT_TRUE(image.Write(disk()));
    source = testing::WholeDiskImageSource(disk());
    table.Append(MakeFragmentRecord(1, 1000, 48, 0, "F:\\Database1.mdf", 1));
    table.Append(MakeFragmentRecord(2, 2000, 48, 48, " ", 1));  // r14's
    table.Append(MakeFragmentRecord(3, 9000, 48, 48, " ", 1));
    table.Append(MakeFragmentRecord(4, 12000, pages - 96, 96, " ", 1));
    order = BuildPageOrderIndex(table);
  }
  std::string disk() const { return dir.File("disk.img"); }
};

TEST(LsnBound, TurnsAwayANewerDatabasesPieceTheWrittenRulesChain) {
  PAGERAKE_REQUIRE_CORPUS();
  NewerNeighbour n;
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
    PageAccess access;
    testing::ScriptedHost host;
    PageMapReader reader{access, n.source, 16, host};
    AnalysisInput in{n.table, n.order, reader, 1000, 48 * 8, true, {}};
    in.rules = c.rules;
    AnalysisResults results;
    EXPECT_EQ(AnalyseFile(in, results), AnalysisEnd::kFinished);
    EXPECT_EQ(results.inAssembly, c.inAssembly);
    EXPECT_EQ(results.newerThanBound.count, c.turnedAway);
    const std::vector<std::string> memo = host.memo(Memo::kAnalysis);
    const std::string line = "LSN新于引导页上限,排除碎片数量1";
    const bool told = std::find(memo.begin(), memo.end(), line) != memo.end();
    EXPECT_EQ(told, c.turnedAway > 0);
  }
}

// The same through pagerake-cli: the rule is on by default; --classic and --no-lsn-bound each
// switch it off.
TEST(LsnBound, IsOnByDefaultAndSwitchedOffByEitherFlag) {
  PAGERAKE_REQUIRE_CORPUS();
  NewerNeighbour n;
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{}, 9000}, {{"--classic"}, 2000}, {{"--no-lsn-bound"}, 2000}};
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

}  // namespace
}  // namespace pagerake
