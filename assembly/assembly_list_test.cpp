// The assembly list and CHECK: rebuild from the flags, the buttons following the sort column,
// numeric order, adding ticked rows (also from a filtered list), the LSN annotation, and the
// missing pages that CHECK names.
#include "assembly/assembly_list.h"

#include <gtest/gtest.h>

#include "assembly/missing_pages.h"
#include "page/byte_order.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

std::vector<int32_t> BeginPages(const AssemblyListModel& m) {
  std::vector<int32_t> pages;
  for (const FragmentRow& r : m.list.rows) pages.push_back(r.beginPage);
  return pages;
}

TEST(AssemblyList, FollowsTheFlagsAndTheSortColumn) {
  FragmentTable table;
  table.Append(MakeFragmentRecord(1, 5000, 10, 10, " ", 1));
  table.Append(MakeFragmentRecord(2, 1000, 9, 0, "D:\\A.mdf", 1));
  table.Append(MakeFragmentRecord(3, 3000, 5, 9, " ", 1));
  table.Append(MakeFragmentRecord(4, 7000, 5, 40, " ", 1));
  std::vector<int32_t> flags = {1, 1, 0, 0};
  AssemblyListModel model;
  int32_t sortColumn = 0;
  RebuildAssemblyList(table, flags, model);
  EXPECT_EQ(BeginPages(model), (std::vector<int32_t>{10, 0}));
  EXPECT_EQ(model.list.rows[1].number, 2);
  EXPECT_EQ(model.list.rows[1].ImageIndex(), 1);
  EXPECT_FALSE(model.Button2 || model.Button5);
  EXPECT_TRUE(model.Button6);

  // Ticked rows of a fragment list that a filter has numbered anew: found by their start sector.
  FragmentListModel fragments;
  fragments.AppendRecord(table[2]);
  fragments.AppendRecord(table[3]);
  fragments.rows[0].checked = true;
  ClickAssemblyColumn(model, kColEndPage, sortColumn);
  EXPECT_FALSE(model.Button2 || model.Button5 || model.Button6);
  ClickAssemblyColumn(model, kColBeginPage, sortColumn);
  EXPECT_TRUE(model.Button2 && model.Button5 && model.Button6);
  AddCheckedToAssembly(fragments, table, flags, model);
  EXPECT_EQ(flags, (std::vector<int32_t>{1, 1, 1, 0}));
  EXPECT_EQ(BeginPages(model), (std::vector<int32_t>{10, 0, 9}));  // table order again
  EXPECT_TRUE(model.Button2 && model.Button5 && model.Button6);
  ClickAssemblyColumn(model, kColBeginPage, sortColumn);
  EXPECT_EQ(BeginPages(model), (std::vector<int32_t>{0, 9, 10}));  // 9 before 10
  EXPECT_EQ(sortColumn, kColBeginPage);
}

TEST(AssemblyList, NamesAndLsnsOfFragmentListRows) {
  testing::TempDir dir;
  testing::MdfOptions options;
  auto file = testing::BuildMdf(options);
  StoreLe32(file.data() + 40, 1);  // page 0's LSN: 00000001:00000010:0002
  StoreLe32(file.data() + 44, 0x10);
  StoreLe16(file.data() + 48, 2);
  testing::DiskImage image(4000, 4);
  image.PutFilePages(1000, file, 0, 4);
  image.PutFilePages(2000, file, 0, 40);
  ASSERT_TRUE(image.Write(dir.File("disk.img")));
  const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
  PageAccess pages;
  FragmentListModel fragments;
  fragments.AppendRecord(MakeFragmentRecord(1, 1000, 4, 0, " x ", 1));
  fragments.AppendRecord(MakeFragmentRecord(2, 2000, 40, 0, " ", 1));
  testing::ScriptedHost host;
  fragments.rows[1].checked = true;
  ShowCheckedFileNames(fragments, pages, source, host);
  fragments.rows[0].checked = true;  // [0,4) first: page 32 is not in it, the command ends
  ShowCheckedFileNames(fragments, pages, source, host);
  AnnotateStartLsn(fragments, pages, source, host);
  EXPECT_EQ(host.messageTexts(), (std::vector<std::string>{"D:\\DATA\\DEMO.mdf", "处理完毕"}));
  EXPECT_EQ(fragments.rows[0].memo, "x 00000001000000100002");
}

TEST(CheckMissingPages, NamesPfsAndAllocatedPagesInHoles) {
  auto rows = [](std::vector<std::pair<int32_t, int32_t>> ranges) {
    std::vector<FragmentRow> out;
    for (auto [b, e] : ranges) {
      FragmentRow r;
      r.beginPage = b;
      r.endPage = e;
      out.push_back(r);
    }
    return out;
  };
  PageMap map;
  map.Reset(9000);
  for (int p : {5, 8050, 8099}) map.Find(p)->allocState = kAllocated;
  map.Find(8051)->allocState = kAllocFree;
  struct Case {
    const char* what;
    std::vector<FragmentRow> rows;
    int32_t size;
    std::vector<std::string> memo;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"no holes", rows({{0, 100}, {100, 200}}), 200, {"检测完毕"}, {}},
      {"a hole over the second PFS page", rows({{0, 8000}, {8100, 9000}}), 9000,
       {"缺少重要的PFS页面8088", "缺少页面8050", "缺少页面8099", "检测完毕"}, {}},
      {"one page of ten", rows({{0, 1}}), 10, {"缺少重要的PFS页面1", "缺少页面5", "检测完毕"}, {}},
      {"exactly one interval", rows({{0, 8000}}), 8088, {"缺少页面8050", "检测完毕"}, {}},
      {"overlapping rows", rows({{0, 100}, {50, 200}}), 200, {}, {"error"}},
      {"not from page 0", rows({{3, 100}}), 200, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ScriptedHost host;
    const MissingPages found = CheckMissingPages(c.rows, c.size, map, host);
    EXPECT_EQ(host.memo(Memo::kAssembly), c.memo);
    EXPECT_EQ(host.messageTexts(), c.messages);
    EXPECT_EQ(found.checked, !c.memo.empty());
  }
}

}  // namespace
}  // namespace pagerake
