#include "app/source_menu.h"

#include <gtest/gtest.h>

#include "app/startup_image.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"
#include "tests/support/volume_builder.h"

namespace pagerake {
namespace {

using testing::ScriptedHost;

DiskEntry Disk(int number, const std::string& path, bool removable = false) {
  return {number, path, 2000000, removable, DiskLabel(number, removable, 2000000)};
}

PartitionEntry Partition(uint8_t drive, const std::string& root, const std::string& name) {
  return {drive, root, root, name, PartitionLabel(root, name)};
}

// Kind, name, caption, tag and device of each entry, in order.
std::vector<std::string> Describe(const SourceMenu& menu) {
  std::vector<std::string> rows;
  for (const SourceMenuItem& i : menu.items) {
    rows.push_back(std::to_string(static_cast<int>(i.kind)) + "|" + i.name + "|" + i.caption +
                   "|" + std::to_string(i.tag) + "|" + i.devicePath);
  }
  return rows;
}

TEST(SourceMenu, ImageEntryThenDisksThenPartitionsBetweenSeparators) {
  struct Case {
    const char* name;
    std::vector<DiskEntry> disks;
    std::vector<PartitionEntry> partitions;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"two disks, two partitions",
       {Disk(0, "\\\\.\\PhysicalDrive0"), Disk(1, "\\\\.\\PhysicalDrive1", true)},
       {Partition(3, "C:\\", "System"), Partition(4, "D:\\", "")},
       {"0|N7|打开镜像文件|-1|", "1|N8|-|-1|",
        "2||本地磁盘 0 (976.56 MB) |0|\\\\.\\PhysicalDrive0",
        "2||可移动存储 1 (976.56 MB) |1|\\\\.\\PhysicalDrive1", "1||-|-1|",
        "3||逻辑分区 C:\\ [SYSTEM] |0|C:\\", "3||逻辑分区 D:\\ [] |1|D:\\"}},
      {"nothing found", {}, {}, {"0|N7|打开镜像文件|-1|", "1|N8|-|-1|", "1||-|-1|"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Describe(BuildSourceMenu(c.disks, c.partitions)), c.expected);
  }
  // The label tables hold no more than 31 disks and 26 partitions.
  const SourceMenu full =
      BuildSourceMenu(std::vector<DiskEntry>(40, Disk(0, "/dev/sda")),
                      std::vector<PartitionEntry>(30, Partition(0, "/dev/sda1", "")));
  EXPECT_EQ(full.disks.size(), 31u);
  EXPECT_EQ(full.partitions.size(), 26u);
  EXPECT_EQ(full.items.size(), 2u + 31u + 1u + 26u);
}

TEST(SourceMenu, ChoosingAnEntryRunsItsHandlerWithItsEntry) {
  testing::TempDir dir;
  testing::SectorImage volume(4096);
  volume.Put(0, testing::Fat32BootSector(8, 32, 300));
  ASSERT_TRUE(volume.WriteTo(dir.File("vol.img")));
  ASSERT_TRUE(testing::SectorImage(8192).WriteTo(dir.File("disk.img")));
  const SourceMenu menu =
      BuildSourceMenu({Disk(0, dir.File("none.img")), Disk(1, dir.File("disk.img"))},
                      {Partition(0, dir.File("vol.img"), "Data")});
  Session session;
  ScriptedHost host;
  EXPECT_FALSE(ChooseSourceMenuItem(session, host, menu, 1));  // N8
  EXPECT_FALSE(ChooseSourceMenuItem(session, host, menu, menu.items.size()));
  EXPECT_FALSE(session.dataSource.sourceChosen);

  ASSERT_TRUE(ChooseSourceMenuItem(session, host, menu, 3));  // the second disk
  EXPECT_EQ(session.edtDataStr, "本地磁盘 1 (976.56 MB) ");
  EXPECT_EQ(session.dataSource.devicePath, dir.File("disk.img"));
  ASSERT_TRUE(ChooseSourceMenuItem(session, host, menu, 5));  // the partition
  EXPECT_EQ(session.edtDataStr, dir.File("vol.img") + " [DATA]");
  EXPECT_TRUE(session.dataSource.isPartition);
  EXPECT_EQ(session.fields.label5, "FAT32");

  host.openAnswers.push_back(dir.File("disk.img"));
  host.messageAnswers.push_back(MessageResult::kNo);  // a whole disk
  ASSERT_TRUE(ChooseSourceMenuItem(session, host, menu, 0));  // N7
  EXPECT_EQ(session.edtDataStr, dir.File("disk.img"));
  EXPECT_FALSE(session.dataSource.isPartition);
  EXPECT_EQ(host.messageTexts().size(), 1u);  // only the image question
}

// An image named on the command line is the user's; only the demo's own is called the demo image.
TEST(StartupImage, NamesTheUsersImageAsAnImageAndTheDemosAsTheDemo) {
  struct Case {
    std::vector<std::string> args;
    std::optional<std::string> firstLine;
  };
  const Case cases[] = {
      {{"pagerake"}, std::nullopt},
      {{"pagerake", "/data/disk.img"}, "镜像文件(IMAGE FILE): /data/disk.img"},
      {{"pagerake", "--demo", "build/demo/disk.img"}, "演示镜像(DEMO IMAGE): build/demo/disk.img"},
  };
  for (const Case& c : cases) {
    const std::optional<StartupImage> image = StartupImageOf(c.args);
    ASSERT_EQ(image.has_value(), c.firstLine.has_value());
    if (!image) continue;
    const std::vector<std::string> lines = StartupImageLines(*image);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], *c.firstLine);
  }
}

}  // namespace
}  // namespace pagerake
