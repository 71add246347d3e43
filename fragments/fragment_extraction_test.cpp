#include "fragments/fragment_extraction.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "fragments/fragment_filter.h"
#include "fragments/scan_info_file.h"
#include "page/page_content.h"
#include "tests/support/corpus.h"
#include "tests/support/disk_image.h"
#include "tests/support/fixed_random.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::DiskImage;
using testing::ScriptedHost;
using testing::TempDir;

constexpr MessageResult kYes = MessageResult::kYes;
constexpr MessageResult kNo = MessageResult::kNo;

// An image with a synthetic database file's pages placed as fragments, and the list of them.
struct Extraction {
  TempDir dir;
  DiskImage image{40000, 21};
  std::vector<uint8_t> file = testing::BuildMdf({.pages = 200});
  DataSource source;
  FragmentTable table;
  FragmentListModel list;
  PageAccess pages;

  // Pages [first, first + count) of the file at `sector`, as one fragment (ticked).
  void Place(int64_t sector, int32_t first, int32_t count) {
    image.PutFilePages(sector, file, first, count);
    table.Append(MakeFragmentRecord(static_cast<int32_t>(table.size() + 1), sector, count, first,
                                    " ", 1));
  }
  void Ready() {
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    source = testing::WholeDiskImageSource(dir.File("disk.img"));
    RefreshFragmentList(table, list);
    CheckAllRows();
  }
  void CheckAllRows() {
    for (auto& row : list.rows) row.checked = true;
  }
  // Runs the command answering "combined", `orderCheck` and the file `name`; the file's bytes
  // (empty when it was not written).
  std::vector<uint8_t> Combined(ScriptedHost& host, MessageResult orderCheck,
                                const std::string& name = "out.mdf",
                                int16_t sectorsPerCluster = 8) {
    host.messageAnswers = {MessageResult::kYes, orderCheck};
    host.saveAnswers = {dir.File(name)};
    last = ExtractCheckedFragments(list, pages, source, sectorsPerCluster, host);
    return testing::ReadWholeFile(dir.File(name));
  }
  ExtractionResult last;

  std::vector<uint8_t> FilePages(int32_t first, int32_t count) const {
    return {file.begin() + int64_t{first} * kPageSize,
            file.begin() + int64_t{first + count} * kPageSize};
  }
};

std::vector<uint8_t> Zeros(int32_t pages) { return std::vector<uint8_t>(pages * kPageSize, 0); }

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(ExtractCombined, ZeroPagesFillTheGapBetweenFragments) {
  Extraction x;
  x.Place(1000, 0, 100);
  x.Place(5000, 120, 30);
  x.Ready();
  ScriptedHost host;
  const auto out = x.Combined(host, kYes);
  EXPECT_FALSE(x.last.failed);
  ASSERT_EQ(out.size(), 150u * kPageSize);
  EXPECT_EQ(out, Concat({x.FilePages(0, 100), Zeros(20), x.FilePages(120, 30)}));
  const auto dialogs = host.dialogRequests();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].title, "组合文件");
  EXPECT_EQ(dialogs[0].proposedName, "noname");
  const auto messages = host.messages();
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].text, "组合保存成一个文件选是，保存为多个文件选否");
  EXPECT_EQ(messages[0].caption, "数据文件类型选择");
  EXPECT_EQ(messages[1].text, "判断页号重复选是，不判断则选否");
  EXPECT_EQ(messages[2].text, "保存完毕");
  EXPECT_EQ(messages[2].caption, "提示");
}

TEST(ExtractCombined, WithoutOrderCheckFragmentsAreAppendedAsListed) {
  Extraction x;
  x.Place(1000, 100, 50);
  x.Place(5000, 0, 100);
  x.Ready();
  ScriptedHost host;
  EXPECT_EQ(x.Combined(host, kNo), Concat({x.FilePages(100, 50), x.FilePages(0, 100)}));
  EXPECT_FALSE(x.last.failed);
}

