// CREATE MDF on rows over a disk image: holes and padding, the junction repair by cluster size,
// overlapping rows, unreadable pages, what is refused, and choices among rival fragments.
#include "assembly/mdf_writer.h"

#include <filesystem>
#include <cstring>
#include <functional>

#include <gtest/gtest.h>

#include "assembly/page_evidence.h"
#include "assembly/rival_pages.h"
#include "assembly/written_pages.h"
#include "database/consistency_check.h"
#include "page/page_content.h"
#include "tests/support/corpus.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

constexpr int64_t kPageBytes = kPageSize;

FragmentRow Row(int32_t beginPage, int32_t pages, int64_t fsec) {
  FragmentRow r;
  r.sizeKB = 8 * pages;
  r.beginPage = beginPage;
  r.endPage = beginPage + pages;
  r.fsec = fsec;
  r.esec = fsec + 16 * int64_t{pages};
  return r;
}

TEST(CreateMdf, WritesEveryPageAtItsOffset) {
  testing::MdfOptions options;
  options.pages = 40;
  const std::vector<uint8_t> file = testing::BuildMdf(options);
  options.firstObjectId = 1000;
  const std::vector<uint8_t> other = testing::BuildMdf(options);
  auto page = [&file](int32_t p) {
    return std::vector<uint8_t>(file.begin() + p * kPageBytes, file.begin() + (p + 1) * kPageBytes);
  };
  const std::vector<uint8_t> zero(kPageSize, 0);
  // Page 19 (the last of [8,20) at sector 3000) cut after its first 6 KiB: its last 2 KiB lie in
  // front of the row that follows it, at sector 6000.
  auto cutPage19 = [&](testing::DiskImage& image) {
    image.Zero(3000 + 11 * 16 + 12, 4);
    image.Put(6000 - 4, file.data() + 20 * kPageBytes - 2048, 2048);
  };
  struct Case {
    const char* what;
    std::vector<FragmentRow> rows;
    int16_t sectorsPerCluster;
    int32_t sizePages;
    std::vector<std::vector<uint8_t>> pages;  // what the file must hold, page by page
    std::vector<std::string> memo;
    std::vector<std::string> messages;
    bool cut = false;
    bool addedRules = false;  // the rules beyond the written ones too (else the written alone)
  };
  std::vector<std::vector<uint8_t>> whole;
  for (int p = 0; p < 40; ++p) whole.push_back(page(p));
  auto with = [&whole](std::initializer_list<std::pair<int, std::vector<uint8_t>>> changes) {
    auto pages = whole;
    for (const auto& [p, bytes] : changes) pages[static_cast<size_t>(p)] = bytes;
    return pages;
  };
  const std::vector<uint8_t> cut19 = [&] {
    auto p = page(19);
    std::fill(p.end() - 2048, p.end(), 0);
    return p;
  }();
  const std::string done = "组合完毕";
  const Case cases[] = {
      {"pieces that join", {Row(0, 8, 1000), Row(8, 12, 3000), Row(20, 20, 6000)}, 16, 40, whole,
       {done}, {}},
      {"a hole and the padding", {Row(0, 8, 1000), Row(10, 10, 3032)}, 16, 24,
       [&] {
         auto p = whole;
         p.resize(24);
         p[8] = p[9] = p[20] = p[21] = p[22] = p[23] = zero;
         return p;
       }(),
       {done}, {}},
      {"a cut page mended from the next row", {Row(0, 8, 1000), Row(8, 12, 3000), Row(20, 20, 6000)},
       4, 40, whole, {done}, {}, true},
      {"never changed at 12 sectors per cluster",
       {Row(0, 8, 1000), Row(8, 12, 3000), Row(20, 20, 6000)}, 12, 40, with({{19, cut19}}), {done},
       {}, true},
      {"12 sectors per cluster: the tail search finds the tail", {Row(0, 8, 1000),
                                                                 Row(8, 12, 3000),
                                                                 Row(20, 20, 6000)},
       12, 40, whole, {"尾部搜索修复页面19", done}, {}, true, true},
      {"overlapping rows: the earlier row's pages", {Row(0, 8, 1000), Row(8, 12, 3000),
                                                      Row(15, 25, 7000)},
       16, 40, whole, {"重叠页面15-19,已取前面碎片的页面", done}, {}},
      {"pages past the image's end: zeros, named", {Row(0, 8, 1000), Row(8, 12, 3000),
                                                   Row(20, 20, 9984)},
       16, 40,
       [&] {
         auto p = whole;
         for (int k = 21; k < 40; ++k) p[static_cast<size_t>(k)] = zero;
         return p;
       }(),
       [] {
         std::vector<std::string> m;
         for (int k = 21; k < 40; ++k) m.push_back("read disk error,页面" + std::to_string(k));
         m.push_back("组合完毕");
         return m;
       }(),
       {"read disk error,共19页无法读取,已写入零页(见日志)"}},
      {"a first row not at page 0", {Row(3, 5, 1048)}, 16, 40, {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    testing::DiskImage image(10000, 8);
    image.PutFilePages(1000, file, 0, 8);
    image.PutFilePages(3000, file, 8, 12);
    image.PutFilePages(6000, file, 20, 20);
    image.PutFilePages(9984, file, 20, 1);  // the image's last page
    image.PutFilePages(7000, other, 15, 5);  // pages 15..19 as another database has them
    image.PutFilePages(7080, file, 20, 20);
    if (c.cut) cutPage19(image);
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
    PageAccess pages;
    testing::ScriptedHost host;
    const MdfInput in{c.rows, pages, source, c.sectorsPerCluster, c.sizePages,
                      c.addedRules ? RecoveryRules{} : RecoveryRules::Classic()};
    const MdfWriteResult r = WriteMdfTo(in, dir.File("new.mdf"), host);
    EXPECT_EQ(r.written, !c.pages.empty());
    std::vector<uint8_t> expected;
    for (const auto& p : c.pages) expected.insert(expected.end(), p.begin(), p.end());
    const std::vector<uint8_t> written = testing::ReadWholeFile(dir.File("new.mdf"));
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);

    EXPECT_EQ(host.memo(Memo::kAssembly), c.memo);
    EXPECT_EQ(host.messageTexts(), c.messages);
  }
}

TEST(CreateMdf, AsksForTheFileAndNeverWritesOverTheSource) {
  testing::TempDir dir;
  testing::MdfOptions options;
  const auto file = testing::BuildMdf(options);
  testing::DiskImage image(4000, 2);
  image.PutFilePages(1000, file, 0, 64);
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
  PageAccess pages;
  const std::vector<FragmentRow> rows = {Row(0, 64, 1000)};
  const MdfInput in{rows, pages, source, 16, 64};
  testing::ScriptedHost host;
  host.saveAnswers = {dir.File("disk.img"), dir.File("out.mdf")};
  EXPECT_FALSE(CreateMdf(in, "D:\\DATA\\SALES.mdf", host).written);  // the source: refused
  EXPECT_TRUE(CreateMdf(in, "D:\\DATA\\SALES.mdf", host).written);
  ASSERT_EQ(host.dialogRequests().size(), 2u);
  EXPECT_EQ(host.dialogRequests()[0].proposedName, "SALES.mdf");
  EXPECT_EQ(host.dialogRequests()[0].title, "保存MDF文件,请注意别保存到原数据所在盘，防止覆盖");
  EXPECT_TRUE(testing::ReadWholeFile(dir.File("out.mdf")) == file);
  EXPECT_EQ(std::filesystem::file_size(dir.File("disk.img")), 4000u * 512);
  // A failed write is told, whether it comes while pages are still read (a file of many blocks)
  // or only when the file is closed; the file is then not reported as written.
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  for (const int32_t sizePages : {64, 4096}) {
    SCOPED_TRACE(sizePages);
    testing::ScriptedHost full;
    const MdfInput padded{rows, pages, source, 16, sizePages};
    EXPECT_FALSE(WriteMdfTo(padded, "/dev/full", full).written);
    EXPECT_EQ(full.messageTexts(), std::vector<std::string>{"error,写入文件失败:/dev/full"});
    EXPECT_TRUE(full.memo(Memo::kAssembly).empty());
  }
}

}  // namespace
}  // namespace pagerake

