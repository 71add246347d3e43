#include "scan/scan_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "scan/record_fragment.h"
#include "scan/scan_window.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::DiskImage;
using testing::ScriptedHost;

// Stops the scan when the first fragment is recorded, as the STOP button would.
class StopAfterFirst : public FragmentSink {
 public:
  explicit StopAfterFirst(std::atomic<bool>& stop) : stop_(stop) {}
  void Appended(const FragmentRecord&) override { stop_ = true; }
  void RemovedLast() override {}

 private:
  std::atomic<bool>& stop_;
};

// Mirrors the table the way the fragment list does, to check the sink sees every change.
class Mirror : public FragmentSink {
 public:
  void Appended(const FragmentRecord& r) override { lines.push_back(FormatFragmentLine(r)); }
  void RemovedLast() override { lines.pop_back(); }
  std::vector<std::string> lines;
};

class ScanLoopTest : public ::testing::Test {
 protected:
  ScanOptions Options(const DiskImage& image, int64_t step = 16) const {
    ScanOptions o;
    o.beginSector = 0;
    o.endSector = image.sectors();
    o.stepSectors = step;
    return o;
  }

  ScanResult Scan(const DiskImage& image, const ScanOptions& options,
                  FragmentSink* sink = nullptr) {
    const std::string path = dir.File("disk.img");
    EXPECT_TRUE(image.Write(path));
    source = testing::WholeDiskImageSource(path);
    stopped = false;
    ScanJob job(source, table, host, options, stopped, fileId);
    job.sink = sink;
    return RunScan(job);
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (size_t i = 0; i < table.size(); ++i) out.push_back(table.Line(i));
    return out;
  }

  std::vector<std::string> MemoWithoutTimes() const {
    std::vector<std::string> out;
    for (const std::string& line : host.memo(Memo::kSource)) {
      if (line.rfind("开始扫描", 0) == 0) out.push_back("开始扫描");
      else if (line.rfind("完成", 0) == 0) out.push_back("完成");
      else out.push_back(line);
    }
    return out;
  }

  testing::TempDir dir;
  ScriptedHost host;
  FragmentTable table;
  DataSource source;
  std::atomic<bool> stopped{false};
  int16_t fileId = 1;
};

TEST_F(ScanLoopTest, RecordsARunOfPagesAndReportsStartAndEnd) {
  DiskImage image(40000);
  image.PutDataRun(16384, 100, 64, 3);
  const ScanResult r = Scan(image, Options(image));
  EXPECT_EQ(r.end, ScanEnd::kFinished);
  EXPECT_EQ(r.scannedSectors, 40000);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|16384|17408|512|100|164| |Y|3|"}));
  EXPECT_EQ(MemoWithoutTimes(), (std::vector<std::string>{"开始扫描", "完成"}));
  EXPECT_EQ(host.memoClears(Memo::kSource), 1);
  EXPECT_EQ(host.statusTexts(), (std::vector<std::string>{"开始扫描", "完成"}));
  EXPECT_TRUE(stopped);
  ASSERT_EQ(r.pageOrder.size(), 1u);
  EXPECT_EQ(r.pageOrder[0].beginPage, 100);
  // The gauge goes up one change at a time, without repeats, and ends near 100.
  const std::vector<int> gauge = host.gaugeValues();
  ASSERT_FALSE(gauge.empty());
  EXPECT_EQ(gauge.front(), 0);
  EXPECT_GE(gauge.back(), 99);
  for (size_t i = 1; i < gauge.size(); ++i) EXPECT_GT(gauge[i], gauge[i - 1]);
}

TEST_F(ScanLoopTest, StepEightFindsPagesBetweenSixteenSectorPositions) {
  DiskImage image(4096);
  image.PutDataRun(1000, 7, 3);  // 1000 = 125 × 8, not a multiple of 16
  Scan(image, Options(image, 8));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|1000|1048|24|7|10| |Y|1|"}));
  table.Clear();
  Scan(image, Options(image, 16));
  EXPECT_TRUE(Lines().empty());
  // Positions count from the begin sector: begun at 8, step 16 lands on 1000.
  ScanOptions shifted = Options(image, 16);
  shifted.beginSector = 8;
  Scan(image, shifted);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|1000|1048|24|7|10| |Y|1|"}));
}

TEST_F(ScanLoopTest, StepsOfThirtyTwoOrMoreWalkBySixteenButKeepTheClusterSize) {
  DiskImage image(4096);
  image.PutDataRun(1040, 7, 2);  // a multiple of 16, not of 64
  Scan(image, Options(image, 64));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|1040|1072|16|7|9| |Y|1|"}));
  EXPECT_EQ(source.sectorsPerCluster, 64);
}

