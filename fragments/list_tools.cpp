#include "fragments/list_tools.h"

#include <algorithm>
#include <numeric>

#include "fragments/option_text.h"

namespace pagerake {
namespace {

uint8_t FoldAscii(char c) {
  const auto u = static_cast<uint8_t>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<uint8_t>(u + ('a' - 'A')) : u;
}

// -1, 0 or 1: the two texts compared byte by byte with ASCII letters folded to lower case.
int CompareTextIgnoringCase(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const uint8_t x = FoldAscii(a[i]);
    const uint8_t y = FoldAscii(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// Strict "less" of two rows by one column.
bool RowLess(const FragmentRow& a, const FragmentRow& b, int column) {
  switch (column) {
    case kColNumber: return a.number < b.number;
    case kColSizeKB: return a.sizeKB < b.sizeKB;
    case kColBeginPage: return a.beginPage < b.beginPage;
    case kColEndPage: return a.endPage < b.endPage;
    case kColFsec: return a.fsec < b.fsec;
    case kColEsec: return a.esec < b.esec;
    case kColMemo: return CompareTextIgnoringCase(a.memo, b.memo) < 0;
    case kColFileId:
      return CompareTextIgnoringCase(a.Cell(kColFileId), b.Cell(kColFileId)) < 0;
    default: return false;
  }
}

}  // namespace

void CheckAll(FragmentListModel& list) {
  for (FragmentRow& row : list.rows) row.checked = true;
}

void CheckNone(FragmentListModel& list) {
  for (FragmentRow& row : list.rows) row.checked = false;
}

void InvertChecks(FragmentListModel& list) {
  for (FragmentRow& row : list.rows) row.checked = !row.checked;
}

void ShowCheckedStatistics(const FragmentListModel& list, Host& host) {
  int64_t count = 0;
  int64_t totalKB = 0;
  for (const FragmentRow& row : list.rows) {
    if (!row.checked) continue;
    ++count;
    totalKB += row.sizeKB;
  }
  host.Tell("统计结果:碎片数量为" + std::to_string(count) + "总大小为:" +
            std::to_string(totalKB) + "KB");
}

void CopyStartSector(const FragmentListModel& list, Host& host) {
  if (list.selected < 0 || list.selected >= static_cast<int>(list.rows.size())) {
    host.Tell(kNoSelectedFragment);
    return;
  }
  host.SetClipboardText(std::to_string(list.rows[list.selected].fsec));
}

void AutoCheck(FragmentListModel& list, const AutoCheckSettings& settings, Host& host) {
  // 1. The two ranges; the selected row.
  const std::optional<int32_t> pageRange = ParseInt32Text(settings.pageRangeText);
  if (!pageRange) {
    host.Tell(NotANumberMessage("页码范围", settings.pageRangeText), MessageIcon::kWarning);
    return;
  }
  const std::optional<int32_t> lookAhead = ParseInt32Text(settings.lookAheadText);
  if (!lookAhead) {
    host.Tell(NotANumberMessage("往下范围", settings.lookAheadText), MessageIcon::kWarning);
    return;
  }
  const int64_t rowCount = static_cast<int64_t>(list.rows.size());
  if (list.selected < 0 || list.selected >= rowCount) return;

  // 2. Walk the rows after the selected one; each tick moves the look-ahead window on.
  int64_t lastEnd = list.rows[list.selected].endPage;
  int64_t i = list.selected + 1;
  int64_t limit = std::min(i + *lookAhead, rowCount - 1);
  while (i <= limit) {
    FragmentRow& row = list.rows[static_cast<size_t>(i)];
    if (lastEnd <= row.beginPage && row.beginPage <= lastEnd + *pageRange) {
      row.checked = true;
      lastEnd = row.endPage;
      ++i;
      limit = std::min(i + *lookAhead, rowCount - 1);
    } else {
      ++i;
    }
  }
  host.Tell("本次处理到index" + std::to_string(i));
}

bool SortFragmentList(FragmentListModel& list, int column, bool scanStopped,
                      int32_t& sortColumn) {
  if (!scanStopped || column < 0 || column >= kFragmentColumnCount) return false;
  sortColumn = column;
  // Sort an order of row indices, so that the selected row can be followed to its new place.
  std::vector<size_t> order(list.rows.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&list, column](size_t a, size_t b) {
    return RowLess(list.rows[a], list.rows[b], column);
  });
  std::vector<FragmentRow> sorted;
  sorted.reserve(list.rows.size());
  int selected = -1;
  for (size_t k = 0; k < order.size(); ++k) {
    if (static_cast<int>(order[k]) == list.selected) selected = static_cast<int>(k);
    sorted.push_back(std::move(list.rows[order[k]]));
  }
  list.rows = std::move(sorted);
  list.selected = selected;
  return true;
}

RowColour ListRowColour(int rowIndex) {
  return rowIndex % 2 == 0 ? RowColour{120, 182, 93} : RowColour{120, 221, 139};
}

}  // namespace pagerake
