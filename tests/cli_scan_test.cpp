// pagerake-cli scan end to end: the list and JSON it prints, how it chooses the source, its exit
// statuses, and Ctrl-C acting as STOP.
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "app/scan_command.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/volume_builder.h"

namespace pagerake {
namespace {

int32_t PageCount(const std::vector<uint8_t>& file) {
  return static_cast<int32_t>(file.size() / kPageSize);
}

// The same through pagerake-cli: an image with a corpus file in two pieces, as JSON.
TEST(CliScan, FindsACorpusFileInTwoPiecesAsJson) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::vector<uint8_t> file = testing::ReadWholeFile(testing::CorpusDir() / "r06.mdf");
  const int32_t n = PageCount(file);
  testing::TempDir dir;
  testing::DiskImage image(n * 16 + 20000, 11);
  image.PutFilePages(1000, file, 0, 200);
  image.PutFilePages(12000, file, 200, n - 200);
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  const testing::CliResult r = testing::RunCli({"scan", dir.File("disk.img"), "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  ASSERT_EQ(doc["fragments"].size(), 2u);
  EXPECT_EQ(doc["fragments"][0]["fsec"], 1000);
  EXPECT_EQ(doc["fragments"][0]["begin_page"], 0);
  EXPECT_EQ(doc["fragments"][0]["memo"], "C:\\dbs\\northwnd.mdf(3.25 MB)");
  EXPECT_EQ(doc["fragments"][1]["begin_page"], 200);
  EXPECT_EQ(doc["fragments"][1]["sn"], 2);
  EXPECT_EQ(doc["scanned_sectors"], image.sectors());
  EXPECT_NE(r.err.find("开始扫描"), std::string::npos);
  EXPECT_NE(r.err.find("完成"), std::string::npos);
}

TEST(CliScan, PrintsTheFragmentListWithItsColumns) {
  testing::TempDir dir;
  testing::DiskImage image(8192);
  image.PutDataRun(1000, 10, 4, 3);
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  const testing::CliResult r = testing::RunCli({"scan", dir.File("disk.img")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "序号  碎片大小(KB)  开始页面号  结束页面号  备注  开始扇区  结束扇区  fileid\n"
            "   1            32          10          14            1000      1064       3\n");
  // Random bytes at sector 0: a whole disk, every sector from 0.
  EXPECT_NE(r.err.find("扫描了8192个扇区"), std::string::npos) << r.err;
}

TEST(CliScan, OptionsNarrowTheScanAsTheFieldsDo) {
  testing::TempDir dir;
  testing::DiskImage image(8192);
  image.PutDataRun(1000, 10, 4, 1);
  image.PutDataRun(4008, 900, 2, 2);
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  auto pages = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"scan", dir.File("disk.img"), "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    const testing::CliResult r = testing::RunCli(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const nlohmann::json doc = nlohmann::json::parse(r.out);
    std::vector<int> begins;
    for (const auto& f : doc["fragments"]) begins.push_back(f["begin_page"]);
    return begins;
  };
  EXPECT_EQ(pages({}), (std::vector<int>{10, 900}));
  EXPECT_EQ(pages({"--begin", "2000"}), (std::vector<int>{900}));
  EXPECT_EQ(pages({"--end", "2000"}), (std::vector<int>{10}));
  EXPECT_EQ(pages({"--step", "16"}), (std::vector<int>{}));  // 1000 is off the 16-sector grid
  EXPECT_EQ(pages({"--step", "8"}), (std::vector<int>{10, 900}));
  EXPECT_EQ(pages({"--max-begin-page", "900"}), (std::vector<int>{10}));
}

TEST(CliScan, BadInputIsReportedWithStatusTwo) {
  testing::TempDir dir;
  testing::DiskImage image(1024);
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  testing::CliResult r = testing::RunCli({"scan", dir.File("none.img")});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("无法打开数据源"), std::string::npos) << r.err;
  r = testing::RunCli({"scan", dir.File("disk.img"), "--step", "0"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("每簇扇区数"), std::string::npos) << r.err;
  r = testing::RunCli({"scan", dir.File("disk.img"), "--begin", "x"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("开始扇区"), std::string::npos) << r.err;
  r = testing::RunCli({"scan", dir.File("disk.img"), "--begin", "5000", "--end", "6000"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("512error1sec5000"), std::string::npos) << r.err;
  r = testing::RunCli({"scan", dir.File("disk.img"), "--volume", "--disk"});
  EXPECT_EQ(r.exitCode, 2);
}

// A FAT32 boot sector at sector 0 makes the source a volume: the range starts at the data area,
// the step is the cluster size and only free clusters (here all of them) are scanned.
TEST(CliScan, SourceStartingWithAVolumeBootSectorIsScannedAsAVolume) {
  testing::TempDir dir;
  // The range ends with the image, not dataStart sectors behind it: nothing is reported
  // unreadable.
  testing::DiskImage image(16384);
  image.Zero(0, 1024);  // reserved sectors and an empty FAT: every cluster free
  const std::vector<uint8_t> boot = testing::Fat32BootSector(8, 32, 4);
  image.Put(0, boot.data(), boot.size());
  image.PutDataRun(40 + 8 * 100, 10, 2);  // on cluster 102
  image.PutDataRun(44 + 8 * 200, 20, 2);  // not on a cluster boundary
  ASSERT_TRUE(image.Write(dir.File("vol.img")));
  testing::CliResult r = testing::RunCli({"scan", dir.File("vol.img"), "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto doc = nlohmann::json::parse(r.out);
  ASSERT_EQ(doc["fragments"].size(), 1u);
  EXPECT_EQ(doc["fragments"][0]["fsec"], 840);
  EXPECT_NE(r.err.find("正在取分区存储位图"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("512error"), std::string::npos) << r.err;
  EXPECT_EQ(doc["scanned_sectors"], 16384 - 40);
  // As a whole disk every sector is looked at.
  r = testing::RunCli({"scan", dir.File("vol.img"), "--disk", "--json"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out)["fragments"].size(), 2u);
}

// Ctrl-C stops the scan as STOP does: what was found is printed, the status is 130. The signal
// goes once the progress line says the run at sector 0 is in the list, however long that takes.
TEST(CliScan, InterruptStopsTheScanAndPrintsWhatWasFound) {
  testing::TempDir dir;
  const std::string path = dir.File("big.img");
  {
    testing::DiskImage start(64);
    start.PutDataRun(0, 10, 2);
    ASSERT_TRUE(start.Write(path));
  }
  std::filesystem::resize_file(path, int64_t{1} << 40);  // sparse: 1 TiB of zeros to walk
  testing::CliProcess cli({"scan", path});
  ASSERT_TRUE(cli.started());
  ASSERT_TRUE(cli.WaitForError("碎片: 1\n", 300)) << "no progress line counting the run";
  cli.Signal(SIGINT);
  const testing::CliResult r = cli.Wait();
  EXPECT_EQ(r.exitCode, 130) << r.err;
  EXPECT_NE(r.out.find("\n   1"), std::string::npos) << r.out;
  EXPECT_EQ(r.err.find("完成"), std::string::npos) << r.err;
  // The stop message names the sector the scan stopped at; --begin goes on from there.
  const std::string said = "停在扇区";
  const size_t at = r.err.find(said);
  ASSERT_NE(at, std::string::npos) << r.err;
  const int64_t sector = std::stoll(r.err.substr(at + said.size()));
  EXPECT_GT(sector, 32);  // behind the run at sector 0
  EXPECT_NE(r.err.find(StoppedAtLine(sector)), std::string::npos) << r.err;
  const std::string begin = std::to_string(sector);
  const testing::CliResult more = testing::RunCli(
      {"scan", path, "--begin", begin, "--end", std::to_string(sector + 64), "--json"});
  EXPECT_EQ(more.exitCode, 0) << more.err;
  EXPECT_EQ(nlohmann::json::parse(more.out)["scanned_sectors"], 64);
}

}  // namespace
}  // namespace pagerake
