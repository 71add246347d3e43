// The assembly list (ListView4): the fragments the new MDF file is written from, one row each. It
// is a view of the assembly flags (InAssembly, one per fragment-table line): the analysis, SEARCH
// MORE and the fragment list's "把选择的碎片加入组合" set flags and rebuild it. Its rows are fragment
// rows without the file id column; it sorts as the fragment list does. Sorting it by its start-page
// column is what makes CREATE MDF, CHECK and SEARCH MORE usable, since all three walk the rows in
// page order.
//
// Also here: the fragment list's two other commands that serve the assembly, "取勾选碎片的文件名"
// and "取更新信息".
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "base/host.h"
#include "fragments/fragment_list.h"
#include "fragments/page_access.h"
#include "scan/fragment_table.h"
#include "source/data_source.h"

namespace pagerake {

// Columns: "序号", "碎片大小(KB)", "起始页面号", "结束页面号", "备注", "开始扇区", "结束扇区" (the last
// two start at width 0); the fragment list's column numbers 0 to 6.
inline constexpr int kAssemblyColumnCount = 7;

struct AssemblyListModel {
  FragmentListModel list;  // rows and selection; image 1 for a row that starts at page 0
  bool Button2 = false;    // "组合MDF(CREATE MDF)"
  bool Button5 = false;    // "检查遗漏页(CHECK)"
  bool Button6 = true;     // "查找遗漏碎片(SEARCH MORE)"
};

// Rebuilds the rows from the lines whose flag is 1, in table order, numbered from 1. Neither sorts
// nor changes the sort column or the buttons. A line of `cutShort` (table line, end page) gives
// its pages only up to that end page, one of `cutFront` (table line, first page) only from that
// page on.
void RebuildAssemblyList(const FragmentTable& table, const std::vector<int32_t>& inAssembly,
                         AssemblyListModel& model,
                         const std::vector<std::pair<int32_t, int32_t>>& cutShort = {},
                         const std::vector<std::pair<int32_t, int32_t>>& cutFront = {});

// A click on column `column`'s header: records it in `sortColumn` (shared with the fragment list),
// makes the three buttons usable exactly when it is the start-page column, sorts ascending.
void ClickAssemblyColumn(AssemblyListModel& model, int column, int32_t& sortColumn);

// "把选择的碎片加入组合": sets the flag of every ticked fragment-list row's line, then rebuilds. A
// row is its line when its number − 1 names a line with the row's start sector; a list that a
// filter has numbered anew finds the line by its start sector instead. Flags sized to the table.
void AddCheckedToAssembly(const FragmentListModel& fragments, const FragmentTable& table,
                          std::vector<int32_t>& inAssembly, AssemblyListModel& model);

// "取勾选碎片的文件名": for the ticked rows in order, the name that page 32 records, in a message
// box ("none" when it names none). Ends at the first ticked row that does not hold page 32, or
// after "read disk error" when it cannot be read.
void ShowCheckedFileNames(const FragmentListModel& fragments, PageAccess& pages,
                          const DataSource& source, Host& host);

// "取更新信息": appends to the "备注" cell of every fragment-list row that starts at page 0 a blank
// and the log sequence number of its first page (20 upper-case hex digits), then "处理完毕". Ends
// after "read disk error" when a first page cannot be read.
void AnnotateStartLsn(FragmentListModel& fragments, PageAccess& pages, const DataSource& source,
                      Host& host);

}  // namespace pagerake
