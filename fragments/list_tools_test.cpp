#include "fragments/list_tools.h"
#include "fragments/option_text.h"

#include <gtest/gtest.h>

#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::ScriptedHost;

// A list with one row per (beginPage, endPage) pair, 8 KB per page, sectors far apart.
FragmentListModel ListOfRanges(const std::vector<std::pair<int32_t, int32_t>>& ranges) {
  FragmentListModel list;
  int64_t fsec = 1000;
  for (auto [begin, end] : ranges) {
    list.AppendRecord(MakeFragmentRecord(1, fsec, end - begin, begin, " ", 1));
    fsec += 100000;
  }
  return list;
}

std::vector<bool> Ticks(const FragmentListModel& list) {
  std::vector<bool> ticks;
  for (const auto& row : list.rows) ticks.push_back(row.checked);
  return ticks;
}

TEST(CheckMarks, AllNoneAndInverse) {
  FragmentListModel list = ListOfRanges({{0, 1}, {1, 2}, {2, 3}});
  list.rows[1].checked = true;
  InvertChecks(list);
  EXPECT_EQ(Ticks(list), (std::vector<bool>{true, false, true}));
  CheckAll(list);
  EXPECT_EQ(Ticks(list), (std::vector<bool>{true, true, true}));
  CheckNone(list);
  EXPECT_EQ(Ticks(list), (std::vector<bool>{false, false, false}));
}

TEST(CheckedStatistics, CountsAndTotalsTickedRowsOnly) {
  FragmentListModel list = ListOfRanges({{0, 128}, {200, 328}, {400, 528}, {600, 601}});
  ScriptedHost host;
  ShowCheckedStatistics(list, host);
  list.rows[0].checked = list.rows[1].checked = list.rows[2].checked = true;
  ShowCheckedStatistics(list, host);
  ASSERT_EQ(host.messages().size(), 2u);
  EXPECT_EQ(host.messages()[0].text, "统计结果:碎片数量为0总大小为:0KB");
  EXPECT_EQ(host.messages()[1].text, "统计结果:碎片数量为3总大小为:3072KB");
  EXPECT_EQ(host.messages()[1].caption, "提示");
}

TEST(CheckedStatistics, TotalBeyondTwoTerabytesDoesNotWrap) {
  FragmentListModel list;
  for (int i = 0; i < 3; ++i) {
    FragmentRow row;
    row.sizeKB = 2000000000;
    row.checked = true;
    list.rows.push_back(row);
  }
  ScriptedHost host;
  ShowCheckedStatistics(list, host);
  EXPECT_EQ(host.messageTexts().at(0), "统计结果:碎片数量为3总大小为:6000000000KB");
}

TEST(CopyStartSector, PutsSelectedRowsStartSectorOnClipboard) {
  FragmentListModel list = ListOfRanges({{0, 1}, {5, 6}});
  list.rows[1].fsec = 5000000000;
  ScriptedHost host;
  CopyStartSector(list, host);
  EXPECT_EQ(host.clipboard(), "");
  EXPECT_EQ(host.messageTexts(), std::vector<std::string>{kNoSelectedFragment});
  list.selected = 1;
  CopyStartSector(list, host);
  EXPECT_EQ(host.clipboard(), "5000000000");
  EXPECT_EQ(host.messageTexts().size(), 1u);
}

TEST(AutoCheck, TicksFollowersWithinPageRange) {
  // Selected row ends at 2168; 2168-2199 follows at once, 2400 lies beyond 2200 + 128,
  // 2250 lies within 2200 + 128.
  FragmentListModel list = ListOfRanges({{2040, 2168}, {2168, 2200}, {2400, 2500}, {2250, 2300}});
  list.selected = 0;
  ScriptedHost host;
  AutoCheck(list, {}, host);
  EXPECT_EQ(Ticks(list), (std::vector<bool>{false, true, false, true}));
  EXPECT_EQ(host.messageTexts(), (std::vector<std::string>{"本次处理到index4"}));
}

TEST(AutoCheck, LookAheadLimitsHowFarPastTheLastTickItLooks) {
  // With a look-ahead of 1 the walk ends one row past the last tick: the third non-follower
  // row is never reached, so the follower after it stays unticked.
  FragmentListModel list =
      ListOfRanges({{0, 10}, {10, 20}, {500, 510}, {600, 610}, {20, 30}});
  list.selected = 0;
  ScriptedHost host;
  AutoCheck(list, {"1", "128"}, host);
  EXPECT_EQ(Ticks(list), (std::vector<bool>{false, true, false, false, false}));
  EXPECT_EQ(host.messageTexts().at(0), "本次处理到index4");
  // With a look-ahead of 3 it reaches the follower.
  AutoCheck(list, {"3", "128"}, host);
  EXPECT_EQ(Ticks(list), (std::vector<bool>{false, true, false, false, true}));
}

TEST(AutoCheck, OnLastRowTicksNothingAndReportsRowCount) {
  FragmentListModel list = ListOfRanges({{0, 10}, {10, 20}, {20, 30}});
  list.selected = 2;
  ScriptedHost host;
  AutoCheck(list, {}, host);
  EXPECT_EQ(Ticks(list), (std::vector<bool>{false, false, false}));
  EXPECT_EQ(host.messageTexts().at(0), "本次处理到index3");
}

