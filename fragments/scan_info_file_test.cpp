#include "fragments/scan_info_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fragments/content_file_writer.h"
#include "fragments/fragment_filter.h"
#include "fragments/scan_info_codec.h"
#include "page/byte_order.h"
#include "tests/support/disk_image.h"
#include "tests/support/fixed_random.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::DiskImage;
using testing::FixedRandom;
using testing::ScriptedHost;
using testing::TempDir;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The content file as reading, clearing and writing one page at a time gives it, computed from
// the image held in memory: the independent statement of the format.
std::vector<uint8_t> ReferenceContent(const std::vector<uint8_t>& image, const FragmentTable& table,
                                      uint32_t key, int16_t sectorsPerCluster) {
  const int64_t sectors = static_cast<int64_t>(image.size() / 512);
  auto sector = [&](int64_t s, uint8_t* out) {
    if (s >= 0 && s < sectors) std::memcpy(out, image.data() + s * 512, 512);
  };
  std::vector<uint8_t> out;
  for (const FragmentRecord& r : table) {
    std::vector<uint8_t> lead(7680, 0);
    for (int k = 0; k < 15; ++k) sector(r.fsec - 15 + k, lead.data() + 512 * k);
    out.insert(out.end(), lead.begin(), lead.end());
    for (int32_t p = 0; p < r.Pages(); ++p) {
      std::vector<uint8_t> page(8192, 0);
      for (int k = 0; k < 16; ++k) sector(r.fsec + 16 * p + k, page.data() + 512 * k);
      ScramblePage(page.data(), key);
      out.insert(out.end(), page.begin(), page.end());
    }
  }
  uint8_t trailer[6];
  StoreLe32(trailer, std::rotr(key, 3));
  StoreLe16(trailer + 4, static_cast<uint16_t>(sectorsPerCluster));
  out.insert(out.end(), trailer, trailer + 6);
  return out;
}

// A table, an image and the state that OPEN works on.
struct Fixture {
  TempDir dir;
  DiskImage image{6000, 9};
  DataSource source;
  FragmentTable table;
  FragmentListModel list;
  PageOrderIndex pageOrder;
  PageAccess pages;
  int16_t sectorsPerCluster = 0;
  std::string edtsecs;

  Fixture() {
    EXPECT_TRUE(image.Write(dir.File("disk.img")));
    source = testing::WholeDiskImageSource(dir.File("disk.img"));
    table.Append(MakeFragmentRecord(1, 40, 2, 0, "D:\\数据\\a.mdf(20.00 MB)", 1));
    table.Append(MakeFragmentRecord(2, 2000, 3, 2040, " ", 3));
    table.Append(MakeFragmentRecord(3, 3000, 1, 7, " ", 1));
    table[1].shown = false;
  }
  ScanInfoState State() {
    return {table, list, pageOrder, pages, sectorsPerCluster, edtsecs};
  }
};

TEST(SaveScanInfo, WritesEncodedLinesAndContentWithTrailer) {
  Fixture f;
  ScriptedHost host;
  host.saveAnswers = {f.dir.File("scan.txt"), f.dir.File("spcontent")};
  FixedRandom random({0x5A, 0x00, 0xFF, 123456789});
  const SaveScanInfoResult r = SaveScanInfo(f.table, f.source, f.pages, 8, random, host);
  EXPECT_FALSE(r.failed);
  EXPECT_TRUE(r.infoSaved);
  EXPECT_TRUE(r.contentSaved);

  // Scan info: one upper-case line per record, CR LF after each, the filter state kept.
  const std::string text = ReadText(f.dir.File("scan.txt"));
  const std::string expected = EncodeLine(f.table.Line(0), kScanInfoKey, 0x5A) + "\r\n" +
                               EncodeLine(f.table.Line(1), kScanInfoKey, 0x00) + "\r\n" +
                               EncodeLine(f.table.Line(2), kScanInfoKey, 0xFF) + "\r\n";
  EXPECT_EQ(text, expected);
  EXPECT_EQ(text.find_first_of("abcdef"), std::string::npos);
  EXPECT_EQ(DecodeLine(text.substr(0, text.find('\r')), kScanInfoKey), f.table.Line(0));

  // Content: byte for byte what page-at-a-time reading gives.
  EXPECT_EQ(testing::ReadWholeFile(f.dir.File("spcontent")),
            ReferenceContent(f.image.bytes(), f.table, 123456789, 8));

  // Dialogs and messages, with their exact texts.
  const auto dialogs = host.dialogRequests();
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[0].title, "保存扫描信息,请注意别保存到原数据所在盘，防止覆盖");
  EXPECT_EQ(dialogs[1].title, "保存所有碎片的内容,请注意别保存到原数据所在盘，防止覆盖");
  EXPECT_EQ(dialogs[1].proposedName, "spcontent");
  const auto messages = host.messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, "已经保存了扫描信息。是否需要保存所有碎片的内容");
  EXPECT_EQ(messages[0].caption, "保存碎片内容");
  EXPECT_EQ(messages[1].text, "success");
  EXPECT_EQ(messages[1].caption, "提示");
  EXPECT_EQ(host.gaugeValues(), (std::vector<int>{0, 50, 100}));
}

