// A saved scan outlives the medium it was made from: a real database file written in pieces onto
// a disk image is scanned, saved with its fragment content, and opened again in a fresh session
// after the image is gone; every page read back through page access is the original page.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app/scan_command.h"
#include "app/session.h"
#include "app/source_choice.h"
#include "fragments/page_access.h"
#include "fragments/random_source.h"
#include "fragments/scan_info_file.h"
#include "page/page_content.h"
#include "tests/support/corpus.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::ScriptedHost;

TEST(ScanInfoRoundTrip, EveryPageComesBackFromTheContentFileAfterTheImageIsGone) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::vector<uint8_t> mdf =
      testing::ReadWholeFile((testing::CorpusDir() / "r06.mdf").string());
  const auto filePages = static_cast<int32_t>(mdf.size() / kPageSize);
  ASSERT_EQ(filePages, 416);

  // 1. The file in three pieces on a disk of other data, the first starting before sector 15.
  testing::TempDir dir;
  testing::DiskImage image(40000, 17);
  image.PutFilePages(8, mdf, 0, 150);
  image.PutFilePages(12000, mdf, 150, 100);
  image.PutFilePages(30000, mdf, 250, filePages - 250);
  const std::string imagePath = dir.File("disk.img");
  ASSERT_TRUE(image.Write(imagePath));

  // 2. Scan it and save the scan with its content.
  ScriptedHost host;
  {
    Session session;
    ASSERT_TRUE(OpenImageSource(session, host, imagePath, SourceLayout::kWholeDisk));
    ASSERT_TRUE(ClickScanButton(session, host));
    session.jobs.JoinAll();
    ASSERT_FALSE(session.fragmentTable.empty());
    SeededRandomSource random;
    const SaveScanInfoResult saved =
        SaveScanInfoFiles(dir.File("scan.txt"), dir.File("spcontent"), session.fragmentTable,
                          session.dataSource, PageAccess(), 8, random, host);
    ASSERT_FALSE(saved.failed) << host.messageTexts().back();
  }
  std::filesystem::remove(imagePath);

  // 3. A fresh session opens both files.
  Session fresh;
  PageAccess pages;
  int16_t sectorsPerCluster = 0;
  std::string edtsecs;
  const OpenScanInfoResult opened = OpenScanInfoFiles(
      {fresh.fragmentTable, fresh.fragmentList, fresh.pageOrderIndex, pages, sectorsPerCluster,
       edtsecs},
      dir.File("scan.txt"), dir.File("spcontent"), host);
  ASSERT_FALSE(opened.failed) << host.messageTexts().back();
  EXPECT_EQ(edtsecs, "8");
  EXPECT_EQ(fresh.fragmentList.rows.size(), fresh.fragmentTable.size());
  EXPECT_EQ(fresh.pageOrderIndex.size(), fresh.fragmentTable.size());

  // 4. Every page of every fragment is the file's page of that number; together the fragments
  //    cover every page of the file that is not all zero.
  std::vector<bool> covered(filePages, false);
  std::vector<uint8_t> page(kPageSize);
  for (const FragmentRecord& r : fresh.fragmentTable) {
    ASSERT_EQ(r.fileId, 1);
    for (int32_t p = 0; p < r.Pages(); ++p) {
      const int32_t id = r.beginPage + p;
      ASSERT_LT(id, filePages);
      ASSERT_TRUE(pages.ReadFragmentSectors(fresh.dataSource, r.fsec, 16 * p, 16, page.data()));
      ASSERT_EQ(0, std::memcmp(page.data(), mdf.data() + int64_t{id} * kPageSize, kPageSize))
          << "page " << id;
      covered[id] = true;
    }
  }
  for (int32_t id = 0; id < filePages; ++id) {
    if (!IsZeroPage(mdf.data() + int64_t{id} * kPageSize)) {
      EXPECT_TRUE(covered[id]) << "page " << id << " was not found";
    }
  }
  // The first piece's lead block: the 8 sectors the image has and 7 zero sectors before them.
  std::vector<uint8_t> lead(7680, 0xFF);
  ASSERT_TRUE(pages.ReadFragmentSectors(fresh.dataSource, 8, -15, 15, lead.data()));
  for (int i = 0; i < 7 * 512; ++i) ASSERT_EQ(lead[i], 0) << i;
  EXPECT_EQ(0, std::memcmp(lead.data() + 7 * 512, image.bytes().data(), 8 * 512));
}

}  // namespace
}  // namespace pagerake
