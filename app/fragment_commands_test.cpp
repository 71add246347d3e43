// The fragment-list tab's commands on a Session: a scan's table saved, opened by a fresh session
// with the disk gone, and extracted from the saved content alone.
#include "app/fragment_commands.h"

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/scan_command.h"
#include "app/source_choice.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::ScriptedHost;

class FragmentCommandsTest : public ::testing::Test {
 protected:
  // A 60-page database file in two pieces on a disk of random bytes, scanned by the session.
  void ScanDisk(Session& session) {
    testing::MdfOptions options;
    options.pages = 60;
    original = testing::BuildMdf(options);
    testing::DiskImage image(8192, 7);
    image.PutFilePages(1000, original, 0, 40);
    image.PutFilePages(3000, original, 40, 20);
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    ASSERT_TRUE(OpenImageSource(session, host, dir.File("disk.img"), SourceLayout::kWholeDisk));
    ASSERT_TRUE(StartScan(session, host));
    session.jobs.JoinAll();
    ASSERT_EQ(session.fragmentTable.size(), 2u);
    ASSERT_EQ(session.fragmentList.rows.size(), 2u);
  }

  testing::TempDir dir;
  ScriptedHost host;
  std::vector<uint8_t> original;
};

TEST_F(FragmentCommandsTest, SavedScanOpensInAFreshSessionAndExtractsWithoutTheDisk) {
  {
    Session scanning;
    ScanDisk(scanning);
    host.saveAnswers = {dir.File("scan.info"), dir.File("scan.content")};
    host.messageAnswers = {MessageResult::kYes};  // save the content too
    ClickSave(scanning, host);
    EXPECT_EQ(host.messageTexts().back(), "success");
  }
  std::filesystem::remove(dir.File("disk.img"));

  Session fresh;
  ScriptedHost h;
  h.openAnswers = {dir.File("scan.info"), dir.File("scan.content")};
  h.messageAnswers = {MessageResult::kYes};
  ClickOpen(fresh, h);
  EXPECT_EQ(fresh.activeTab, 1);
  ASSERT_EQ(fresh.fragmentTable.size(), 2u);
  EXPECT_EQ(fresh.pageOrderIndex.size(), 2u);
  EXPECT_FALSE(fresh.pageAccess.LiveSourceMode());

  // Tick both rows and write them into one file: the original comes back.
  fresh.fragmentList.rows[0].checked = fresh.fragmentList.rows[1].checked = true;
  h.messageAnswers = {MessageResult::kYes, MessageResult::kYes};  // combined, check the order
  h.saveAnswers = {dir.File("recovered.mdf")};
  ExtractCheckedCommand(fresh, h);
  EXPECT_EQ(h.messageTexts().back(), "保存完毕");
  EXPECT_EQ(testing::ReadWholeFile(dir.File("recovered.mdf")), original);

  // A data source chosen afterwards is read from then on, not the content file.
  testing::DiskImage other(8192, 11);
  ASSERT_TRUE(other.Write(dir.File("other.img")));
  ASSERT_TRUE(OpenImageSource(fresh, h, dir.File("other.img"), SourceLayout::kWholeDisk));
  std::vector<uint8_t> page(8192);
  ASSERT_TRUE(fresh.pageAccess.ReadFragmentSectors(fresh.dataSource, 1000, 0, 16, page.data()));
  EXPECT_TRUE(std::equal(page.begin(), page.end(), other.bytes().begin() + 1000 * 512));
}

TEST_F(FragmentCommandsTest, SortIsRefusedWhileAScanRunsAndFilterUsesTheSessionSettings) {
  Session session;
  ScanDisk(session);
  session.scanStopped = false;  // as while a scan runs
  ClickFragmentColumn(session, kColFsec);
  EXPECT_EQ(session.sortColumn, 0);
  session.scanStopped = true;
  ClickFragmentColumn(session, kColBeginPage);
  EXPECT_EQ(session.sortColumn, kColBeginPage);

  session.fragmentFilter.mode = FilterMode::kContainsPage;
  session.fragmentFilter.pageText = "45";
  ClickFilter(session, host);
  ASSERT_EQ(session.fragmentList.rows.size(), 1u);
  EXPECT_EQ(session.fragmentList.rows[0].beginPage, 40);

  session.fragmentFilter.pageText = "x";
  ClickFilter(session, host);
  EXPECT_EQ(session.fragmentList.rows.size(), 1u);  // nothing changed
  EXPECT_NE(host.messageTexts().back().find("不是数字"), std::string::npos);
}

}  // namespace
}  // namespace pagerake
