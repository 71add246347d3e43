// The tools of the fragment list (ListView2): check marks, statistics of the ticked fragments,
// copying a start sector, ticking the fragments that continue the selected one, sorting by a
// column, and the row colours. Each is a function over the list model; the ones that tell the
// user something do it through the Host.
//
// All of them run on the user-interface thread. While a scan runs the scan adds rows; sorting is
// refused then, the other tools work on the rows present.
#pragma once

#include <cstdint>
#include <string>

#include "base/host.h"
#include "fragments/fragment_list.h"

namespace pagerake {

// Menu items N10, N14, N15: tick every row, clear every tick, turn every tick over.
void CheckAll(FragmentListModel& list);
void CheckNone(FragmentListModel& list);
void InvertChecks(FragmentListModel& list);

// Menu item N12: counts the ticked rows and adds up their sizes; tells the user
// "统计结果:碎片数量为<count>总大小为:<total>KB" (caption "提示").
void ShowCheckedStatistics(const FragmentListModel& list, Host& host);

// Menu item N13: puts the start sector (column "开始扇区") of the selected row on the clipboard.
// Without a selected row the clipboard is left alone and the user is told so
// (kNoSelectedFragment, caption "提示").
void CopyStartSector(const FragmentListModel& list, Host& host);
inline constexpr char kNoSelectedFragment[] = "没有选中的碎片,请先在列表中选中一行";

// The auto-check edits of GroupBox3, as the window holds them.
struct AutoCheckSettings {
  std::string lookAheadText = "5";   // edtlen "往下范围": rows to look ahead
  std::string pageRangeText = "128"; // edtpagelen "页码范围": how far a follower may begin
};

// Button8 "自动勾选": from the selected row on, ticks each row that begins within the page range
// after the end page of the last ticked row (or of the selected row), looking at most the
// look-ahead number of rows past the last tick. Ticks are only ever set; the selected row is not
// changed. Tells the user "本次处理到index<i>", i being the first row not examined. An edit that
// is not a number stops it with a message naming the edit, before any tick changes; without a
// selected row nothing happens.
void AutoCheck(FragmentListModel& list, const AutoCheckSettings& settings, Host& host);

// A click on column `column`'s header: sorts all rows ascending by that column and records the
// column in `sortColumn` (shared with the assembly list). Numeric columns (row number, size,
// pages, sectors) sort by value, 64-bit for sectors; memo and file id sort as text, ignoring the
// case of ASCII letters (so file id "10" comes before "2"). Rows with equal keys keep their
// order; the selected row stays selected. Refused, returning false and changing nothing, while a
// scan runs (`scanStopped` false) or for a column that does not exist.
[[nodiscard]] bool SortFragmentList(FragmentListModel& list, int column, bool scanStopped,
                                    int32_t& sortColumn);

// The background of a row of the program's lists: even rows (0, 2, ...) RGB(120, 182, 93), odd
// rows RGB(120, 221, 139).
struct RowColour {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const RowColour&) const = default;
};
RowColour ListRowColour(int rowIndex);

}  // namespace pagerake
