#include "app/source_choice.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "source/read_access.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"
#include "tests/support/volume_builder.h"

namespace pagerake {
namespace {

using testing::ScriptedHost;
using testing::SectorImage;

// Image files standing in for the devices of the menu's entries.
class SourceChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SectorImage volume(4096);
    volume.Put(0, testing::Fat32BootSector(8, 32, 300));  // data from sector 32 + 2 × 300
    ASSERT_TRUE(volume.WriteTo(dir.File("vol.img")));
    ASSERT_TRUE(SectorImage(2048).WriteTo(dir.File("blank.img")));  // 1,048,576 bytes, no volume
    ASSERT_TRUE(SectorImage(8192).WriteTo(dir.File("disk.img")));
    ASSERT_TRUE(testing::WriteFile(dir.File("short.img"), std::vector<uint8_t>(100)));
    ASSERT_TRUE(testing::WriteFile(dir.File("empty.img"), {}));
  }
  DiskEntry Disk(const std::string& file) const {
    return {0, dir.File(file), 8192, false, DiskLabel(0, false, 8192)};
  }
  PartitionEntry Partition(const std::string& file) const {
    return {0, dir.File(file), dir.File(file), "DATA", PartitionLabel(dir.File(file), "DATA")};
  }

  testing::TempDir dir;
};

TEST_F(SourceChoiceTest, ChoosePartitionReadsItsBootSectorOrRefusesIt) {
  struct Case {
    std::string file;
    bool chosen;  // the partition became the source
    bool ok;
    std::vector<std::string> messages;
    int64_t sourceSectors;  // when chosen
    std::string edtbegin, edtend, edtsecs, label5;
    bool chkfreespace;
  };
  // Each case follows the choice of the 8192-sector disk image: where the range fields keep
  // their values, they are the disk's.
  const Case cases[] = {
      // The range ends with the partition's last sector.
      {"vol.img", true, true, {}, 4095, "632", "4096", "8", "FAT32", true},
      {"blank.img", true, true, {}, 2047, "0", "2048", "0", "不可识别", true},
      {"short.img", true, false, {"取分区信息失败"}, -1, "0", "8192", "1", "", false},
      {"empty.img", false, false, {"分区无效！"}, 0, "0", "8192", "1", "", false},
      {"none.img", false, false, {"分区无效！"}, 0, "0", "8192", "1", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Session session;
    ScriptedHost host;
    ASSERT_TRUE(ChooseDisk(session, host, Disk("disk.img")));
    const PartitionEntry partition = Partition(c.file);
    EXPECT_EQ(ChoosePartition(session, host, partition), c.ok);
    EXPECT_EQ(host.messageTexts(), c.messages);
    for (const auto& m : host.messages()) EXPECT_EQ(m.caption, "提示");
    const DataSource& source = session.dataSource;
    EXPECT_EQ(source.isPartition, c.chosen);
    EXPECT_EQ(source.devicePath, c.chosen ? partition.devicePath : dir.File("disk.img"));
    EXPECT_EQ(session.edtDataStr, c.chosen ? partition.label : Disk("disk.img").label);
    if (c.chosen) {
      EXPECT_EQ(source.sourceSectors, c.sourceSectors);
      EXPECT_TRUE(source.isVolume);
      EXPECT_TRUE(session.fields.chkfreespaceEnabled);
    }
    if (c.ok) {
      EXPECT_EQ(source.sourceEnd, c.sourceSectors);
    }
    EXPECT_EQ(session.fields.edtbegin, c.edtbegin);
    EXPECT_EQ(session.fields.edtend, c.edtend);
    EXPECT_EQ(session.fields.edtsecs, c.edtsecs);
    EXPECT_EQ(session.fields.label5, c.label5);
    EXPECT_EQ(session.fields.chkfreespace, c.chkfreespace);
  }
}

TEST_F(SourceChoiceTest, ChooseDiskTakesTheWholeDiskOrKeepsTheEarlierSource) {
  Session session;
  ScriptedHost host;
  ASSERT_TRUE(ChoosePartition(session, host, Partition("vol.img")));
  ASSERT_TRUE(ChooseDisk(session, host, Disk("disk.img")));
  EXPECT_EQ(session.edtDataStr, "本地磁盘 0 (4.00 MB) ");
  EXPECT_FALSE(session.dataSource.isPartition);
  EXPECT_FALSE(session.dataSource.isVolume);
  EXPECT_EQ(session.dataSource.sourceSectors, 8192);
  EXPECT_EQ(session.dataSource.sourceEnd, 8192);
  EXPECT_EQ(session.fields.edtbegin, "0");
  EXPECT_EQ(session.fields.edtend, "8192");
  EXPECT_EQ(session.fields.edtsecs, "1");
  EXPECT_EQ(session.fields.label5, "");
  EXPECT_FALSE(session.fields.chkfreespace);
  EXPECT_FALSE(session.fields.chkfreespaceEnabled);
  EXPECT_TRUE(host.messageTexts().empty());

  // A disk whose size cannot be learnt leaves the disk chosen before, size and all.
  EXPECT_FALSE(ChooseDisk(session, host, Disk("gone.img")));
  EXPECT_EQ(host.messageTexts(),
            (std::vector<std::string>{"无法打开数据源: " + dir.File("gone.img")}));
  EXPECT_EQ(session.dataSource.devicePath, dir.File("disk.img"));
  EXPECT_EQ(session.dataSource.sourceSectors, 8192);
  EXPECT_EQ(session.fields.edtend, "8192");
}

// A source the system refuses to open for lack of permission is refused with the usual message
// and, on a line of its own, how to be given the right; nothing changes.
TEST_F(SourceChoiceTest, UnreadableSourceSaysHowToGetAccess) {
  if (::geteuid() == 0)
    GTEST_SKIP() << "running as root, which may open a file of mode 000: nothing to refuse";
  const std::string locked = dir.File("locked.img");
  ASSERT_TRUE(SectorImage(64).WriteTo(locked));
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  ASSERT_EQ(CheckReadAccess(locked), ReadAccess::kDenied);
  const std::string expected = "无法打开数据源: " + locked + "\n" + ReadPermissionAdvice(locked);
  EXPECT_NE(ReadPermissionAdvice(locked).find("权限"), std::string::npos);

  Session session;
  ScriptedHost host;
  EXPECT_FALSE(OpenImageSource(session, host, locked, SourceLayout::kDetect));
  EXPECT_FALSE(ChooseDisk(session, host, Disk("locked.img")));
  EXPECT_FALSE(ChoosePartition(session, host, Partition("locked.img")));
  EXPECT_EQ(host.messageTexts(), (std::vector<std::string>{expected, expected, expected}));
  for (const auto& m : host.messages()) EXPECT_EQ(m.icon, MessageIcon::kWarning);
  EXPECT_FALSE(session.dataSource.sourceChosen);
  EXPECT_EQ(session.edtDataStr, kDataSourcePrompt);
}

}  // namespace
}  // namespace pagerake
