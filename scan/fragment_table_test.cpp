#include "scan/fragment_table.h"

#include <gtest/gtest.h>

namespace pagerake {
namespace {

TEST(FragmentLine, FormatsTheNineFieldsEachFollowedByABar) {
  const FragmentRecord r = MakeFragmentRecord(3, 1048576, 128, 2040, " ", 1);
  EXPECT_EQ(FormatFragmentLine(r), "3|1048576|1050624|1024|2040|2168| |Y|1|");
  FragmentRecord hidden = MakeFragmentRecord(1, 5000000000LL, 1, 0, "x(1.00 MB)", -2);
  hidden.shown = false;
  EXPECT_EQ(FormatFragmentLine(hidden), "1|5000000000|5000000016|8|0|1|x(1.00 MB)|N|-2|");
}

TEST(FragmentLine, GetFieldCountsBarsFromOne) {
  const std::string_view line = "12|3056|3312|128|0|16| |Y|1|";
  EXPECT_EQ(GetField(line, 1), "12");
  EXPECT_EQ(GetField(line, 2), "3056");
  EXPECT_EQ(GetField(line, 7), " ");
  EXPECT_EQ(GetField(line, 9), "1");
  EXPECT_EQ(GetField(line, 10), "");
  EXPECT_EQ(GetField(line, 0), "");
  EXPECT_EQ(GetField(line, -1), "");
  EXPECT_EQ(GetField("a|b", 2), "");  // no closing bar: the field is missing
  EXPECT_EQ(GetField("", 1), "");
}

TEST(FragmentLine, ParseRoundTripsAndRejectsMalformedLines) {
  const FragmentRecord r = MakeFragmentRecord(7, 9000000000LL, 33, 0, "D:\\a.mdf(20.00 MB)", 1);
  const auto back = ParseFragmentLine(FormatFragmentLine(r));
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(FormatFragmentLine(*back), FormatFragmentLine(r));
  EXPECT_EQ(back->Pages(), 33);

  for (const char* bad : {"", "1|2|3|4|5|6| |Y|", "x|2|3|8|5|6| |Y|1|", "1|2|3|8|5|6| |Y|70000|",
                          "1|2|3|8|5|6| |Y|1", "1|2|3|8|5|99999999999| |Y|1|", "1| 2|3|8|5|6| |Y|1|"}) {
    EXPECT_FALSE(ParseFragmentLine(bad).has_value()) << bad;
  }
}

TEST(PageOrderIndex, OrdersByFileIdThenBeginPageKeepingTableOrderForTies) {
  FragmentTable table;
  EXPECT_TRUE(BuildPageOrderIndex(table).empty());
  table.Append(MakeFragmentRecord(1, 100, 4, 50, " ", 2));   // 0
  table.Append(MakeFragmentRecord(2, 200, 4, 50, " ", 1));   // 1
  table.Append(MakeFragmentRecord(3, 300, 4, 10, " ", 1));   // 2
  table.Append(MakeFragmentRecord(4, 400, 8, 50, " ", 1));   // 3: same key as 1
  table.Append(MakeFragmentRecord(5, 500, 4, 50, " ", -1));  // 4: negative file ids first
  table.Append(MakeFragmentRecord(6, 600, 2, 50, " ", 1));   // 5: same key as 1 and 3
  const PageOrderIndex index = BuildPageOrderIndex(table);
  std::vector<int32_t> order;
  for (const auto& e : index) order.push_back(e.recordNo);
  EXPECT_EQ(order, (std::vector<int32_t>{4, 2, 1, 3, 5, 0}));
  EXPECT_EQ(index[2].endPage, 54);
  EXPECT_EQ(index[3].endPage, 58);
}

}  // namespace
}  // namespace pagerake
