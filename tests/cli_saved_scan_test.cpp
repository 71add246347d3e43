// pagerake-cli open and extract as a recovery engineer runs them: on a saved scan of a disk that
// is gone, on a disk image directly, and on input that is wrong.
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/scan_command.h"
#include "app/session.h"
#include "app/source_choice.h"
#include "fragments/scan_info_file.h"
#include "tests/support/disk_image.h"
#include "tests/support/fixed_random.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::RunCli;

// A database file of 300 pages in three pieces on a disk image, and a scan of it saved with its
// content (scan.txt, spcontent).
class CliSavedScan : public ::testing::Test {
 protected:
  void SetUp() override {
    mdf_ = testing::BuildMdf({.pages = 300});
    testing::DiskImage image(20000, 31);
    image.PutFilePages(1000, mdf_, 0, 100);
    image.PutFilePages(5000, mdf_, 100, 120);
    image.PutFilePages(12000, mdf_, 220, 80);
    ASSERT_TRUE(image.Write(Path("disk.img")));
    testing::ScriptedHost host;
    Session session;
    ASSERT_TRUE(OpenImageSource(session, host, Path("disk.img"), SourceLayout::kWholeDisk));
    ASSERT_TRUE(ClickScanButton(session, host));
    session.jobs.JoinAll();
    ASSERT_EQ(session.fragmentTable.size(), 3u);
    testing::FixedRandom random({1, 2, 3, 77777});
    ASSERT_FALSE(SaveScanInfoFiles(Path("scan.txt"), Path("spcontent"), session.fragmentTable,
                                   session.dataSource, PageAccess(), 8, random, host)
                     .failed);
  }
  std::string Path(const std::string& name) const { return dir_.File(name); }
  std::vector<uint8_t> Pages(int32_t first, int32_t count) const {
    return {mdf_.begin() + int64_t{first} * 8192, mdf_.begin() + int64_t{first + count} * 8192};
  }

  testing::TempDir dir_;
  std::vector<uint8_t> mdf_;
};