TEST(SaveScanInfo, OneLineTableMovesNoGaugeAndHoldsLeadPagesAndTrailer) {
  Fixture f;
  FragmentTable one;
  one.Append(MakeFragmentRecord(1, 100, 5, 10, " ", 1));
  ScriptedHost host;
  host.saveAnswers = {std::nullopt, f.dir.File("c")};
  FixedRandom random({77});
  const SaveScanInfoResult r = SaveScanInfo(one, f.source, f.pages, 16, random, host);
  EXPECT_FALSE(r.infoSaved);
  EXPECT_TRUE(r.contentSaved);
  EXPECT_TRUE(host.gaugeValues().empty());
  EXPECT_EQ(std::filesystem::file_size(f.dir.File("c")), 7680u + 5 * 8192 + 6);
}

TEST(SaveScanInfo, LargeFragmentsAndFragmentsRunningPastTheEndMatchPageAtATime) {
  // 2500 pages: more than one large read; the last fragment runs 8 sectors past the end.
  TempDir dir;
  DiskImage image(16 * 2600 + 50, 4);
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
  FragmentTable table;
  table.Append(MakeFragmentRecord(1, 7, 2500, 0, " ", 1));  // also starts before sector 15
  table.Append(MakeFragmentRecord(2, image.sectors() - 24, 2, 0, " ", 1));
  std::ostringstream out;
  ScriptedHost host;
  ASSERT_EQ(WriteFragmentContent(out, table, source, 0xDEADBEEF, 4, host),
            ContentWriteStatus::kDone);
  const std::string bytes = out.str();
  const std::vector<uint8_t> expected = ReferenceContent(image.bytes(), table, 0xDEADBEEF, 4);
  ASSERT_EQ(bytes.size(), expected.size());
  EXPECT_EQ(0, std::memcmp(bytes.data(), expected.data(), expected.size()));
}

TEST(SaveScanInfo, PageStartingPastTheEndStopsThereWithoutTrailer) {
  TempDir dir;
  DiskImage image(16 * 40, 5);
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
  FragmentTable table;
  table.Append(MakeFragmentRecord(1, 16, 3, 0, " ", 1));
  table.Append(MakeFragmentRecord(2, 16 * 30, 12, 0, " ", 1));  // pages 10 and 11 start past it
  ScriptedHost host;
  host.saveAnswers = {std::nullopt, dir.File("c")};
  FixedRandom random({5});
  const SaveScanInfoResult r = SaveScanInfo(table, source, PageAccess(), 8, random, host);
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(host.messageTexts().back(), "read disk error");
  // Everything up to the failing page, as page-at-a-time writing leaves it.
  FragmentTable readable = table;
  readable[1].sizeKB = 8 * 10;
  std::vector<uint8_t> expected = ReferenceContent(image.bytes(), readable, 5, 8);
  expected.resize(expected.size() - 6);
  EXPECT_EQ(testing::ReadWholeFile(dir.File("c")), expected);
}