TEST_F(ScanLoopTest, JoinsARunThatContinuesThePreviousFragmentAcrossUnreadablePages) {
  DiskImage image(8192);
  const int64_t s = 2048;
  image.PutDataRun(s, 100, 64);
  image.PutDataRun(s + 1600, 200, 51);
  Mirror mirror;
  Scan(image, Options(image), &mirror);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|2048|4464|1208|100|251| |Y|1|"}));
  EXPECT_EQ(mirror.lines, Lines());

  // Sixteen sectors later the pages are not where page 200 would be: two fragments.
  DiskImage shifted(8192);
  shifted.PutDataRun(s, 100, 64);
  shifted.PutDataRun(s + 1616, 200, 51);
  table.Clear();
  Scan(shifted, Options(shifted));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|2048|3072|512|100|164| |Y|1|",
                                               "2|3664|4480|408|200|251| |Y|1|"}));
}

TEST_F(ScanLoopTest, JoinNeedsTheSameFileIdAndAGapOfAtMostOnePfsSpan) {
  struct Case {
    const char* what;
    uint16_t secondFileId;
    int64_t gapPages;  // pages between the two runs
    bool joined;
  };
  const Case cases[] = {
      {"same file, short gap", 1, 10, true},
      {"another file id", 2, 10, false},
      {"gap of exactly 8088 pages", 1, 8088, true},
      {"gap of 8089 pages", 1, 8089, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int64_t s = 1024;
    DiskImage image(s + (4 + c.gapPages + 4) * 16 + 1024);
    image.PutDataRun(s, 50, 4);
    image.PutDataRun(s + (4 + c.gapPages) * 16, static_cast<uint32_t>(54 + c.gapPages), 4,
                     c.secondFileId);
    table.Clear();
    Scan(image, Options(image));
    ASSERT_EQ(table.size(), c.joined ? 1u : 2u);
    if (c.joined) {
      EXPECT_EQ(table[0].Pages(), 8 + c.gapPages);
    }
  }
}

// Page 268435620 is 268435520 pages after page 100: 2^32 + 1024 sectors, which a 32-bit product
// would take for the 1024 sectors that really lie between the two runs.
TEST_F(ScanLoopTest, JoinComparesPagePositionsWithoutWrappingAround) {
  DiskImage image(4096);
  image.PutDataRun(0, 100, 4);
  image.PutDataRun(1024, 268435620, 2);
  Scan(image, Options(image));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|0|64|32|100|104| |Y|1|",
                                               "2|1024|1056|16|268435620|268435622| |Y|1|"}));
}

TEST_F(ScanLoopTest, FileHeaderPageWithoutItsPfsPageRecordsNothingAndTheWalkGoesOn) {
  DiskImage image(4096);
  image.PutPage(512, testing::MakeFileHeaderPage(1, 100));
  image.PutDataRun(528, 1, 3);  // page 1 here is a data page, not the PFS page
  Scan(image, Options(image));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|528|576|24|1|4| |Y|1|"}));

  // The PFS page of another file does not make a file start; it is an ordinary page 1.
  DiskImage other(4096);
  other.PutPage(512, testing::MakeFileHeaderPage(1, 100));
  other.PutPage(528, testing::MakePfsPage(2));
  table.Clear();
  Scan(other, Options(other));
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|528|544|8|1|2| |Y|2|"}));
}

TEST_F(ScanLoopTest, RunReachingTheEndSectorCoversOnlyPagesBelowIt) {
  DiskImage image(4096);
  image.PutDataRun(1024, 10, 20);
  ScanOptions o = Options(image);
  o.endSector = 1024 + 5 * 16;
  Scan(image, o);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|1024|1104|40|10|15| |Y|1|"}));
}

TEST_F(ScanLoopTest, StopKeepsTheFragmentsFoundAndEndsWithoutFinishing) {
  DiskImage image(8192);
  image.PutDataRun(1024, 10, 4);
  image.PutDataRun(4096, 900, 4, 2);
  StopAfterFirst stopper(stopped);
  const ScanResult r = Scan(image, Options(image), &stopper);
  EXPECT_EQ(r.end, ScanEnd::kStopped);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|1024|1088|32|10|14| |Y|1|"}));
  EXPECT_EQ(host.statusTexts(), (std::vector<std::string>{"开始扫描", "已停止扫描"}));
  EXPECT_EQ(MemoWithoutTimes(), (std::vector<std::string>{"开始扫描"}));
  EXPECT_EQ(r.pageOrder.size(), 1u);  // what a stopped scan found is indexed too
  EXPECT_TRUE(stopped);
}