TEST(ExtractCombined, OrderCheckStopsAtFirstRowOutOfOrderAndWritesNothing) {
  Extraction x;
  x.Place(1000, 0, 50);
  x.Place(3000, 50, 10);
  x.Place(5000, 55, 10);  // begins before 60
  x.Ready();
  ScriptedHost host;
  EXPECT_TRUE(x.Combined(host, kYes).empty());
  EXPECT_TRUE(x.last.failed);
  EXPECT_EQ(host.messageTexts().back(), "error,pageid not connectted:55");
  EXPECT_TRUE(host.dialogRequests().empty());
  EXPECT_FALSE(std::filesystem::exists(x.dir.File("out.mdf")));
}

TEST(ExtractCombined, OnlyTickedRowsInListOrder) {
  Extraction x;
  x.Place(1000, 0, 10);
  x.Place(3000, 10, 10);
  x.Place(5000, 20, 10);
  x.Ready();
  x.list.rows[1].checked = false;
  ScriptedHost host;
  EXPECT_EQ(x.Combined(host, kYes), Concat({x.FilePages(0, 10), Zeros(10), x.FilePages(20, 10)}));
  EXPECT_FALSE(x.last.failed);
}

TEST(ExtractCheckedFragments, NothingTicked) {
  Extraction x;
  x.Place(1000, 0, 10);
  x.Ready();
  x.list.rows[0].checked = false;
  ScriptedHost combined;
  EXPECT_TRUE(x.Combined(combined, kYes).empty());
  EXPECT_FALSE(x.last.failed);
  EXPECT_TRUE(std::filesystem::exists(x.dir.File("out.mdf")));
  EXPECT_EQ(std::filesystem::file_size(x.dir.File("out.mdf")), 0u);
  EXPECT_EQ(combined.messageTexts().back(), "保存完毕");

  ScriptedHost separate;
  separate.messageAnswers = {kNo};
  separate.folderAnswers = {x.dir.File("")};
  const auto before = std::distance(std::filesystem::directory_iterator(x.dir.path()), {});
  EXPECT_FALSE(ExtractCheckedFragments(x.list, x.pages, x.source, 8, separate).failed);
  EXPECT_EQ(separate.messageTexts(),
            (std::vector<std::string>{"组合保存成一个文件选是，保存为多个文件选否", "保存完毕"}));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(x.dir.path()), {}), before);
}

TEST(ExtractSeparate, OneFileNamedByStartSectorPerTickedFragment) {
  Extraction x;
  x.Place(1000, 0, 10);
  x.Place(20000, 40, 3);
  x.Ready();
  const std::string folder = x.dir.File("OUT");
  std::filesystem::create_directories(folder);
  ScriptedHost host;
  host.messageAnswers = {kNo};
  host.folderAnswers = {folder};
  const ExtractionResult r = ExtractCheckedFragments(x.list, x.pages, x.source, 8, host);
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.filesWritten, 2);
  EXPECT_EQ(testing::ReadWholeFile(folder + "/1000.hex"), x.FilePages(0, 10));
  EXPECT_EQ(testing::ReadWholeFile(folder + "/20000.hex"), x.FilePages(40, 3));
  EXPECT_EQ(host.dialogRequests().at(0).title, "保存目录");
  EXPECT_EQ(host.messageTexts().back(), "保存完毕");
}

TEST(ExtractSeparate, FileThatCannotBeCreatedIsNamed) {
  Extraction x;
  x.Place(1000, 0, 10);
  x.Ready();
  ScriptedHost host;
  host.messageAnswers = {kNo};
  host.folderAnswers = {x.dir.File("missing")};
  EXPECT_TRUE(ExtractCheckedFragments(x.list, x.pages, x.source, 8, host).failed);
  EXPECT_EQ(host.messageTexts().back(),
            "error,无法创建文件" + (std::filesystem::path(x.dir.File("missing")) / "1000.hex")
                                       .string());
}

TEST(ExtractCheckedFragments, UnreadablePageStopsWithPagesWrittenSoFar) {
  Extraction x;
  x.Place(1000, 0, 10);
  x.Ready();
  x.list.rows[0].sizeKB = 8 * 5000;  // runs far past the end of the source
  ScriptedHost host;
  x.Combined(host, kNo);
  EXPECT_TRUE(x.last.failed);
  EXPECT_EQ(host.messageTexts().back(), "read disk error");
  // Pages up to the end of the image: 40000 sectors hold (40000 − 1000) / 16 pages from 1000.
  EXPECT_EQ(std::filesystem::file_size(x.dir.File("out.mdf")), (39000u / 16 + 1) * kPageSize);
}