TEST(SaveScanInfo, NoToContentStopsAfterScanInfo) {
  Fixture f;
  ScriptedHost host;
  host.saveAnswers = {f.dir.File("scan.txt")};
  host.messageAnswers = {MessageResult::kNo};
  FixedRandom random({1});
  const SaveScanInfoResult r = SaveScanInfo(f.table, f.source, f.pages, 8, random, host);
  EXPECT_TRUE(r.infoSaved);
  EXPECT_FALSE(r.contentSaved);
  EXPECT_EQ(host.dialogRequests().size(), 1u);
}

TEST(SaveScanInfo, ContentFileThatCannotBeCreated) {
  Fixture f;
  ScriptedHost host;
  host.saveAnswers = {std::nullopt, f.dir.File("no/such/folder/c")};
  FixedRandom random({1});
  EXPECT_TRUE(SaveScanInfo(f.table, f.source, f.pages, 8, random, host).failed);
  EXPECT_EQ(host.messageTexts().back(), "error,无法创建文件");
}

TEST(SaveScanInfo, RefusesToWriteOverTheDataSourceByAnyName) {
  Fixture f;
  const std::string link = f.dir.File("another-name.img");
  std::filesystem::create_hard_link(f.dir.File("disk.img"), link);
  const std::vector<uint8_t> before = f.image.bytes();
  for (const std::string& target : {f.dir.File("disk.img"), link,
                                    f.dir.File("sub/../disk.img")}) {
    std::filesystem::create_directories(f.dir.File("sub"));
    for (bool content : {false, true}) {
      ScriptedHost host;
      if (content) {
        host.saveAnswers = {std::nullopt, target};
      } else {
        host.saveAnswers = {target};
      }
      FixedRandom random({1});
      EXPECT_TRUE(SaveScanInfo(f.table, f.source, f.pages, 8, random, host).failed);
      EXPECT_EQ(host.messageTexts().back(), "error,输出文件就是数据源,不能写入:" + target);
    }
  }
  EXPECT_EQ(testing::ReadWholeFile(f.dir.File("disk.img")), before);
}

TEST(SaveScanInfo, FullDiskIsAFailureNotSuccess) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  Fixture f;
  ScriptedHost host;
  FixedRandom random({1});
  const SaveScanInfoResult r =
      SaveScanInfoFiles(std::nullopt, "/dev/full", f.table, f.source, f.pages, 8, random, host);
  EXPECT_TRUE(r.failed);
  EXPECT_FALSE(r.contentSaved);
  EXPECT_EQ(host.messageTexts(), std::vector<std::string>{"error,写入文件失败:/dev/full"});
  ScriptedHost info;
  EXPECT_TRUE(
      SaveScanInfoFiles("/dev/full", std::nullopt, f.table, f.source, f.pages, 8, random, info)
          .failed);
  EXPECT_EQ(info.messageTexts(), std::vector<std::string>{"error,无法创建文件"});
}

// Saves `f`'s table with content into f.dir (scan.txt, spcontent).
void SaveBoth(Fixture& f) {
  ScriptedHost host;
  host.saveAnswers = {f.dir.File("scan.txt"), f.dir.File("spcontent")};
  FixedRandom random({9, 8, 7, 0x0BADCAFE});
  ASSERT_FALSE(SaveScanInfo(f.table, f.source, f.pages, 8, random, host).failed);
}