TEST_F(ScanLoopTest, BeginBeyondTheSourceLogsTheFailedFirstReadAndEnds) {
  DiskImage image(4096);
  image.PutDataRun(0, 10, 4);
  ScanOptions o = Options(image);
  o.beginSector = 5000;
  o.endSector = 9000;
  const ScanResult r = Scan(image, o);
  EXPECT_EQ(r.end, ScanEnd::kFirstReadFailed);
  EXPECT_EQ(MemoWithoutTimes(), (std::vector<std::string>{"开始扫描", "512error1sec5000"}));
  EXPECT_EQ(host.statusTexts(), (std::vector<std::string>{"开始扫描"}));
  EXPECT_TRUE(table.empty());
  EXPECT_TRUE(stopped);
}

TEST_F(ScanLoopTest, BeginPageFilterRecordsOnlyFragmentsStartingBelowItsNumber) {
  DiskImage image(8192);
  image.PutDataRun(1024, 999, 2, 1);
  image.PutDataRun(4096, 1000, 2, 2);
  ScanOptions o = Options(image);
  o.limitBeginPage = true;
  o.maxBeginPage = 1000;
  Scan(image, o);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|1024|1056|16|999|1001| |Y|1|"}));
}

// A window read that fails (here a chunk that reaches past the real end of the file, which the
// source claims is longer) answers nothing from its buffer: the sectors in front of the failure
// are read one by one and their pages found, sectors past the end are reported one by one, and
// no page of an earlier window shows up again.
TEST_F(ScanLoopTest, FailedWindowReadAnswersEachPositionFromItsOwnSector) {
  const int64_t sectors = 2 * kScanWindowSectors + 3424;  // ends inside a chunk
  DiskImage image(sectors);
  image.PutDataRun(96, 10, 2, 1);                          // first window
  image.PutDataRun(2 * kScanWindowSectors + 96, 40, 2, 2);  // a chunk that reads well
  image.PutDataRun(27008, 70, 2, 3);                        // the chunk whose read fails
  const std::string path = dir.File("disk.img");
  ASSERT_TRUE(image.Write(path));
  source = testing::WholeDiskImageSource(path);
  source.sourceEnd = sectors + 736;  // claims more than the file holds
  ScanOptions o = Options(image);
  o.endSector = source.sourceEnd;
  ScanJob job(source, table, host, o, stopped, fileId);
  const ScanResult r = RunScan(job);
  EXPECT_EQ(r.end, ScanEnd::kFinished);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|96|128|16|10|12| |Y|1|",
                                               "2|24672|24704|16|40|42| |Y|2|",
                                               "3|27008|27040|16|70|72| |Y|3|"}));
  std::vector<std::string> expected = {"开始扫描"};
  for (int64_t s = sectors; s < sectors + 736; s += 16) {
    expected.push_back("512error1sec" + std::to_string(s));
  }
  expected.push_back("完成");
  EXPECT_EQ(MemoWithoutTimes(), expected);
}

// --- Fragments that start a database file ---

class FileStartTest : public ScanLoopTest {
 protected:
  // A file of `filePages` pages (as page 0 records) of which the first `present` pages are on
  // the image at sector 1024; the rest of the image is random.
  void ScanFileStart(int32_t filePages, int32_t present) {
    testing::MdfOptions m;
    m.pages = std::max(present, 33);
    m.recordedName = "D:\\DATA\\SALES.mdf";
    std::vector<uint8_t> file = testing::BuildMdf(m);
    // Fill the pages a young file leaves empty, so the file is one run.
    for (int32_t p = 2; p < present; ++p) {
      if (p == 32 || file[static_cast<size_t>(p) * kPageSize] != 0) continue;
      const testing::Page data = testing::MakeDataPage(1, static_cast<uint32_t>(p), 7);
      std::copy(data.begin(), data.end(), file.begin() + static_cast<size_t>(p) * kPageSize);
    }
    const testing::Page header = testing::MakeFileHeaderPage(1, filePages);
    std::copy(header.begin(), header.end(), file.begin());
    DiskImage image(4096);
    image.PutFilePages(1024, file, 0, present);
    table.Clear();
    Scan(image, Options(image));
  }
};