namespace pagerake {
namespace {

FragmentRecord Record(int32_t beginPage, int32_t pages, int64_t fsec) {
  FragmentRecord r;
  r.fsec = fsec;
  r.esec = fsec + 16 * int64_t{pages};
  r.sizeKB = 8 * pages;
  r.beginPage = beginPage;
  r.endPage = beginPage + pages;
  r.fileId = 1;
  return r;
}

// A torn-page file's page cut at a 2 KiB cluster boundary, its next page starting the next
// piece. In front of that piece lie the sectors of another page written in the same flush (same
// torn-bit pattern), or the page's own tail. A wrong tail is never taken as proof: where the
// mixed page's records do not hold the mend is refused; where they hold, the mend is named all
// the same, unless the tail is the one place left that fits (and so the page's own), which the
// other page standing there as a piece the scan found rules out.
TEST(CreateMdf, TornBitsFalsePassAtAJunctionIsNeverTakenAsProof) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::vector<uint8_t> file =
      testing::ReadWholeFile((testing::CorpusDir() / "r01.mdf").string());
  const int32_t pages = static_cast<int32_t>(file.size() / kPageSize);
  auto at = [&file](int32_t p) { return file.data() + int64_t{p} * kPageSize; };
  constexpr int kTail = 2048;
  // A data page and another one of the same torn pattern whose tail makes the mix pass its torn
  // bits: one pair where the mix's records break, one where they hold.
  struct Pair {
    int32_t page = -1;
    int32_t other = -1;
  } breaks, holds;
  for (int32_t p = 40; p < pages - 1 && (breaks.page < 0 || holds.page < 0); ++p) {
    if (at(p)[1] != kPageTypeData || !VerifyPage(at(p))) continue;
    for (int32_t q = 40; q < pages; ++q) {
      if (q == p || !VerifyPage(at(q))) continue;
      std::vector<uint8_t> mix(at(p), at(p) + kPageSize);
      std::memcpy(mix.data() + kPageSize - kTail, at(q) + kPageSize - kTail, kTail);
      if (!VerifyPage(mix.data()) || mix == std::vector<uint8_t>(at(p), at(p) + kPageSize)) continue;
      Pair& slot = RecordLayoutHolds(mix.data()) ? holds : breaks;
      if (slot.page < 0) slot = {p, q};
      break;
    }
  }
  ASSERT_GE(breaks.page, 0) << "no torn false pass whose records break in r01";
  ASSERT_GE(holds.page, 0) << "no torn false pass whose records hold in r01";
  struct Case {
    const char* what;
    const Pair* pair;
    bool checked;       // checked mends
    bool settled;       // settled tails
    bool otherFound;    // the other page stands whole in front of the next piece, a piece found
    bool ownTail;       // the page's own tail lies in front of the next piece instead
    bool right;         // the page comes out right
    bool named;
  };
  const Case cases[] = {
      {"records break, checked", &breaks, true, true, false, false, false, true},
      {"records break, written rules", &breaks, false, false, false, false, false, true},
      {"records hold, written rules", &holds, false, false, false, false, false, true},
      {"records hold, checked, no settling", &holds, true, false, false, false, false, true},
      {"records hold, the other page found", &holds, true, true, true, false, false, true},
      {"records hold, the other page found, written", &holds, false, false, true, false, false, true},
      {"its own tail in front", &holds, true, true, false, true, true, false},
      {"its own tail in front, no settling", &holds, true, false, false, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int32_t p = c.pair->page;
    testing::TempDir dir;
    testing::DiskImage image(20000, 8);
    image.PutFilePages(1000, file, 0, p + 1);  // [0, p], p cut after 6 KiB
    image.Zero(1000 + int64_t{p} * 16 + 12, 4);
    if (c.ownTail) {
      image.Put(8000 - 4, at(p) + kPageSize - kTail, kTail);
    } else if (c.otherFound) {
      image.Put(8000 - 16, at(c.pair->other), kPageSize);
    } else {
      image.Put(8000 - 4, at(c.pair->other) + kPageSize - kTail, kTail);  // the wrong tail
    }
    image.PutFilePages(8000, file, p + 1, pages - p - 1);  // [p + 1, pages)
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
    FragmentTable table;
    table.Append(Record(0, p + 1, 1000));
    table.Append(Record(p + 1, pages - p - 1, 8000));
    if (c.otherFound) table.Append(Record(c.pair->other, 1, 8000 - 16));
    PageAccess access;
    testing::ScriptedHost host;
    const std::vector<FragmentRow> rows = {Row(0, p + 1, 1000), Row(p + 1, pages - p - 1, 8000)};
    RecoveryRules rules;
    rules.checkedMends = c.checked;
    rules.settledTails = c.settled;
    rules.tailSearch = false;
    MdfInput in{rows, access, source, 4, pages, rules, &table};
    const MdfWriteResult r = WriteMdfTo(in, dir.File("new.mdf"), host);
    ASSERT_TRUE(r.written);
    const PageEvidence e = ClassifyPages(r.facts, r.check);
    const std::vector<uint8_t> written = testing::ReadWholeFile(dir.File("new.mdf"));
    EXPECT_EQ(std::equal(at(p), at(p) + kPageSize, written.data() + int64_t{p} * kPageSize),
              c.right);
    const PageClass cls = e.classes[static_cast<size_t>(p)];
    EXPECT_EQ(cls == PageClass::kUnconfirmed || cls == PageClass::kInconsistent, c.named)
        << PageClassName(cls);
    EXPECT_EQ((r.facts[static_cast<size_t>(p)] & kFactMendRefused) != 0,
              c.checked && c.pair == &breaks);
  }
}


// r01 (the file) and r02 (a database of the same application: the same objects, other pages),
// both torn-page protected. Pages [336, 363) differ between them and hold data, index and IAM
// pages tied to the rest of the file. The file is written from three rows; the middle one is
// chosen over a rival fragment of the same pages.
TEST(RivalPages, TheFilesStructuresDecideOnlyForTheRightPage) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::vector<uint8_t> target = testing::ReadWholeFile((testing::CorpusDir() / "r01.mdf").string());
  const std::vector<uint8_t> other = testing::ReadWholeFile((testing::CorpusDir() / "r02.mdf").string());
  const auto pages = static_cast<int32_t>(target.size() / kPageSize);
  ASSERT_GT(other.size() / kPageSize, 363u);
  constexpr int32_t kFirst = 336, kCount = 27;
  struct Case {
    const char* what;
    bool chosenIsTarget;  // the chosen row holds the file's own pages (else the other's)
    bool settled;         // the rival is refuted in the chosen page's favour
  };
  for (const Case& c : {Case{"the right page chosen", true, true},
                        Case{"the other database's page chosen", false, false}}) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    testing::DiskImage image(40000, 8);
    image.PutFilePages(1000, target, 0, kFirst);
    image.PutFilePages(10000, c.chosenIsTarget ? target : other, kFirst, kCount);
    image.PutFilePages(12000, c.chosenIsTarget ? other : target, kFirst, kCount);  // the rival
    image.PutFilePages(20000, target, kFirst + kCount, pages - kFirst - kCount);
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
    FragmentTable table;
    table.Append(Record(kFirst, kCount, 12000));
    const std::vector<PageSpan> choices = {{kFirst, kFirst + kCount, 0}};
    const std::vector<FragmentRow> rows = {Row(0, kFirst, 1000), Row(kFirst, kCount, 10000),
                                           Row(kFirst + kCount, pages - kFirst - kCount, 20000)};
    PageAccess access;
    testing::ScriptedHost host;
    MdfInput in{rows, access, source, 16, pages, RecoveryRules{}, &table};
    in.choices = &choices;
    const MdfWriteResult r = WriteMdfTo(in, dir.File("new.mdf"), host);
    ASSERT_TRUE(r.written);
    int refuted = 0;
    for (int32_t p = kFirst; p < kFirst + kCount; ++p) {
      const uint16_t f = r.facts[static_cast<size_t>(p)];
      EXPECT_TRUE((f & kFactChosen) && (f & kFactRivalUnsettled)) << "page " << p;
      refuted += (f & kFactRivalRefuted) != 0;
    }
    EXPECT_EQ(refuted, c.settled ? kCount : 0);
  }
}

}  // namespace
}  // namespace pagerake