TEST(OpenScanInfo, LoadsTableListIndexAndContentFile) {
  Fixture saved;
  SaveBoth(saved);
  Fixture f;  // a fresh session: another table in memory
  f.table.Clear();
  f.table.Append(MakeFragmentRecord(1, 5, 1, 1, " ", 1));
  f.edtsecs = "";
  ScriptedHost host;
  host.openAnswers = {saved.dir.File("scan.txt"), saved.dir.File("spcontent")};
  const OpenScanInfoResult r = OpenScanInfo(f.State(), host);
  EXPECT_FALSE(r.failed);
  EXPECT_TRUE(r.tableLoaded);
  EXPECT_TRUE(r.contentOpened);
  ASSERT_EQ(f.table.size(), 3u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(f.table.Line(i), saved.table.Line(i));
  // The list shows the lines marked shown; the index covers every line.
  ASSERT_EQ(f.list.rows.size(), 2u);
  EXPECT_EQ(f.list.rows[1].fsec, 3000);
  ASSERT_EQ(f.pageOrder.size(), 3u);
  EXPECT_EQ(f.pageOrder[0].beginPage, 0);
  EXPECT_EQ(f.pageOrder[2].fileId, 3);
  // edtsecs was empty: the trailer's 8 shows there.
  EXPECT_EQ(f.edtsecs, "8");
  EXPECT_EQ(f.sectorsPerCluster, 8);
  EXPECT_FALSE(f.pages.LiveSourceMode());
  EXPECT_EQ(f.pages.ContentFileKey(), 0x0BADCAFEu);
  EXPECT_EQ(host.messages().at(0).text, "已经打开了扫描信息。是否需要打开所有碎片的内容文件");
  EXPECT_EQ(host.messages().at(0).caption, "打开碎片内容");
  EXPECT_EQ(host.messages().size(), 1u);
}

TEST(OpenScanInfo, SectorsPerClusterFromEditOrEight) {
  Fixture saved;
  SaveBoth(saved);
  for (auto [text, spc] : std::vector<std::pair<std::string, int16_t>>{{"4", 4}, {"abc", 8}}) {
    Fixture f;
    f.edtsecs = text;
    ScriptedHost host;
    host.openAnswers = {saved.dir.File("scan.txt"), saved.dir.File("spcontent")};
    EXPECT_FALSE(OpenScanInfo(f.State(), host).failed);
    EXPECT_EQ(f.sectorsPerCluster, spc) << text;
    EXPECT_EQ(f.edtsecs, text);
  }
}

TEST(OpenScanInfo, CancelledDialogStillRebuildsIndexAndAsksForContent) {
  Fixture f;
  ScriptedHost host;
  host.openAnswers = {std::nullopt, std::nullopt};
  const OpenScanInfoResult r = OpenScanInfo(f.State(), host);
  EXPECT_FALSE(r.tableLoaded);
  EXPECT_EQ(f.pageOrder.size(), 3u);
  EXPECT_EQ(host.messageTexts(),
            std::vector<std::string>{"已经打开了扫描信息。是否需要打开所有碎片的内容文件"});
  EXPECT_EQ(host.dialogRequests().size(), 2u);
  EXPECT_TRUE(f.pages.LiveSourceMode());
}

// Writes `text` as a scan-info file and opens it into a fixture holding its own three lines.
struct BadOpen {
  Fixture f;
  ScriptedHost host;
  OpenScanInfoResult result;
  explicit BadOpen(const std::string& text) {
    const std::string path = f.dir.File("bad.txt");
    std::ofstream(path, std::ios::binary) << text;
    RefreshFragmentList(f.table, f.list);
    f.list.rows[0].checked = true;
    host.openAnswers = {path};
    result = OpenScanInfo(f.State(), host);
  }
  void ExpectStateKept() {
    ASSERT_EQ(f.table.size(), 3u);
    EXPECT_EQ(f.table.Line(2), "3|3000|3016|8|7|8| |Y|1|");
    ASSERT_EQ(f.list.rows.size(), 2u);
    EXPECT_TRUE(f.list.rows[0].checked);
    EXPECT_TRUE(f.pages.LiveSourceMode());
    EXPECT_TRUE(result.failed);
  }
};

const std::string kOutOfRange = "数字不能描述碎片(页数或扇区超出范围)";

TEST(OpenScanInfo, LineThatDoesNotDecodeIsNamedAndNothingIsLost) {
  const std::string good1 = EncodeLine("1|0|32|16|0|2| |Y|1|", kScanInfoKey, 3);
  const std::string good2 = EncodeLine("2|64|96|16|2|4| |Y|1|", kScanInfoKey, 200);
  struct Case {
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {good1 + "\r\n" + good2.substr(0, 17) + "\r\n",  // truncated mid-line
       "error,扫描信息文件第2行无法解码:长度为奇数"},
      {good1 + "\r\n" + good2.substr(0, 20) + "\r\n",  // truncated at an even length
       "error,扫描信息文件第2行无法解码:不是碎片记录(应为9个以“|”结尾的字段)"},
      {good1 + "\r\n" + good2 + "\r\n" + "5ADA01ZZ\r\n",
       "error,扫描信息文件第3行无法解码:含有非十六进制字符"},
      {good1 + "\r\n\r\n" + good2 + "\r\n", "error,扫描信息文件第2行无法解码:空行"},
      {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
       "error,扫描信息文件第1行无法解码:含有非十六进制字符"},
      {EncodeLine("1|0|32|16|0|2| |Y|", kScanInfoKey, 1) + "\r\n",  // eight fields
       "error,扫描信息文件第1行无法解码:不是碎片记录(应为9个以“|”结尾的字段)"},
      {EncodeLine("1|0|32|16|0|2| |Y|1|x|", kScanInfoKey, 1) + "\r\n",  // ten fields
       "error,扫描信息文件第1行无法解码:不是碎片记录(应为9个以“|”结尾的字段)"},
      {EncodeLine("1|zero|32|16|0|2| |Y|1|", kScanInfoKey, 1) + "\r\n",
       "error,扫描信息文件第1行无法解码:不是碎片记录(应为9个以“|”结尾的字段)"},
      {EncodeLine("1|0|32|16|0|2| |Y|1|", "OTHER", 1) + "\r\n",  // foreign key
       "error,扫描信息文件第1行无法解码:不是碎片记录(应为9个以“|”结尾的字段)"},
      // Numbers no fragment can have: later page and sector arithmetic would overflow.
      {good1 + "\r\n" + EncodeLine("2|100|116|-8|0|1| |Y|1|", kScanInfoKey, 7) + "\r\n",
       "error,扫描信息文件第2行无法解码:" + kOutOfRange},
      {EncodeLine("1|-16|0|16|0|2| |Y|1|", kScanInfoKey, 7) + "\r\n",
       "error,扫描信息文件第1行无法解码:" + kOutOfRange},
      {EncodeLine("1|9223372036854775800|0|16|0|2| |Y|1|", kScanInfoKey, 7) + "\r\n",
       "error,扫描信息文件第1行无法解码:" + kOutOfRange},
      {EncodeLine("1|0|32|16|2147483647|0| |Y|1|", kScanInfoKey, 7) + "\r\n",
       "error,扫描信息文件第1行无法解码:" + kOutOfRange},
  };
  for (const Case& c : cases) {
    BadOpen open(c.text);
    EXPECT_EQ(open.host.messageTexts(), std::vector<std::string>{c.message});
    open.ExpectStateKept();
  }
}

TEST(OpenScanInfo, AcceptsLfLinesLowerCaseAndNoFinalNewline) {
  const std::string a = EncodeLine("1|0|32|16|0|2| |Y|1|", kScanInfoKey, 3);
  std::string b = EncodeLine("2|64|96|16|2|4| | N |1|", kScanInfoKey, 4);
  for (char& ch : b) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  Fixture f;
  const std::string path = f.dir.File("scan.txt");
  std::ofstream(path, std::ios::binary) << a << "\n" << b;
  FragmentTable table;
  ASSERT_EQ(ReadScanInfoFile(path, table).status, ScanInfoReadStatus::kRead);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table.Line(0), "1|0|32|16|0|2| |Y|1|");
  EXPECT_FALSE(table[1].shown);  // " N " counts as hidden, as the list reads it
}