TEST_F(CliSavedScan, OpenListsTheFragmentsAsTheScanDid) {
  const auto text = RunCli({"open", Path("scan.txt")});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  EXPECT_NE(text.out.find("开始页面号"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("D:\\DATA\\DEMO.mdf(2.34 MB)"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("12000"), std::string::npos) << text.out;

  const auto json = RunCli({"open", Path("scan.txt"), "--content", Path("spcontent"), "--json"});
  ASSERT_EQ(json.exitCode, 0) << json.err;
  const auto doc = nlohmann::json::parse(json.out);
  ASSERT_EQ(doc["fragments"].size(), 3u);
  const auto& second = doc["fragments"][1];
  EXPECT_EQ(second["sn"], 2);
  EXPECT_EQ(second["fsec"], 5000);
  EXPECT_EQ(second["esec"], 5000 + 16 * 120);
  EXPECT_EQ(second["size_kb"], 960);
  EXPECT_EQ(second["begin_page"], 100);
  EXPECT_EQ(second["end_page"], 220);
  EXPECT_EQ(second["memo"], " ");
  EXPECT_EQ(second["file_id"], 1);
  EXPECT_EQ(doc["sectors_per_cluster"], 8);
}

TEST_F(CliSavedScan, ExtractFromTheSavedScanAfterTheDiskIsGone) {
  std::filesystem::remove(Path("disk.img"));
  const auto combined = RunCli({"extract", "--info", Path("scan.txt"), "--content",
                                Path("spcontent"), "--rows", "all", "--combined", Path("out.mdf"),
                                "--check-order"});
  ASSERT_EQ(combined.exitCode, 0) << combined.err;
  EXPECT_EQ(testing::ReadWholeFile(Path("out.mdf")), mdf_);
  EXPECT_NE(combined.err.find("保存完毕"), std::string::npos);

  std::filesystem::create_directories(Path("hex"));
  const auto separate = RunCli({"extract", "--info", Path("scan.txt"), "--content",
                                Path("spcontent"), "--rows", "1,3", "--separate", Path("hex")});
  ASSERT_EQ(separate.exitCode, 0) << separate.err;
  EXPECT_EQ(testing::ReadWholeFile(Path("hex/1000.hex")), Pages(0, 100));
  EXPECT_EQ(testing::ReadWholeFile(Path("hex/12000.hex")), Pages(220, 80));
  EXPECT_FALSE(std::filesystem::exists(Path("hex/5000.hex")));
}

TEST_F(CliSavedScan, ExtractFromTheImageDirectlyWithRowRanges) {
  const auto r = RunCli({"extract", Path("disk.img"), "--disk", "--rows", "2-3", "--combined",
                         Path("tail.mdf")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(testing::ReadWholeFile(Path("tail.mdf")), Pages(100, 200));
}

TEST_F(CliSavedScan, OrderCheckRefusesRowsOutOfPageOrder) {
  // The later pages lie first on this disk, so the list is not in page order.
  testing::DiskImage image(20000, 32);
  image.PutFilePages(1000, mdf_, 100, 120);
  image.PutFilePages(5000, mdf_, 0, 100);
  ASSERT_TRUE(image.Write(Path("reversed.img")));
  const auto refused = RunCli({"extract", Path("reversed.img"), "--disk", "--rows", "all",
                               "--combined", Path("o.mdf"), "--check-order"});
  EXPECT_EQ(refused.exitCode, 2);
  EXPECT_NE(refused.err.find("error,pageid not connectted:0"), std::string::npos) << refused.err;
  EXPECT_FALSE(std::filesystem::exists(Path("o.mdf")));

  const auto unchecked = RunCli({"extract", Path("reversed.img"), "--disk", "--rows", "all",
                                 "--combined", Path("o.mdf")});
  ASSERT_EQ(unchecked.exitCode, 0) << unchecked.err;
  std::vector<uint8_t> expected = Pages(100, 120);
  const std::vector<uint8_t> head = Pages(0, 100);
  expected.insert(expected.end(), head.begin(), head.end());
  EXPECT_EQ(testing::ReadWholeFile(Path("o.mdf")), expected);
}

TEST_F(CliSavedScan, ScanSavesWhatOpenAndExtractReadWithoutTheDisk) {
  const auto scan = RunCli({"scan", Path("disk.img"), "--disk", "--save-info", Path("cli.txt"),
                            "--save-content", Path("cli-content")});
  ASSERT_EQ(scan.exitCode, 0) << scan.err;
  EXPECT_NE(scan.err.find("success"), std::string::npos) << scan.err;
  // The CLI's saved scan has the lines of the library's (only the random start values differ).
  FragmentTable fromCli, fromLibrary;
  ASSERT_EQ(ReadScanInfoFile(Path("cli.txt"), fromCli).status, ScanInfoReadStatus::kRead);
  ASSERT_EQ(ReadScanInfoFile(Path("scan.txt"), fromLibrary).status, ScanInfoReadStatus::kRead);
  ASSERT_EQ(fromCli.size(), fromLibrary.size());
  for (size_t i = 0; i < fromCli.size(); ++i) EXPECT_EQ(fromCli.Line(i), fromLibrary.Line(i));

  std::filesystem::remove(Path("disk.img"));
  const auto open = RunCli({"open", Path("cli.txt"), "--content", Path("cli-content"), "--json"});
  ASSERT_EQ(open.exitCode, 0) << open.err;
  EXPECT_EQ(nlohmann::json::parse(open.out)["fragments"].size(), 3u);
  const auto extract = RunCli({"extract", "--info", Path("cli.txt"), "--content",
                               Path("cli-content"), "--rows", "all", "--combined", Path("o.mdf")});
  ASSERT_EQ(extract.exitCode, 0) << extract.err;
  EXPECT_EQ(testing::ReadWholeFile(Path("o.mdf")), mdf_);
}

TEST_F(CliSavedScan, ScanRefusesToSaveOverItsSource) {
  const std::vector<uint8_t> image = testing::ReadWholeFile(Path("disk.img"));
  const auto r = RunCli({"scan", Path("disk.img"), "--disk", "--save-info", Path("s.txt"),
                         "--save-content", Path("disk.img")});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("error,输出文件就是数据源,不能写入:"), std::string::npos) << r.err;
  EXPECT_EQ(testing::ReadWholeFile(Path("disk.img")), image);
  const auto alone = RunCli({"scan", Path("disk.img"), "--disk", "--save-content", Path("c")});
  EXPECT_EQ(alone.exitCode, 2);
  EXPECT_FALSE(std::filesystem::exists(Path("c")));
}

TEST_F(CliSavedScan, BadInputIsAClearErrorWithStatusTwo) {
  const std::vector<uint8_t> image = testing::ReadWholeFile(Path("disk.img"));
  // A saved scan whose line 2 was cut short; a content file cut short.
  {
    std::ifstream in(Path("scan.txt"), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    std::ofstream(Path("cut.txt"), std::ios::binary) << text.substr(0, text.find('\n') + 20);
  }
  std::filesystem::copy_file(Path("spcontent"), Path("cut-content"));
  std::filesystem::resize_file(Path("cut-content"),
                               std::filesystem::file_size(Path("spcontent")) - 8192);
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"open", Path("cut.txt")}, "error,扫描信息文件第2行无法解码:"},
      {{"open", Path("missing.txt")}, "error,无法打开文件"},
      {{"open", Path("scan.txt"), "--content", Path("cut-content")},
       "error,碎片内容文件与扫描信息不符"},
      {{"extract", "--info", Path("scan.txt"), "--content", Path("spcontent"), "--rows", "1-4",
        "--combined", Path("x")},
       "第4行不存在"},
      {{"extract", "--info", Path("scan.txt"), "--content", Path("spcontent"), "--rows", "2-1",
        "--combined", Path("x")},
       "不是行号"},
      {{"extract", "--info", Path("scan.txt"), "--rows", "all", "--combined", Path("x")},
       "--content"},
      {{"extract", "--info", Path("scan.txt"), "--content", Path("spcontent"), "--rows", "all"},
       "--combined or --separate"},
      {{"extract", Path("disk.img"), "--disk", "--rows", "all", "--combined", Path("disk.img")},
       "error,输出文件就是数据源,不能写入:"},
      {{"extract", "--info", Path("scan.txt"), "--content", Path("spcontent"), "--rows", "all",
        "--combined", Path("spcontent")},
       "error,输出文件就是打开的碎片内容文件,不能写入:"},
  };
  for (const Case& c : cases) {
    const auto r = RunCli(c.args);
    EXPECT_EQ(r.exitCode, 2) << c.args[0] << " " << c.args[1] << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.message << "\n" << r.err;
  }
  EXPECT_EQ(testing::ReadWholeFile(Path("disk.img")), image);
}

}  // namespace
}  // namespace pagerake
