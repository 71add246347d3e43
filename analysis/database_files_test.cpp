// ListDatabaseFiles: which fragments become rows, and the names read again from a content file.
#include "analysis/database_files.h"

#include <fstream>

#include <gtest/gtest.h>

#include "fragments/content_file_writer.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::ScriptedHost;

TEST(ListDatabaseFiles, ListsShownFileStartsAndReadsNamesAgainFromAContentFile) {
  testing::TempDir dir;
  testing::DiskImage image(8192, 5);
  testing::MdfOptions options;
  options.recordedName = "D:\\DATA\\SALES.mdf";
  image.PutFilePages(1000, testing::BuildMdf(options), 0, 40);  // page 0 records 64 pages
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));

  FragmentTable table;
  table.Append(MakeFragmentRecord(1, 1000, 40, 0, "D:\\DATA\\SALES.mdf(0.50 MB)", 1));
  table.Append(MakeFragmentRecord(2, 3000, 10, 5, " ", 1));   // not a file's start
  table.Append(MakeFragmentRecord(3, 4000, 20, 0, "无效文件头,size:512KB", 1));
  table.Append(MakeFragmentRecord(4, 5000, 40, 0, "junk(1.00 MB)", 2));  // page 0 is random
  table.Append(MakeFragmentRecord(5, 6000, 40, 0, "hidden(1.00 MB)", 3));
  table[4].shown = false;

  // Live source: the memos, in table order, nothing read.
  PageAccess pages;
  DatabaseFileList list;
  list.selected = 0;
  ScriptedHost host;
  ListDatabaseFiles(table, pages, source, list, host);
  ASSERT_EQ(list.rows.size(), 3u);
  EXPECT_EQ(list.selected, -1);
  EXPECT_EQ(list.rows[0].name, "D:\\DATA\\SALES.mdf(0.50 MB)");
  EXPECT_EQ(list.rows[1].number, 2);
  EXPECT_EQ(list.rows[1].fsec, 4000);
  EXPECT_EQ(list.rows[1].esec, 4320);
  EXPECT_EQ(list.rows[1].sizeKB, 160);
  EXPECT_EQ(list.rows[1].endPage, 20);
  EXPECT_EQ(list.rows[2].name, "junk(1.00 MB)");
  EXPECT_TRUE(host.messages().empty());

  // From a content file: the 40-page start gets its recorded name and size, the 20-page one keeps
  // its memo, the random one keeps its memo after saying why.
  {
    std::ofstream out(dir.File("spcontent"), std::ios::binary);
    ASSERT_EQ(WriteFragmentContent(out, table, source, 0x13579BDF, 8, host),
              ContentWriteStatus::kDone);
  }
  ASSERT_EQ(pages.OpenContentFile(dir.File("spcontent"), table).status, ContentOpenStatus::kOpened);
  ListDatabaseFiles(table, pages, source, list, host);
  ASSERT_EQ(list.rows.size(), 3u);
  EXPECT_EQ(list.rows[0].name, "D:\\DATA\\SALES.mdf:512KB");
  EXPECT_EQ(list.rows[1].name, "无效文件头,size:512KB");
  EXPECT_EQ(list.rows[2].name, "junk(1.00 MB)");
  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_EQ(host.messages()[0].text, "get file size error");
  EXPECT_EQ(host.messages()[0].caption, "mess");

  // A table without a file's first page gives an empty list.
  FragmentTable none;
  none.Append(MakeFragmentRecord(1, 3000, 10, 5, " ", 1));
  ListDatabaseFiles(none, pages, source, list, host);
  EXPECT_TRUE(list.rows.empty());
}

}  // namespace
}  // namespace pagerake