TEST(OpenScanInfo, ContentFileOfTheWrongSizeIsRefused) {
  Fixture saved;
  SaveBoth(saved);
  struct Case {
    std::string name;
    int64_t cut;  // bytes to remove from the end; negative: bytes to add
  };
  for (const Case& c : std::vector<Case>{{"cut short by a failed save", 6 + 8192},
                                         {"trailer only missing", 6},
                                         {"longer", -10}}) {
    const std::string path = saved.dir.File("content-" + std::to_string(c.cut));
    std::filesystem::copy_file(saved.dir.File("spcontent"), path);
    const auto size = std::filesystem::file_size(path);
    std::filesystem::resize_file(path, static_cast<uintmax_t>(static_cast<int64_t>(size) - c.cut));
    Fixture f;
    ScriptedHost host;
    host.openAnswers = {saved.dir.File("scan.txt"), path};
    const OpenScanInfoResult r = OpenScanInfo(f.State(), host);
    EXPECT_TRUE(r.failed) << c.name;
    EXPECT_TRUE(r.tableLoaded) << c.name;
    EXPECT_EQ(host.messageTexts().back(),
              "error,碎片内容文件与扫描信息不符:应为" + std::to_string(size) + "字节,实际为" +
                  std::to_string(static_cast<int64_t>(size) - c.cut) + "字节")
        << c.name;
    EXPECT_TRUE(f.pages.LiveSourceMode()) << c.name;
  }
  // A foreign file and a missing one.
  Fixture f;
  ScriptedHost host;
  host.openAnswers = {std::nullopt, saved.dir.File("scan.txt"), std::nullopt,
                      saved.dir.File("missing")};
  EXPECT_TRUE(OpenScanInfo(f.State(), host).failed);
  EXPECT_TRUE(host.messageTexts().back().starts_with("error,碎片内容文件与扫描信息不符"));
  EXPECT_TRUE(OpenScanInfo(f.State(), host).failed);
  EXPECT_EQ(host.messageTexts().back(), "error,无法打开文件");
  EXPECT_TRUE(f.pages.LiveSourceMode());
}

