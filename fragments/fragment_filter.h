// The fragment filter (group "开始页面号范围" of the fragment list tab): decides for every line of
// the fragment table whether the list shows it, stores that in the line's `shown` field (so a
// saved scan keeps the filter) and rebuilds the list from the lines that are shown.
#pragma once

#include <string>

#include "base/host.h"
#include "fragments/fragment_list.h"
#include "scan/fragment_table.h"

namespace pagerake {

// The filter's radio buttons; none is selected when the window opens.
enum class FilterMode {
  kNone,          // no radio button selected: the filter does nothing
  kShowAll,       // rb3 "全部显示"
  kBeginRange,    // rb1 "开始页面号范围": lo <= beginPage < hi
  kContainsPage,  // rb2 "含如ID的碎片": beginPage <= page < endPage
  kFileId,        // rbfileid "文件ID": fileId = id
};

// The radio choice and the edit texts, as the window holds them. The edits start with their own
// names as text, so a number has to be typed before a filter that reads them can run.
struct FragmentFilterSettings {
  FilterMode mode = FilterMode::kNone;
  std::string beginText = "edtbeginid";  // Edit1, after ">="
  std::string endText = "edtendid";      // edtendid, after "<"
  std::string pageText = "edtpgid";      // edtpgid
  std::string fileIdText = "edtfileid";  // edtfileid
};

// Button edtfilter "过滤": sets the `shown` field of every line by the selected rule and rebuilds
// the list (which clears every check mark). An edit that the rule reads and that does not hold a
// number stops it before any line changes, with a message naming the edit. With no radio button
// selected nothing happens. False when nothing was filtered.
bool ApplyFragmentFilter(FragmentTable& table, FragmentListModel& list,
                         const FragmentFilterSettings& settings, Host& host);

// Rebuilds the list from the table: one row per shown line, in table order, numbered from 1,
// without check marks or selection.
void RefreshFragmentList(const FragmentTable& table, FragmentListModel& list);

}  // namespace pagerake
