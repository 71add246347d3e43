// pagerake-cli volume on synthetic volumes: its text and JSON, the bitmap file of a very large
// source, and bad input. (A real FAT32 volume: volume_images_test.cpp.)
#include <filesystem>
#include <random>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "tests/support/run_cli.h"
#include "tests/support/volume_builder.h"

namespace pagerake {
namespace {

using testing::RunCli;

// NTFS with `spc` sectors per cluster, MFT at cluster 4, whose $Bitmap (one cluster at cluster
// 20) marks clusters 0..9 and 16 in use; on a small volume also bits far beyond its end.
std::string NtfsVolume(const testing::TempDir& dir, int64_t sectors, uint8_t spc = 8,
                       bool brokenRecord = false) {
  const bool spareBits = sectors / spc < spc * 512 * 8 - 8;
  testing::SectorImage image(sectors);
  image.Put(0, testing::NtfsBootSector(spc, 4));
  testing::BitmapRecordSpec record;
  record.runs = {{20, 1}};
  record.bytesPerCluster = spc * 512;
  auto disk = testing::ProtectFileRecord(testing::LogicalBitmapRecord(record));
  if (brokenRecord) disk[1022] ^= 1;
  image.Put(4 * spc + 12, disk);
  std::vector<uint8_t> bitmap(spc * 512, 0);
  bitmap[0] = 0xFF;
  bitmap[1] = 0x03;
  bitmap[2] = 0x01;
  if (spareBits) bitmap.back() = 0xFF;  // past the volume's last cluster
  image.Put(20 * spc, bitmap);
  const std::string path = dir.File("ntfs.img");
  EXPECT_TRUE(image.WriteTo(path));
  return path;
}

TEST(CliVolume, TextReportOfAnNtfsVolumeCountsOnlyItsOwnClusters) {
  testing::TempDir dir;
  const auto r = RunCli({"volume", NtfsVolume(dir, 800)});  // 100 clusters of 8 sectors
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("file system           NTFS\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("MFT cluster           4\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("clusters              100 (0 .. 99)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("clusters in use       11\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("clusters free         89\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("FAT sectors"), std::string::npos);
}

TEST(CliVolume, LargeSourceUsesTheBitmapFileOrKeepsItInMemory) {
  testing::TempDir dir;
  const int64_t sectors = 2000000000 + 1024;  // sparse: about 1 TB that takes no space
  const std::string image = NtfsVolume(dir, sectors, 128);
  const auto kept = RunCli({"volume", image, "--json"});
  ASSERT_EQ(kept.exitCode, 0) << kept.err;
  EXPECT_NE(kept.err.find("未选择位图文件,位图保存在内存中"), std::string::npos) << kept.err;
  EXPECT_EQ(nlohmann::json::parse(kept.out)["clusters_in_use"], 11);

  const auto filed = RunCli({"volume", image, "--json", "--bitmap-file", dir.File("bitmap")});
  ASSERT_EQ(filed.exitCode, 0) << filed.err;
  EXPECT_NE(filed.err.find("保存位图文件,别保存到扫描分区,以防止覆盖"), std::string::npos) << filed.err;
  EXPECT_EQ(std::filesystem::file_size(dir.File("bitmap")), 128u * 512);
  const auto doc = nlohmann::json::parse(filed.out);
  EXPECT_EQ(doc["clusters_in_use"], 11);
  EXPECT_EQ(doc["clusters_free"], sectors / 128 - 11);
  EXPECT_EQ(doc["source_sectors"], sectors);

  const auto over = RunCli({"volume", image, "--bitmap-file", image});
  EXPECT_EQ(over.exitCode, 2);
  EXPECT_NE(over.err.find("error,无法创建文件"), std::string::npos) << over.err;
  EXPECT_EQ(std::filesystem::file_size(image), static_cast<uintmax_t>(sectors) * 512);
}

TEST(CliVolume, UnrecognisedVolumeStillPrintsWhatItRead) {
  testing::TempDir dir;
  std::vector<uint8_t> noise(64 * 512);
  std::mt19937 rng(7);
  for (auto& b : noise) b = static_cast<uint8_t>(rng());
  noise[13] = 16;
  ASSERT_TRUE(testing::WriteFile(dir.File("noise.img"), noise));
  const auto r = RunCli({"volume", dir.File("noise.img"), "--json"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("既不是 NTFS 也不是 FAT32"), std::string::npos) << r.err;
  const auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["fs"], "不可识别");
  EXPECT_EQ(doc["sectors_per_cluster"], 16);
  EXPECT_EQ(doc["source_sectors"], 64);
  EXPECT_TRUE(doc["clusters_in_use"].is_null());
}

TEST(CliVolume, UnreadableSourcesAndBrokenBitmapsAreStatusTwo) {
  testing::TempDir dir;
  const auto missing = RunCli({"volume", dir.File("none.img")});
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_NE(missing.err.find("无法打开"), std::string::npos) << missing.err;

  EXPECT_EQ(RunCli({"volume", dir.path()}).exitCode, 2);

  ASSERT_TRUE(testing::WriteFile(dir.File("empty.img"), {}));
  const auto empty = RunCli({"volume", dir.File("empty.img")});
  EXPECT_EQ(empty.exitCode, 2);
  EXPECT_NE(empty.err.find("512error 读取sec0"), std::string::npos) << empty.err;
  EXPECT_NE(empty.err.find("无法读取"), std::string::npos) << empty.err;

  const auto torn = RunCli({"volume", NtfsVolume(dir, 800, 8, true), "--json"});
  EXPECT_EQ(torn.exitCode, 2);
  EXPECT_NE(torn.err.find("[提示] 取$bitmap文件失败"), std::string::npos) << torn.err;
  EXPECT_NE(torn.err.find("[提示] 生成存储位图失败"), std::string::npos) << torn.err;
  EXPECT_EQ(nlohmann::json::parse(torn.out)["mft_cluster"], 4);

  // A 7168-byte NTFS image whose $Bitmap record (sector 12) has an 8-byte data attribute as its
  // last 8 bytes: refused, nothing read past the record.
  std::vector<uint8_t> tiny(7168, 0);
  tiny[3] = 'N', tiny[4] = 'T', tiny[5] = 'F', tiny[6] = 'S';
  tiny[13] = 1;
  auto put = [&tiny](size_t at, std::initializer_list<uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), tiny.begin() + static_cast<std::ptrdiff_t>(at));
  };
  const size_t rec = 12 * 512;
  put(rec, {'F', 'I', 'L', 'E', 0x30, 0x00, 0x03, 0x00});
  put(rec + 20, {0xF8, 0x03, 0x01, 0x00});
  put(rec + 44, {0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00});
  put(rec + 510, {0x01, 0x00});
  put(rec + 1016, {0x80, 0x00, 0x00, 0x00, 0x08, 0x00, 0x01, 0x00});
  ASSERT_TRUE(testing::WriteFile(dir.File("tiny.img"), tiny));
  const auto shortAttribute = RunCli({"volume", dir.File("tiny.img")});
  EXPECT_EQ(shortAttribute.exitCode, 2);
  EXPECT_NE(shortAttribute.err.find("[提示] 取$bitmap文件失败"), std::string::npos)
      << shortAttribute.err;

  EXPECT_EQ(RunCli({"volume"}).exitCode, 2);
}

}  // namespace
}  // namespace pagerake