TEST_F(FileStartTest, ShortFileStartShowsTheSizeFromPageZero) {
  ScanFileStart(2560, 32);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table.Line(0), "1|1024|1536|256|0|32|无效文件头,size:20480KB|Y|1|");
}

TEST_F(FileStartTest, LongerFileStartIsNamedFromPagesZeroAndThirtyTwo) {
  ScanFileStart(2560, 33);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table.Line(0), "1|1024|1552|264|0|33|D:\\DATA\\SALES.mdf(20.00 MB)|Y|1|");
  ScanFileStart(128000, 40);
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].memo, "D:\\DATA\\SALES.mdf(0.98 GB)");
}

// A young file has empty pages between its first pages: the runs join into one fragment, which
// is named once it holds page 32.
TEST_F(ScanLoopTest, RunsOfAYoungFileJoinIntoOneNamedFragment) {
  testing::MdfOptions m;
  m.pages = 64;
  m.recordedName = "D:\\DATA\\DEMO.mdf";
  const std::vector<uint8_t> file = testing::BuildMdf(m);
  DiskImage image(4096);
  image.PutFilePages(512, file, 0, 64);
  Mirror mirror;
  Scan(image, Options(image), &mirror);
  EXPECT_EQ(Lines(), (std::vector<std::string>{"1|512|1536|512|0|64|D:\\DATA\\DEMO.mdf(0.50 MB)|Y|1|"}));
  EXPECT_EQ(mirror.lines, Lines());
}

// --- RecordFragment on its own ---

class RecordFragmentTest : public ScanLoopTest {
 protected:
  ScanJob Job(const ScanOptions& o = {}) {
    return ScanJob(source, table, host, o, stopped, fileId);
  }
};

TEST_F(RecordFragmentTest, UnreadablePageZeroRecordsNothingAndKeepsTheFragmentItWouldReplace) {
  source = testing::WholeDiskImageSource(dir.File("missing.img"));
  source.devicePath = dir.File("missing.img");
  ScanJob job = Job();
  table.Append(MakeFragmentRecord(1, 0, 4, 0, "无效文件头,size:0KB", 1));
  EXPECT_FALSE(RecordFragment(job, 1, 8, 0, 0, RecordPlacement::kReplaceLast));
  EXPECT_EQ(table.size(), 1u);
  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_EQ(host.messages()[0].text, "read disk error");
  EXPECT_EQ(host.messages()[0].caption, "提示");
}

TEST_F(RecordFragmentTest, MissingSizeAndNameAreReportedAndReplaced) {
  DiskImage image(1024);
  testing::PageBuilder noSize;  // a file header page whose record has no size marker
  noSize.Type(kPageTypeFileHeader).Id(0, 1).Object(kAllocationObjectId);
  noSize.header().slotCount = 0;
  noSize.AddRecord(std::vector<uint8_t>(16, 0));
  image.PutPage(0, noSize.Build());
  image.PutPage(512, testing::MakeDataPage(1, 32, 7));  // page 32 without a name
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  source = testing::WholeDiskImageSource(dir.File("disk.img"));
  ScanJob job = Job();
  job.pendingMemo = "无效文件头";
  EXPECT_TRUE(RecordFragment(job, 1, 40, 0, 0));
  EXPECT_EQ(table[0].memo, "none(0.00 MB)");
  EXPECT_EQ(host.memo(Memo::kSource),
            (std::vector<std::string>{"get fileinfo1 error", "get fileinfo2 error"}));
  // A joined fragment that already has a name keeps it without reading.
  job.pendingMemo = "X.mdf(1.00 MB)";
  EXPECT_TRUE(RecordFragment(job, 1, 40, 0, 0, RecordPlacement::kReplaceLast));
  EXPECT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].memo, "X.mdf(1.00 MB)");
}

TEST(FileSizeText, MegabytesBelowOneThousandElseGigabytes) {
  EXPECT_EQ(FileSizeText(2560), "20.00 MB");
  EXPECT_EQ(FileSizeText(128000), "0.98 GB");
  EXPECT_EQ(FileSizeText(127872), "999.00 MB");
  EXPECT_EQ(FileSizeText(0), "0.00 MB");
  EXPECT_EQ(FileSizeText(432), "3.38 MB");
  EXPECT_EQ(FileSizeText(464), "3.63 MB");  // 3.625: halves go up
  EXPECT_EQ(FileSizeText(-256), "-2.00 MB");  // a damaged header may record anything
}

}  // namespace
}  // namespace pagerake
