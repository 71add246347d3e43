// The free-space preparation of a scan: its memo line, the bitmap file for very large sources,
// and its messages.
#include "volume/bitmap_preparation.h"

#include <filesystem>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"
#include "tests/support/volume_builder.h"

namespace pagerake {
namespace {

using testing::ScriptedHost;

constexpr int64_t kLarge = 2000000001;

// A small NTFS image whose $Bitmap is one 4 KiB cluster of 0xFF at cluster 100.
std::string NtfsImage(const testing::TempDir& dir) {
  testing::SectorImage image(1024);
  image.Put(0, testing::NtfsBootSector(8, 4));
  testing::BitmapRecordSpec record;
  record.runs = {{100, 1}};
  image.Put(44, testing::ProtectFileRecord(testing::LogicalBitmapRecord(record)));
  image.Put(800, std::vector<uint8_t>(4096, 0xFF));
  const std::string path = dir.File("ntfs.img");
  EXPECT_TRUE(image.WriteTo(path));
  return path;
}

TEST(BitmapPreparation, MemoLineCarriesTheDateAndTimeAndSmallSourcesStayInMemory) {
  testing::TempDir dir;
  const DataSource source = testing::ChosenImageVolume(NtfsImage(dir));
  FreeSpaceBitmap bitmap;
  ScriptedHost host;
  for (int64_t end : {int64_t{1024}, int64_t{2000000000}}) {
    ASSERT_TRUE(PrepareFreeSpaceBitmap(bitmap, source, end, host));
    EXPECT_FALSE(bitmap.bitmapToFile());
    EXPECT_EQ(bitmap.memory().size(), 4096u);
    EXPECT_TRUE(bitmap.IsSectorInUse(source, 8 * 4096 * 8 - 1));
  }
  EXPECT_TRUE(host.dialogRequests().empty());
  EXPECT_TRUE(host.messages().empty());
  const auto memo = host.memo(Memo::kSource);
  ASSERT_EQ(memo.size(), 2u);
  EXPECT_TRUE(std::regex_match(memo[0], std::regex("正在取分区存储位图\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d")))
      << memo[0];
}

TEST(BitmapPreparation, LargeSourceOffersTheBitmapFileAndUsesIt) {
  testing::TempDir dir;
  const DataSource source = testing::ChosenImageVolume(NtfsImage(dir));
  ASSERT_TRUE(testing::WriteFile(dir.File("bitmap"), std::vector<uint8_t>(9000, 1)));  // replaced
  FreeSpaceBitmap bitmap;
  ScriptedHost host;
  host.saveAnswers.push_back(dir.File("bitmap"));
  ASSERT_TRUE(PrepareFreeSpaceBitmap(bitmap, source, kLarge, host));
  ASSERT_EQ(host.dialogRequests().size(), 1u);
  EXPECT_EQ(host.dialogRequests()[0].title, "保存位图文件,别保存到扫描分区,以防止覆盖");
  EXPECT_EQ(host.dialogRequests()[0].proposedName, "bitmap");
  EXPECT_TRUE(bitmap.bitmapToFile());
  EXPECT_TRUE(bitmap.memory().empty());
  EXPECT_TRUE(bitmap.IsSectorInUse(source, 0));
  bitmap.CloseFile();
  EXPECT_EQ(std::filesystem::file_size(dir.File("bitmap")), 4096u);

  // The next scan of a small source is back in memory.
  ASSERT_TRUE(PrepareFreeSpaceBitmap(bitmap, source, 100, host));
  EXPECT_FALSE(bitmap.bitmapToFile());
  EXPECT_EQ(bitmap.memory().size(), 4096u);
}

TEST(BitmapPreparation, CancelledDialogKeepsTheBitmapInMemoryAndSaysSo) {
  testing::TempDir dir;
  const DataSource source = testing::ChosenImageVolume(NtfsImage(dir));
  FreeSpaceBitmap bitmap;
  ScriptedHost host;  // no answer: the dialog is cancelled
  ASSERT_TRUE(PrepareFreeSpaceBitmap(bitmap, source, kLarge, host));
  EXPECT_FALSE(bitmap.bitmapToFile());
  EXPECT_EQ(bitmap.memory().size(), 4096u);
  const auto memo = host.memo(Memo::kSource);
  ASSERT_EQ(memo.size(), 2u);
  EXPECT_EQ(memo[1], "未选择位图文件,位图保存在内存中");
  EXPECT_TRUE(host.messages().empty());
}

TEST(BitmapPreparation, FileThatCannotBeCreatedEndsTheJob) {
  testing::TempDir dir;
  const std::string imagePath = NtfsImage(dir);
  const DataSource source = testing::ChosenImageVolume(imagePath);
  const auto imageSize = std::filesystem::file_size(imagePath);
  for (const std::string& answer : {dir.File("missing/folder/bitmap"), imagePath}) {
    FreeSpaceBitmap bitmap;
    ScriptedHost host;
    host.saveAnswers.push_back(answer);
    EXPECT_FALSE(PrepareFreeSpaceBitmap(bitmap, source, kLarge, host)) << answer;
    ASSERT_EQ(host.messages().size(), 1u) << answer;
    EXPECT_EQ(host.messages()[0].text, "error,无法创建文件");
    EXPECT_EQ(host.messages()[0].caption, "提示");
  }
  // Choosing the data source itself did not overwrite it.
  EXPECT_EQ(std::filesystem::file_size(imagePath), imageSize);
  EXPECT_EQ(testing::ChosenImageVolume(imagePath).fsName, "NTFS");
}

TEST(BitmapPreparation, FailedBuildEndsWithItsMessage) {
  testing::TempDir dir;
  testing::SectorImage image(40);  // no $Bitmap record
  image.Put(0, testing::NtfsBootSector(8, 4));
  ASSERT_TRUE(image.WriteTo(dir.File("cut.img")));
  const DataSource source = testing::ChosenImageVolume(dir.File("cut.img"));
  FreeSpaceBitmap bitmap;
  ScriptedHost host;
  EXPECT_FALSE(PrepareFreeSpaceBitmap(bitmap, source, 40, host));
  EXPECT_EQ(host.messageTexts(), (std::vector<std::string>{"44sec2读bitmap错误", "取$bitmap文件失败",
                                                           "生成存储位图失败"}));
  for (const auto& m : host.messages()) EXPECT_EQ(m.caption, "提示");
}

}  // namespace
}  // namespace pagerake