TEST(ExtractCheckedFragments, RefusesToWriteOverTheSourceOrTheOpenContentFile) {
  Extraction x;
  x.Place(1000, 0, 10);
  x.Ready();
  const auto before = testing::ReadWholeFile(x.dir.File("disk.img"));
  ScriptedHost host;
  EXPECT_EQ(x.Combined(host, kNo, "disk.img"), before);
  EXPECT_TRUE(x.last.failed);
  EXPECT_EQ(host.messageTexts().back(),
            "error,输出文件就是数据源,不能写入:" + x.dir.File("disk.img"));
  EXPECT_EQ(testing::ReadWholeFile(x.dir.File("disk.img")), before);

  // Separate files: a folder in which the source is named like a fragment file.
  std::filesystem::create_directories(x.dir.File("sep"));
  std::filesystem::create_symlink(x.dir.File("disk.img"), x.dir.File("sep/1000.hex"));
  ScriptedHost separate;
  separate.messageAnswers = {kNo};
  separate.folderAnswers = {x.dir.File("sep")};
  EXPECT_TRUE(ExtractCheckedFragments(x.list, x.pages, x.source, 8, separate).failed);
  EXPECT_TRUE(separate.messageTexts().back().starts_with("error,输出文件就是数据源,不能写入:"));
  EXPECT_EQ(testing::ReadWholeFile(x.dir.File("disk.img")), before);

  // The open content file.
  ScriptedHost save;
  save.saveAnswers = {std::nullopt, x.dir.File("spcontent")};
  testing::FixedRandom random({1});
  ASSERT_FALSE(SaveScanInfo(x.table, x.source, x.pages, 8, random, save).failed);
  ASSERT_EQ(x.pages.OpenContentFile(x.dir.File("spcontent"), x.table).status,
            ContentOpenStatus::kOpened);
  const auto content = testing::ReadWholeFile(x.dir.File("spcontent"));
  ScriptedHost again;
  EXPECT_EQ(x.Combined(again, kNo, "spcontent"), content);
  EXPECT_TRUE(x.last.failed);
  EXPECT_EQ(again.messageTexts().back(),
            "error,输出文件就是打开的碎片内容文件,不能写入:" + x.dir.File("spcontent"));
}

TEST(ExtractCheckedFragments, ContentFileModeGivesTheSameFiles) {
  Extraction x;
  x.Place(1000, 0, 30);
  x.Place(9000, 40, 20);
  x.Ready();
  ScriptedHost save;
  save.saveAnswers = {std::nullopt, x.dir.File("spcontent")};
  testing::FixedRandom random({1, 99999});
  ASSERT_FALSE(SaveScanInfo(x.table, x.source, x.pages, 8, random, save).failed);
  ASSERT_EQ(x.pages.OpenContentFile(x.dir.File("spcontent"), x.table).status,
            ContentOpenStatus::kOpened);
  std::filesystem::remove(x.dir.File("disk.img"));
  ScriptedHost host;
  EXPECT_EQ(x.Combined(host, kYes), Concat({x.FilePages(0, 30), Zeros(10), x.FilePages(40, 20)}));
  EXPECT_FALSE(x.last.failed);
}

// A real page cut at a cluster boundary: the first fragment's last page holds only its first
// half; the other half lies in the cluster just in front of the fragment that continues it.
class TailRepair : public ::testing::Test {
 protected:
  void SetUp() override {
    PAGERAKE_REQUIRE_CORPUS();
    corpus = testing::ReadWholeFile((testing::CorpusDir() / "r06.mdf").string());
    ASSERT_FALSE(corpus.empty());
    x.file = corpus;
    // A checksum-protected page from page 20 on, with a next page.
    for (int32_t p = 20; p + 10 < static_cast<int32_t>(corpus.size() / kPageSize); ++p) {
      const uint8_t* bytes = corpus.data() + int64_t{p} * kPageSize;
      if (!IsZeroPage(bytes) && ProtectionOf(bytes) == PageProtection::kChecksum &&
          VerifyPage(bytes)) {
        page = p;
        break;
      }
    }
    ASSERT_GE(page, 0);
    // Fragment A: pages page − 9 .. page at sector 1000, the last 8 sectors of its last page
    // holding other data (random bytes, from another file).
    x.Place(1000, page - 9, 10);
    std::mt19937 rng(3);
    std::vector<uint8_t> junk(4096);
    for (auto& b : junk) b = static_cast<uint8_t>(rng());
    x.image.Put(1000 + 16 * 9 + 8, junk.data(), junk.size());
    // Fragment B: pages page + 1 .. page + 10 at sector 3000, with the lost half in front of it.
    x.Place(3000, page + 1, 10);
    x.image.Put(3000 - 8, corpus.data() + int64_t{page} * kPageSize + 4096, 4096);
    x.Ready();
  }
  std::vector<uint8_t> Extract(int16_t sectorsPerCluster) {
    ScriptedHost host;
    const auto out = x.Combined(host, kYes, "out.mdf", sectorsPerCluster);
    EXPECT_FALSE(x.last.failed);
    return out;
  }
  const uint8_t* CorpusPage(int32_t p) const { return corpus.data() + int64_t{p} * kPageSize; }

