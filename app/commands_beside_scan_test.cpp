// The window's commands while a scan job runs on its own thread, appending to the fragment table:
// those that change the table are refused until the job has ended (STOP alone does not end it),
// those that read it work on a consistent copy. Run under ThreadSanitizer too (scripts/test), where
// an unguarded read of the table the scan appends to is reported.
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>

#include <gtest/gtest.h>

#include "app/analysis_commands.h"
#include "app/assembly_commands.h"
#include "app/fragment_commands.h"
#include "app/scan_command.h"
#include "app/source_choice.h"
#include "fragments/list_tools.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::ScriptedHost;

constexpr int kRuns = 300;
constexpr int64_t kRunSpacing = 48;
constexpr int64_t kRunsStart = 2048;
constexpr int64_t kDiskSectors = 2 * (kRunsStart + kRuns * kRunSpacing);

// The window's Host for the scan: posted work waits for the test's "event loop" (RunPosted), and
// the scan is held once its gauge reaches 75 % (behind every fragment) until the test lets it go,
// so that the job is still running whatever the speed of either thread.
class HeldScanHost : public ScriptedHost {
 public:
  explicit HeldScanHost(const Session& session) : session_(session) { queuePosts = true; }

  void Post(std::function<void()> task) override {
    ScriptedHost::Post(std::move(task));
    std::lock_guard<std::mutex> lock(mu_);
    cv_.notify_all();
  }
  void SetGauge(int percent) override {
    ScriptedHost::SetGauge(percent);
    if (percent < 75) return;
    std::unique_lock<std::mutex> lock(mu_);
    cv_.notify_all();
    cv_.wait(lock, [this] { return released_; });
  }
  // Waits until the scan has recorded `n` fragments.
  void WaitForFragments(int64_t n) {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [&] { return session_.scanProgress.fragments.load() >= n; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mu_);
    released_ = true;
    cv_.notify_all();
  }

 private:
  const Session& session_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool released_ = false;
};

class CommandsBesideScan : public ::testing::Test {
 protected:
  // A database file's first 64 pages at sector 0, then kRuns one-page fragments, then random
  // bytes; the scan (step 1, a whole disk) is started and has recorded two fragments.
  void StartHeldScan() {
    testing::MdfOptions file;
    file.pages = 64;
    testing::DiskImage image(kDiskSectors, 3);
    image.PutFilePages(0, testing::BuildMdf(file), 0, 64);
    for (int k = 0; k < kRuns; ++k) image.PutDataRun(kRunsStart + k * kRunSpacing, 10, 1);
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    ASSERT_TRUE(OpenImageSource(session, host, dir.File("disk.img"), SourceLayout::kWholeDisk));
    ASSERT_TRUE(StartScan(session, host));
    host.WaitForFragments(2);
  }

  // Each command that changes the table says "尚未扫描结束" and changes nothing.
  void ExpectTableChangesRefused() {
    const std::function<void(Host&)> commands[] = {
        [this](Host& h) { ClickOpen(session, h); },
        [this](Host& h) { ClickFilter(session, h); },
        [this](Host& h) { AddCheckedToAssemblyCommand(session, h); },
        [this](Host& h) { (void)ClickAnalyse(session, h); },
    };
    session.fragmentFilter.mode = FilterMode::kShowAll;
    for (const auto& command : commands) {
      ScriptedHost h;
      h.openAnswers = {dir.File("none.info")};
      command(h);
      EXPECT_EQ(h.messageTexts(), std::vector<std::string>{"尚未扫描结束"});
      EXPECT_TRUE(h.dialogRequests().empty());
    }
    EXPECT_TRUE(session.analysisControlsEnabled);
    EXPECT_EQ(session.jobKind, JobKind::kScan);
  }

  // A test that failed half-way still ends the scan before the host goes.
  void TearDown() override {
    StopScan(session);
    host.Release();
    session.jobs.JoinAll();
  }

  testing::TempDir dir;
  Session session;
  HeldScanHost host{session};
};

TEST_F(CommandsBesideScan, CommandsThatChangeTheTableAreRefusedUntilTheJobHasEnded) {
  StartHeldScan();
  ExpectTableChangesRefused();
  // STOP asks the job to end; until its results have reached the window it still runs.
  StopScan(session);
  host.Release();
  session.jobs.JoinAll();
  ExpectTableChangesRefused();
  host.RunPosted();
  EXPECT_FALSE(session.ScanJobRunning());
  ScriptedHost h;
  ClickFilter(session, h);
  EXPECT_TRUE(h.messageTexts().empty());
  EXPECT_EQ(session.fragmentList.rows.size(), session.fragmentTable.size());
}

TEST_F(CommandsBesideScan, CommandsThatReadTheTableWorkOnWhatWasFoundSoFar) {
  StartHeldScan();
  // SAVE: the lines found so far and their pages; the gauge stays the scan's.
  ScriptedHost saving;
  saving.saveAnswers = {dir.File("scan.info"), dir.File("scan.content")};
  saving.messageAnswers = {MessageResult::kYes};
  ClickSave(session, saving);
  EXPECT_EQ(saving.messageTexts().back(), "success");
  EXPECT_TRUE(saving.gaugeValues().empty());
  EXPECT_GE(std::filesystem::file_size(dir.File("scan.content")), 64u * 8192);
  // The third tab lists the database file.
  ChangeTab(session, host, 2);
  ASSERT_EQ(session.databaseFiles.rows.size(), 1u);
  // The rows posted so far reach the list; statistics and extraction work on them.
  host.RunPosted();
  ASSERT_TRUE(session.ScanJobRunning());
  ASSERT_GE(session.fragmentList.rows.size(), 2u);
  session.fragmentList.rows[0].checked = true;
  ScriptedHost h;
  ShowCheckedStatistics(session.fragmentList, h);
  h.messageAnswers = {MessageResult::kYes, MessageResult::kYes};  // one file, order checked
  h.saveAnswers = {dir.File("first.mdf")};
  ExtractCheckedCommand(session, h);
  EXPECT_EQ(h.messageTexts().front(), "统计结果:碎片数量为1总大小为:512KB");
  EXPECT_EQ(h.messageTexts().back(), "保存完毕");
  EXPECT_EQ(std::filesystem::file_size(dir.File("first.mdf")), 64u * 8192);
  StopScan(session);
  host.Release();
  session.jobs.JoinAll();
  host.RunPosted();
  EXPECT_EQ(session.lastScan.end, ScanEnd::kStopped);
}

}  // namespace
}  // namespace pagerake
