#include "app/scan_command.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "app/analysis_commands.h"
#include "app/source_choice.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"
#include "tests/support/volume_builder.h"

namespace pagerake {
namespace {

using testing::DiskImage;
using testing::ScriptedHost;

// A Host that holds the first scan at its "开始扫描" memo line until the test lets it go.
class GatedHost : public ScriptedHost {
 public:
  void AddMemoLine(Memo memo, const std::string& line) override {
    ScriptedHost::AddMemoLine(memo, line);
    if (line.rfind("开始扫描", 0) != 0) return;
    std::unique_lock<std::mutex> lock(mu_);
    ++starts_;
    cv_.notify_all();
    cv_.wait(lock, [this] { return open_; });
  }
  void WaitForStarts(int n) {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [&] { return starts_ >= n; });
  }
  int starts() {
    std::lock_guard<std::mutex> lock(mu_);
    return starts_;
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mu_);
    open_ = true;
    cv_.notify_all();
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  int starts_ = 0;
  bool open_ = false;
};

// A Host that clicks STOP once the fragment list shows `rows` rows. Posts run at once, on the job
// thread, so the scan sees the stop at its next position.
class StoppingHost : public ScriptedHost {
 public:
  StoppingHost(Session& session, size_t rows) : session_(session), rows_(rows) {}
  void Post(std::function<void()> task) override {
    ScriptedHost::Post(std::move(task));
    if (session_.fragmentList.rows.size() >= rows_) StopScan(session_);
  }

 private:
  Session& session_;
  size_t rows_;
};

class ScanCommandTest : public ::testing::Test {
 protected:
  // An image with a run of pages, chosen as a whole disk.
  void ChooseImage(Session& s, Host& h, int64_t sectors = 8192) {
    DiskImage image(sectors);
    image.PutDataRun(1024, 10, 4);
    image.PutDataRun(4096, 500, 2, 2);
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    ASSERT_TRUE(OpenImageSource(s, h, dir.File("disk.img"), SourceLayout::kWholeDisk));
  }