  Extraction x;
  int32_t page = -1;  // the page that was split
  std::vector<uint8_t> corpus;
};

TEST_F(TailRepair, RealPageSplitAtClusterBoundaryIsMadeWhole) {
  for (int16_t spc : {8, 4, 1}) {
    const auto out = Extract(spc);
    ASSERT_EQ(out.size(), 20u * kPageSize);
    EXPECT_EQ(0, std::memcmp(out.data(), CorpusPage(page - 9), out.size()))
        << "sectors per cluster " << spc;
  }
}

TEST_F(TailRepair, NotTriedWithClustersOfAPageOrMore) {
  for (int16_t spc : {16, 64, 0}) {
    const auto out = Extract(spc);
    ASSERT_EQ(out.size(), 20u * kPageSize);
    const uint8_t* last = out.data() + 9 * kPageSize;
    EXPECT_EQ(0, std::memcmp(last, CorpusPage(page), 4096));
    EXPECT_NE(0, std::memcmp(last + 4096, CorpusPage(page) + 4096, 4096));
    EXPECT_FALSE(VerifyPage(last)) << spc;
  }
}

TEST_F(TailRepair, FromContentFileLeadBlock) {
  ScriptedHost save;
  save.saveAnswers = {std::nullopt, x.dir.File("spcontent")};
  testing::FixedRandom random({1, 4242});
  ASSERT_FALSE(SaveScanInfo(x.table, x.source, x.pages, 8, random, save).failed);
  ASSERT_EQ(x.pages.OpenContentFile(x.dir.File("spcontent"), x.table).status,
            ContentOpenStatus::kOpened);
  std::filesystem::remove(x.dir.File("disk.img"));
  const auto out = Extract(8);
  ASSERT_EQ(out.size(), 20u * kPageSize);
  EXPECT_EQ(0, std::memcmp(out.data(), CorpusPage(page - 9), out.size()));
}

TEST(RepairPageTail, KeepsFirstVariantThatVerifiesOrThePageAsItWas) {
  const auto file = testing::BuildMdf({.pages = 40});
  std::vector<uint8_t> page(file.begin() + 35 * kPageSize, file.begin() + 36 * kPageSize);
  ASSERT_TRUE(VerifyPage(page.data()));
  std::vector<uint8_t> lead(7680);
  std::mt19937 rng(5);
  for (auto& b : lead) b = static_cast<uint8_t>(rng());
  // Already whole: the unchanged page is the first variant and stays.
  auto whole = page;
  EXPECT_TRUE(RepairPageTail(whole.data(), lead.data(), 8));
  EXPECT_EQ(whole, page);
  // Damaged and nothing helps: put back as it was.
  auto damaged = page;
  damaged[8000] ^= 0xFF;
  const auto before = damaged;
  EXPECT_FALSE(RepairPageTail(damaged.data(), lead.data(), 2));
  EXPECT_EQ(damaged, before);
  // Damaged in its last cluster of 2 sectors, the right bytes in the lead: one cluster replaced.
  std::memcpy(lead.data() + 7680 - 1024, page.data() + 8192 - 1024, 1024);
  EXPECT_TRUE(RepairPageTail(damaged.data(), lead.data(), 2));
  EXPECT_EQ(damaged, page);
}

}  // namespace
}  // namespace pagerake
