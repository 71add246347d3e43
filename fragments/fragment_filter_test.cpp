#include "fragments/fragment_filter.h"

#include <gtest/gtest.h>

#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::ScriptedHost;

// Fragments: (beginPage, pages, fileId).
FragmentTable TableOf(const std::vector<std::tuple<int32_t, int32_t, int16_t>>& fragments) {
  FragmentTable table;
  int64_t fsec = 2048;
  int32_t sn = 1;
  for (auto [begin, pages, fileId] : fragments) {
    table.Append(MakeFragmentRecord(sn++, fsec, pages, begin, " ", fileId));
    fsec += 16 * pages + 4096;
  }
  return table;
}

std::vector<int32_t> ShownBegins(const FragmentListModel& list) {
  std::vector<int32_t> begins;
  for (const auto& row : list.rows) begins.push_back(row.beginPage);
  return begins;
}

struct FilterCase {
  const char* name;
  FilterMode mode;
  const char* text1;
  const char* text2;
  std::vector<int32_t> shown;
};

TEST(ApplyFragmentFilter, EachRuleDecidesWhatIsShown) {
  // Begin pages 0, 100, 199, 200, 2040 (128 pages, so it ends at 2168); file ids 1 or 3.
  const FragmentTable base =
      TableOf({{0, 10, 1}, {100, 10, 1}, {199, 1, 3}, {200, 10, 1}, {2040, 128, 3}});
  const std::vector<FilterCase> cases = {
      {"range includes lo, excludes hi", FilterMode::kBeginRange, "100", "200", {100, 199}},
      {"range with spaces", FilterMode::kBeginRange, " 0", "101 ", {0, 100}},
      {"contains last page", FilterMode::kContainsPage, "2167", "", {2040}},
      {"contains end page is outside", FilterMode::kContainsPage, "2168", "", {}},
      {"contains first page", FilterMode::kContainsPage, "100", "", {100}},
      {"file id", FilterMode::kFileId, "3", "", {199, 2040}},
      {"show all", FilterMode::kShowAll, "x", "x", {0, 100, 199, 200, 2040}},
  };
  for (const FilterCase& c : cases) {
    FragmentTable table = base;
    FragmentListModel list;
    ScriptedHost host;
    FragmentFilterSettings settings;
    settings.mode = c.mode;
    settings.beginText = c.text1;
    settings.endText = c.text2;
    settings.pageText = c.text1;
    settings.fileIdText = c.text1;
    EXPECT_TRUE(ApplyFragmentFilter(table, list, settings, host)) << c.name;
    EXPECT_EQ(ShownBegins(list), c.shown) << c.name;
    EXPECT_TRUE(host.messages().empty()) << c.name;
    // The decision lives in the lines' shown field.
    size_t shownLines = 0;
    for (const auto& r : table) shownLines += r.shown ? 1 : 0;
    EXPECT_EQ(shownLines, c.shown.size()) << c.name;
  }
}

TEST(ApplyFragmentFilter, FileIdThenShowAllBringsEveryRowBackUnticked) {
  FragmentTable table = TableOf({{0, 10, 1}, {10, 10, 3}, {20, 10, 1}});
  FragmentListModel list;
  RefreshFragmentList(table, list);
  for (auto& row : list.rows) row.checked = true;
  list.selected = 1;
  ScriptedHost host;
  FragmentFilterSettings settings;
  settings.mode = FilterMode::kFileId;
  settings.fileIdText = "1";
  ASSERT_TRUE(ApplyFragmentFilter(table, list, settings, host));
  EXPECT_EQ(ShownBegins(list), (std::vector<int32_t>{0, 20}));
  // Filtering clears every check mark, also on rows that stay, and renumbers the rows.
  for (const auto& row : list.rows) EXPECT_FALSE(row.checked);
  EXPECT_EQ(list.rows[1].number, 2);
  EXPECT_EQ(list.selected, -1);
  EXPECT_EQ(table.Line(1), "2|6304|6464|80|10|20| |N|3|");

  settings.mode = FilterMode::kShowAll;
  ASSERT_TRUE(ApplyFragmentFilter(table, list, settings, host));
  EXPECT_EQ(ShownBegins(list), (std::vector<int32_t>{0, 10, 20}));
  for (const auto& row : list.rows) EXPECT_FALSE(row.checked);
}

TEST(ApplyFragmentFilter, EditStillHoldingItsNameIsNamedAndNothingChanges) {
  struct Case {
    FilterMode mode;
    std::string begin, end, page, fileId;
    std::string message;
  };
  const std::vector<Case> cases = {
      {FilterMode::kBeginRange, "edtbeginid", "10", "", "",
       "“开始页面号范围 >=” 中的内容不是数字: edtbeginid"},
      {FilterMode::kBeginRange, "0", "edtendid", "", "",
       "“开始页面号范围 <” 中的内容不是数字: edtendid"},
      {FilterMode::kContainsPage, "", "", "edtpgid", "", "“含如ID的碎片” 中的内容不是数字: edtpgid"},
      {FilterMode::kFileId, "", "", "", "edtfileid", "“文件ID” 中的内容不是数字: edtfileid"},
  };
  for (const Case& c : cases) {
    FragmentTable table = TableOf({{0, 10, 1}, {10, 10, 3}});
    table[1].shown = false;
    FragmentListModel list;
    RefreshFragmentList(table, list);
    list.rows[0].checked = true;
    ScriptedHost host;
    FragmentFilterSettings settings{c.mode, c.begin, c.end, c.page, c.fileId};
    EXPECT_FALSE(ApplyFragmentFilter(table, list, settings, host));
    EXPECT_EQ(host.messageTexts(), std::vector<std::string>{c.message});
    EXPECT_TRUE(table[0].shown);
    EXPECT_FALSE(table[1].shown);
    ASSERT_EQ(list.rows.size(), 1u);
    EXPECT_TRUE(list.rows[0].checked);
  }
}

TEST(ApplyFragmentFilter, NoRadioButtonSelectedDoesNothing) {
  FragmentTable table = TableOf({{0, 10, 1}});
  FragmentListModel list;
  RefreshFragmentList(table, list);
  list.rows[0].checked = true;
  ScriptedHost host;
  EXPECT_FALSE(ApplyFragmentFilter(table, list, FragmentFilterSettings{}, host));
  EXPECT_TRUE(list.rows[0].checked);
  EXPECT_TRUE(host.messages().empty());
}

TEST(RefreshFragmentList, RowsOfShownLinesInTableOrderWithImages) {
  FragmentTable table = TableOf({{0, 40, 1}, {500, 10, 1}, {40, 10, 1}});
  table[1].shown = false;
  FragmentListModel list;
  list.AppendRecord(table[1]);
  RefreshFragmentList(table, list);
  ASSERT_EQ(list.rows.size(), 2u);
  EXPECT_EQ(list.rows[0].number, 1);
  EXPECT_EQ(list.rows[0].ImageIndex(), 1);
  EXPECT_EQ(list.rows[1].beginPage, 40);
  EXPECT_EQ(list.rows[1].number, 2);
  EXPECT_EQ(list.rows[1].ImageIndex(), 0);
}

}  // namespace
}  // namespace pagerake