  testing::TempDir dir;
  ScriptedHost host;
};

TEST_F(ScanCommandTest, StartWithoutASourceWarnsAndFocusesTheSourceField) {
  Session session;
  EXPECT_FALSE(StartScan(session, host));
  ASSERT_EQ(host.messages().size(), 1u);
  const testing::RecordedMessage m = host.messages()[0];
  EXPECT_EQ(m.text, "请选择数据源！");
  EXPECT_EQ(m.caption, "提示");
  EXPECT_EQ(m.icon, MessageIcon::kWarning);
  EXPECT_EQ(session.focusedControl, "edtDataStr");
  EXPECT_TRUE(session.scanStopped);
  EXPECT_TRUE(session.scanButtonEnabled);
  EXPECT_TRUE(session.jobs.Idle());
}

TEST_F(ScanCommandTest, StopWithNoScanRunningOnlySetsTheFlag) {
  Session session;
  StopScan(session);
  EXPECT_TRUE(session.scanStopped);
  EXPECT_TRUE(host.messages().empty());
  EXPECT_TRUE(host.statusTexts().empty());
  EXPECT_TRUE(session.jobs.Idle());
}

TEST_F(ScanCommandTest, WrongOptionFieldIsNamedAndNothingStarts) {
  struct Case {
    ScanFields fields;
    std::string message;
  };
  auto with = [](auto change) {
    ScanFields f;
    f.edtbegin = "0";
    f.edtend = "8192";
    f.edtsecs = "16";
    change(f);
    return f;
  };
  const Case cases[] = {
      {with([](ScanFields& f) { f.edtbegin = "12a"; }), "“开始扇区” 中的内容不是数字: 12a"},
      {with([](ScanFields& f) { f.edtend = ""; }), "“结束扇区” 中的内容不是数字: "},
      {with([](ScanFields& f) { f.edtsecs = "1.5"; }), "“每簇扇区数” 中的内容不是数字: 1.5"},
      {with([](ScanFields& f) { f.edtsecs = "0"; }), "“每簇扇区数” 必须大于0: 0"},
      {with([](ScanFields& f) { f.edtsecs = "-8"; }), "“每簇扇区数” 必须大于0: -8"},
      {with([](ScanFields& f) { f.edtend = "0"; }), "“结束扇区” 必须大于“开始扇区”: 0"},
      {with([](ScanFields& f) { f.edtbegin = "-1"; }), "“开始扇区” 不能小于0: -1"},
      {with([](ScanFields& f) {
         f.CheckBox1 = true;
         f.edtmaxpageid = "x";
       }),
       "“开始页面号小于” 中的内容不是数字: x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Session session;
    ScriptedHost h;
    ChooseImage(session, h);
    session.fields = c.fields;
    EXPECT_FALSE(StartScan(session, h));
    ASSERT_EQ(h.messageTexts(), (std::vector<std::string>{c.message}));
    EXPECT_EQ(h.messages()[0].caption, "提示");
    EXPECT_TRUE(session.scanStopped);
    EXPECT_TRUE(session.scanButtonEnabled);
    EXPECT_TRUE(session.jobs.Idle());
  }
  // A filter number is only read when the filter is ticked.
  ScanFields unticked = with([](ScanFields& f) { f.edtmaxpageid = "x"; });
  EXPECT_TRUE(ParseScanFields(unticked).options.has_value());
}

TEST_F(ScanCommandTest, ScanFillsTheTableListAndIndexAndLeavesTheButtonDisabled) {
  Session session;
  ChooseImage(session, host);
  EXPECT_EQ(session.fields.edtend, "8192");
  EXPECT_FALSE(session.fields.chkfreespaceEnabled);
  session.activeTab = 2;
  session.fields.Edit2 = "7";
  ASSERT_TRUE(ClickScanButton(session, host));
  EXPECT_EQ(session.activeTab, 0);
  EXPECT_FALSE(session.scanButtonEnabled);
  EXPECT_EQ(session.jobKind, JobKind::kScan);
  session.jobs.JoinAll();

  EXPECT_TRUE(session.scanStopped);
  EXPECT_FALSE(session.fields.enabled);
  EXPECT_FALSE(session.scanButtonEnabled);
  ASSERT_EQ(session.fragmentTable.size(), 2u);
  EXPECT_EQ(session.fragmentTable.Line(0), "1|1024|1088|32|10|14| |Y|1|");
  ASSERT_EQ(session.fragmentList.rows.size(), 2u);
  EXPECT_EQ(session.fragmentList.rows[1].number, 2);
  EXPECT_EQ(session.fragmentList.rows[1].beginPage, 500);
  ASSERT_EQ(session.pageOrderIndex.size(), 2u);
  EXPECT_EQ(session.currentFileId, 2);  // the file id of the last run followed
  EXPECT_EQ(session.dataSource.sectorsPerCluster, 1);
  EXPECT_TRUE(session.lastScan.ran);
  EXPECT_EQ(session.lastScan.end, ScanEnd::kFinished);
  EXPECT_EQ(session.lastScan.scannedSectors, 8192);

  // The menu item still starts a scan; it keeps what the first one left and finds nothing new
  // there (the same fragments are not recorded twice).
  ASSERT_TRUE(StartScan(session, host));
  session.jobs.JoinAll();
  EXPECT_EQ(session.lastScan.end, ScanEnd::kFinished);
  EXPECT_EQ(session.fragmentTable.size(), 2u);
  EXPECT_EQ(session.fragmentList.rows.size(), 2u);
}

// STOP once two of a file's three pieces are listed: they are indexed and chained, the begin field
// is where the walk goes on, the menu's scan continues from there and finds the third, and a scan
// of the whole disk again records none of the three a second time.
TEST_F(ScanCommandTest, StoppedScanIsIndexedAnalysedAndContinuedWithoutRepeats) {
  testing::MdfOptions file;
  file.pages = 400;
  const std::vector<uint8_t> pages = testing::BuildMdf(file);
  DiskImage image(65536, 9);
  image.PutFilePages(1024, pages, 0, 100);
  image.PutFilePages(6144, pages, 100, 200);
  image.PutFilePages(40960, pages, 300, 100);
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  Session session;
  StoppingHost stopping(session, 2);
  ASSERT_TRUE(OpenImageSource(session, host, dir.File("disk.img"), SourceLayout::kWholeDisk));
  session.fields.edtsecs = "16";
  ASSERT_TRUE(StartScan(session, stopping));
  session.jobs.JoinAll();
  ASSERT_EQ(session.lastScan.end, ScanEnd::kStopped);
  ASSERT_EQ(session.fragmentTable.size(), 2u);
  EXPECT_EQ(session.pageOrderIndex.size(), 2u);
  EXPECT_EQ(session.fields.edtbegin, "9344");  // behind the second piece (6144 + 200 × 16)
  EXPECT_EQ(stopping.memo(Memo::kSource).back(), StoppedAtLine(9344));

  ChangeTab(session, host, 2);
  ClickDatabaseFile(session, 0);
  ASSERT_TRUE(ClickAnalyse(session, host));
  session.jobs.JoinAll();
  EXPECT_EQ(session.lastAnalysisEnd, AnalysisEnd::kFinished);
  EXPECT_EQ(session.analysis.inAssembly, (std::vector<int32_t>{1, 1}));
  EXPECT_EQ(session.assemblyList.list.rows.size(), 2u);

  for (const char* begin : {"9344", "0"}) {
    SCOPED_TRACE(begin);
    session.fields.edtbegin = begin;
    ASSERT_TRUE(StartScan(session, host));
    session.jobs.JoinAll();
    EXPECT_EQ(session.lastScan.end, ScanEnd::kFinished);
    EXPECT_EQ(session.fragmentTable.size(), 3u);
    EXPECT_EQ(session.fragmentList.rows.size(), 3u);
    EXPECT_EQ(session.pageOrderIndex.size(), 3u);
  }
  EXPECT_EQ(session.fragmentTable[2].fsec, 40960);
}

TEST_F(ScanCommandTest, ScanWhoseStartFailsLeavesScanStopped) {
  Session session;
  ChooseImage(session, host);
  session.fields.edtbegin = "9000";
  session.fields.edtend = "20000";
  ASSERT_TRUE(StartScan(session, host));
  session.jobs.JoinAll();
  EXPECT_TRUE(session.scanStopped);
  EXPECT_EQ(session.lastScan.end, ScanEnd::kFirstReadFailed);
  EXPECT_TRUE(session.fragmentTable.empty());
  EXPECT_TRUE(session.pageOrderIndex.empty());
}

TEST_F(ScanCommandTest, SecondScanWaitsForTheFirstAndThenStopsAtOnce) {
  GatedHost gated;
  Session session;
  ChooseImage(session, gated);
  ASSERT_TRUE(StartScan(session, gated));
  gated.WaitForStarts(1);
  ASSERT_TRUE(StartScan(session, gated));  // from the menu while the first runs
  EXPECT_FALSE(session.jobs.WaitIdle(std::chrono::milliseconds(100)));
  EXPECT_EQ(gated.starts(), 1);  // the second waits for the slot
  gated.Open();
  session.jobs.JoinAll();
  // The first finished and left ScanStopped set, so the second stopped at its first position.
  EXPECT_EQ(gated.statusTexts(),
            (std::vector<std::string>{"开始扫描", "完成", "开始扫描", "已停止扫描"}));
  EXPECT_EQ(session.fragmentTable.size(), 2u);
  EXPECT_EQ(session.lastScan.end, ScanEnd::kStopped);
  EXPECT_TRUE(session.scanStopped);
}

// The UI thread reads the progress and the stop flag while the job writes them, then stops it.
TEST_F(ScanCommandTest, UiThreadWatchesAndStopsARunningScan) {
  Session session;
  ChooseImage(session, host, 262144);
  session.fields.edtsecs = "1";
  ASSERT_TRUE(StartScan(session, host));
  while (session.scanProgress.cursor.load() < 4096 && !session.scanStopped.load()) {
    std::this_thread::yield();
  }
  StopScan(session);
  session.jobs.JoinAll();
  EXPECT_TRUE(session.scanStopped);
  EXPECT_TRUE(session.lastScan.end == ScanEnd::kStopped || session.lastScan.end == ScanEnd::kFinished);
  EXPECT_EQ(session.fragmentList.rows.size(), session.fragmentTable.size());
}

TEST_F(ScanCommandTest, ClosingTheSessionStopsARunningScanAndWaitsForIt) {
  GatedHost gated;
  auto session = std::make_unique<Session>();
  ChooseImage(*session, gated, 65536);
  ASSERT_TRUE(StartScan(*session, gated));
  gated.WaitForStarts(1);
  gated.Open();
  session.reset();  // must not return while the job still uses the session
  const std::vector<std::string> status = gated.statusTexts();
  ASSERT_FALSE(status.empty());
  EXPECT_TRUE(status.back() == "已停止扫描" || status.back() == "完成") << status.back();
}

TEST_F(ScanCommandTest, ImageWithAVolumeBootSectorIsTakenAsAVolume) {
  testing::SectorImage image(4096);
  image.Put(0, testing::Fat32BootSector(8, 32, 300));
  ASSERT_TRUE(image.WriteTo(dir.File("vol.img")));
  Session session;
  ASSERT_TRUE(OpenImageSource(session, host, dir.File("vol.img"), SourceLayout::kDetect));
  EXPECT_TRUE(session.dataSource.isVolume);
  EXPECT_EQ(session.fields.label5, "FAT32");
  EXPECT_EQ(session.fields.edtbegin, "632");
  EXPECT_EQ(session.fields.edtend, "4096");  // the source's end, not the data start past it
  EXPECT_EQ(session.dataSource.sourceEnd, 4096);
  EXPECT_EQ(session.fields.edtsecs, "8");
  EXPECT_TRUE(session.fields.chkfreespace);
  EXPECT_TRUE(session.fields.chkfreespaceEnabled);

  // Random bytes at sector 0: a whole disk.
  ChooseImage(session, host);
  EXPECT_FALSE(session.dataSource.isVolume);
  ASSERT_TRUE(OpenImageSource(session, host, dir.File("disk.img"), SourceLayout::kDetect));
  EXPECT_FALSE(session.dataSource.isVolume);
  EXPECT_EQ(session.fields.edtbegin, "0");
  EXPECT_EQ(session.fields.edtsecs, "1");
  EXPECT_FALSE(session.fields.chkfreespace);
}

TEST_F(ScanCommandTest, ImageThatCannotBeOpenedChangesNothing) {
  Session session;
  EXPECT_FALSE(OpenImageSource(session, host, dir.File("none.img"), SourceLayout::kDetect));
  EXPECT_FALSE(session.dataSource.sourceChosen);
  EXPECT_EQ(session.edtDataStr, kDataSourcePrompt);
  EXPECT_EQ(host.messageTexts(), (std::vector<std::string>{"无法打开数据源: " + dir.File("none.img")}));
}

TEST_F(ScanCommandTest, ChooseImageFileAsksWhetherItHoldsOnePartition) {
  Session session;
  ChooseImage(session, host);
  ScriptedHost h;
  h.openAnswers.push_back(dir.File("disk.img"));
  h.messageAnswers.push_back(MessageResult::kYes);  // "a partition", though sector 0 is random
  ASSERT_TRUE(ChooseImageFile(session, h));
  const std::vector<testing::RecordedMessage> m = h.messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text, "此镜像文件是逻辑分区镜像请选是，是整个磁盘镜像请选否");
  EXPECT_EQ(m[0].caption, "数据文件类型选择");
  EXPECT_EQ(m[0].buttons, MessageButtons::kYesNo);
  EXPECT_TRUE(session.dataSource.isVolume);
  EXPECT_EQ(session.fields.label5, "不可识别");
  EXPECT_TRUE(session.fields.chkfreespace);

  h.openAnswers.push_back(std::nullopt);  // cancelled: nothing changes
  EXPECT_FALSE(ChooseImageFile(session, h));
  EXPECT_TRUE(session.dataSource.isVolume);
}

}  // namespace
}  // namespace pagerake
