// The analysis tab's commands on a scanned Session: automatic analysis as a job, manual analysis
// asking through the Host (the row clicked last kept across its questions), a cancel, and two
// analyses in a row, each starting clean.
#include "app/analysis_commands.h"

#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "app/scan_command.h"
#include "app/source_choice.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::ScriptedHost;

// A 300-page file: pages 0..99 at sector 1000; behind them two pieces that both fit, A (100..149,
// near) and B (100..199, far); behind B two more, C (200..249) and D (200..299); a decoy
// database's pages 100..149 nearest of all. Table lines in disk order: start, decoy, A, B, C, D.
void ScanSplitFile(const testing::TempDir& dir, Session& session, Host& host) {
  testing::MdfOptions file;
  file.pages = 300;
  testing::MdfOptions decoy = file;
  decoy.firstObjectId = 1000;
  const auto f = testing::BuildMdf(file);
  testing::DiskImage image(28000, 5);
  image.PutFilePages(1000, f, 0, 100);
  image.PutFilePages(3000, testing::BuildMdf(decoy), 100, 50);
  image.PutFilePages(6000, f, 100, 50);
  image.PutFilePages(12000, f, 100, 100);
  image.PutFilePages(20000, f, 200, 50);
  image.PutFilePages(26000, f, 200, 100);
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  ASSERT_TRUE(OpenImageSource(session, host, dir.File("disk.img"), SourceLayout::kWholeDisk));
  ASSERT_TRUE(StartScan(session, host));
  session.jobs.JoinAll();
  ASSERT_EQ(session.fragmentTable.size(), 6u);
}

TEST(AnalysisCommands, AnalysesInEitherModeAndHandsOverTheResults) {
  testing::TempDir dir;
  ScriptedHost host;
  Session session;
  ScanSplitFile(dir, session, host);

  // Not while a scan job runs.
  session.scanJobs = 1;
  EXPECT_FALSE(ClickAnalyse(session, host));
  EXPECT_EQ(host.messageTexts(), std::vector<std::string>{"尚未扫描结束"});
  session.scanJobs = 0;

  // The tab lists the one database file with a page 0, and after it the decoy's pages, which its
  // pages turn away, as a database without one; the first row is then chosen.
  ChangeTab(session, host, 2);
  ASSERT_EQ(session.databaseFiles.rows.size(), 2u);
  EXPECT_TRUE(session.databaseFiles.rows[0].group.empty());
  EXPECT_EQ(session.databaseFiles.rows[1].fsec, 3000);
  EXPECT_EQ(session.databaseFiles.rows[1].group, std::vector<int32_t>{1});
  ClickDatabaseFile(session, 0);

  using Answer = std::function<void(SuccessorQuestion&)>;
  const std::string done = "分析已正常结束,请组合前进行二次查找";
  struct Case {
    const char* what;
    bool automatic;
    std::vector<Answer> answers;
    AnalysisEnd end;
    std::vector<int32_t> inAssembly;
    std::vector<std::string> memo;
  };
  const Case cases[] = {
      // The first question offers A and B: B clicked. The second offers C and D: OK alone takes
      // row 1 again, D.
      {"manual, the clicked row kept",
       false,
       {[](SuccessorQuestion& q) {
          q.choice.candidates[0].ticked = true;  // A saved to a file, then unticked
          q.saveTicked();
          q.choice.candidates[0].ticked = false;
          q.choice.ClickRow(1);
          q.choice.ClickOk();
        },
        [](SuccessorQuestion& q) { q.choice.ClickOk(); }},
       AnalysisEnd::kFinished,
       {1, 0, 0, 1, 0, 1},
       {"找到碎片号3", "找到碎片号5", done}},
      // Behind A, C too across the hole of B's pages 150..199: the PFS page marks C's IAM pages.
      {"automatic, the nearer and a clean start", true, {}, AnalysisEnd::kFinished,
       {1, 0, 1, 0, 1, 0}, {"找到碎片号2", "找到碎片号4", done}},
      {"manual, no answer", false, {}, AnalysisEnd::kCancelled, {1, 0, 0, 0, 0, 0}, {"用户终止"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t memoBefore = host.memo(Memo::kAnalysis).size();
    host.successorAnswers.assign(c.answers.begin(), c.answers.end());
    host.folderAnswers = {dir.path()};
    session.chkauto = c.automatic;
    // A job hands its results over through the window's event loop, which runs here.
    host.queuePosts = c.automatic;
    ASSERT_TRUE(ClickAnalyse(session, host));
    if (c.automatic) {
      EXPECT_FALSE(ClickAnalyse(session, host));  // its controls are disabled meanwhile
      // What the window does meanwhile does not reach the running analysis.
      FragmentTable replaced;
      session.fragmentTable.Swap(replaced);
      session.jobs.JoinAll();
      session.fragmentTable.Swap(replaced);
      EXPECT_FALSE(session.analysisControlsEnabled);
      host.RunPosted();
    }
    EXPECT_EQ(session.activeTab, 2);
    EXPECT_TRUE(session.analysisControlsEnabled);
    EXPECT_EQ(session.lastAnalysisEnd, c.end);
    EXPECT_EQ(session.analysis.inAssembly, c.inAssembly);
    EXPECT_EQ(session.analysis.targetFileSizePages, 300);
    const auto memo = host.memo(Memo::kAnalysis);
    EXPECT_EQ(std::vector<std::string>(memo.begin() + static_cast<long>(memoBefore), memo.end()),
              c.memo);
  }
  EXPECT_EQ(host.successorQuestions(), 3);
  EXPECT_EQ(std::filesystem::file_size(dir.File("6000.hex")), 50u * 8192);

  // An analysis that fails at its start (page 0 gone) leaves no assembly list of an earlier one.
  ASSERT_FALSE(session.assemblyList.list.rows.empty());
  std::filesystem::resize_file(dir.File("disk.img"), 500 * 512);
  session.chkauto = false;
  ASSERT_TRUE(ClickAnalyse(session, host));
  EXPECT_EQ(session.lastAnalysisEnd, AnalysisEnd::kStartFailed);
  EXPECT_TRUE(session.assemblyList.list.rows.empty());
}

}  // namespace
}  // namespace pagerake