TEST(AutoCheck, NeverClearsTicksAndLeavesSelectedRowAlone) {
  FragmentListModel list = ListOfRanges({{0, 10}, {900, 910}, {10, 20}});
  list.rows[1].checked = true;
  list.selected = 0;
  ScriptedHost host;
  AutoCheck(list, {}, host);
  EXPECT_EQ(Ticks(list), (std::vector<bool>{false, true, true}));
}

TEST(AutoCheck, NonNumberEditIsNamedAndNothingChanges) {
  FragmentListModel list = ListOfRanges({{0, 10}, {10, 20}});
  list.selected = 0;
  ScriptedHost host;
  AutoCheck(list, {"5", "12x"}, host);
  AutoCheck(list, {"", "128"}, host);
  EXPECT_EQ(Ticks(list), (std::vector<bool>{false, false}));
  EXPECT_EQ(host.messageTexts(),
            (std::vector<std::string>{"“页码范围” 中的内容不是数字: 12x",
                                      "“往下范围” 中的内容不是数字: "}));
}

TEST(AutoCheck, WithoutSelectionDoesNothing) {
  FragmentListModel list = ListOfRanges({{0, 10}, {10, 20}});
  ScriptedHost host;
  AutoCheck(list, {}, host);
  EXPECT_TRUE(host.messages().empty());
  EXPECT_EQ(Ticks(list), (std::vector<bool>{false, false}));
}

std::vector<std::string> Column(const FragmentListModel& list, int column) {
  std::vector<std::string> cells;
  for (const auto& row : list.rows) cells.push_back(row.Cell(column));
  return cells;
}

TEST(SortFragmentList, StartSectorsBeyondTwoToThe31SortByValue) {
  FragmentListModel list = ListOfRanges({{0, 1}, {1, 2}, {2, 3}, {3, 4}});
  list.rows[0].fsec = 3000000000;   // beyond 2^31
  list.rows[1].fsec = 999999999999; // the largest 12-digit value
  list.rows[2].fsec = 2147483648;   // 2^31
  list.rows[3].fsec = 7;
  int32_t sortColumn = -1;
  ASSERT_TRUE(SortFragmentList(list, kColFsec, true, sortColumn));
  EXPECT_EQ(sortColumn, kColFsec);
  EXPECT_EQ(Column(list, kColFsec), (std::vector<std::string>{"7", "2147483648", "3000000000",
                                                              "999999999999"}));
}

TEST(SortFragmentList, NumericColumnsByValueTextColumnsIgnoringCase) {
  FragmentListModel list = ListOfRanges({{300, 310}, {20, 21}, {1000, 1500}});
  list.rows[0].memo = "beta";
  list.rows[1].memo = "Gamma";
  list.rows[2].memo = "ALPHA";
  list.rows[0].fileId = 2;
  list.rows[1].fileId = 10;
  list.rows[2].fileId = 1;
  int32_t sortColumn = 0;
  ASSERT_TRUE(SortFragmentList(list, kColBeginPage, true, sortColumn));
  EXPECT_EQ(Column(list, kColBeginPage), (std::vector<std::string>{"20", "300", "1000"}));
  ASSERT_TRUE(SortFragmentList(list, kColSizeKB, true, sortColumn));
  EXPECT_EQ(Column(list, kColSizeKB), (std::vector<std::string>{"8", "80", "4000"}));
  ASSERT_TRUE(SortFragmentList(list, kColMemo, true, sortColumn));
  EXPECT_EQ(Column(list, kColMemo), (std::vector<std::string>{"ALPHA", "beta", "Gamma"}));
  ASSERT_TRUE(SortFragmentList(list, kColFileId, true, sortColumn));
  EXPECT_EQ(Column(list, kColFileId), (std::vector<std::string>{"1", "10", "2"}));
  ASSERT_TRUE(SortFragmentList(list, kColNumber, true, sortColumn));
  EXPECT_EQ(Column(list, kColNumber), (std::vector<std::string>{"1", "2", "3"}));
}

TEST(SortFragmentList, KeepsTicksWithTheirRowsAndFollowsTheSelection) {
  FragmentListModel list = ListOfRanges({{30, 31}, {10, 11}, {20, 21}});
  list.rows[0].checked = true;
  list.selected = 0;
  int32_t sortColumn = 0;
  ASSERT_TRUE(SortFragmentList(list, kColBeginPage, true, sortColumn));
  EXPECT_EQ(Ticks(list), (std::vector<bool>{false, false, true}));
  EXPECT_EQ(list.selected, 2);
}

TEST(SortFragmentList, RefusedWhileScanRuns) {
  FragmentListModel list = ListOfRanges({{30, 31}, {10, 11}});
  int32_t sortColumn = 4;
  EXPECT_FALSE(SortFragmentList(list, kColBeginPage, false, sortColumn));
  EXPECT_EQ(sortColumn, 4);
  EXPECT_EQ(Column(list, kColBeginPage), (std::vector<std::string>{"30", "10"}));
}

TEST(ParseInt32Text, AcceptsTrimmedSignedNumbersOnly) {
  EXPECT_EQ(ParseInt32Text(" 128 "), 128);
  EXPECT_EQ(ParseInt32Text("-5"), -5);
  EXPECT_EQ(ParseInt32Text("+7"), 7);
  EXPECT_EQ(ParseInt32Text("2147483647"), 2147483647);
  for (const char* bad : {"", "  ", "edtbeginid", "12x", "1 2", "2147483648", "+-1", "0x10"}) {
    EXPECT_FALSE(ParseInt32Text(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace pagerake