// The largest numbers a line can hold still load, and their content size does not wrap: two
// fragments of 2147483647 KB do not match a content file of two lead blocks and a trailer.
TEST(OpenScanInfo, HugeFragmentsLoadAndTheirContentSizeDoesNotWrap) {
  Fixture f;
  const std::string info = f.dir.File("huge.txt");
  const std::string content = f.dir.File("huge.content");
  // The first line is "1|100|116|2147483647|0|1| |Y|1|" as a damaged file held it.
  std::ofstream(info, std::ios::binary)
      << "5ADA0179F370BDB8A282AA8DE856D758C1A2939D80AD8B432EFE4E9CBE61C612\r\n"
      << EncodeLine("2|9000|9016|2147483647|2147483647|0| |Y|1|", kScanInfoKey, 9) << "\r\n";
  std::ofstream(content, std::ios::binary) << std::string(2 * 7680 + 6, '\0');
  FragmentTable table;
  // The second line's pages would pass page 2147483647.
  ASSERT_EQ(ReadScanInfoFile(info, table).status, ScanInfoReadStatus::kBadLine);
  std::ofstream(info, std::ios::binary)
      << "5ADA0179F370BDB8A282AA8DE856D758C1A2939D80AD8B432EFE4E9CBE61C612\r\n"
      << EncodeLine("2|9000|9016|2147483647|1879048191|0| |Y|1|", kScanInfoKey, 9) << "\r\n";
  ASSERT_EQ(ReadScanInfoFile(info, table).status, ScanInfoReadStatus::kRead);
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0].Pages(), 268435456);
  const int64_t expected = 6 + 2 * (7680 + (int64_t{268435456} << 13));
  EXPECT_EQ(ExpectedContentFileSize(table), expected);
  ScriptedHost host;
  host.openAnswers = {info, content};
  const OpenScanInfoResult r = OpenScanInfo(f.State(), host);
  EXPECT_TRUE(r.failed);
  EXPECT_EQ(host.messageTexts().back(), "error,碎片内容文件与扫描信息不符:应为" +
                                            std::to_string(expected) + "字节,实际为15366字节");
  EXPECT_TRUE(f.pages.LiveSourceMode());
}

TEST(OpenScanInfo, MissingScanInfoFile) {
  Fixture f;
  ScriptedHost host;
  host.openAnswers = {f.dir.File("missing.txt")};
  EXPECT_TRUE(OpenScanInfo(f.State(), host).failed);
  EXPECT_EQ(host.messageTexts(), std::vector<std::string>{"error,无法打开文件"});
  EXPECT_EQ(f.table.size(), 3u);
}

}  // namespace
}  // namespace pagerake
