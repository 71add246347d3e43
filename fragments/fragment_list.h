// The model behind the fragment list (ListView2): one row per shown fragment, with its check
// mark, plus the selected row. Plain data; the window shows it through a table adapter and the
// tools are functions over it.
//
// A row keeps its own copy of the values it shows (it has no link to its table line), so sorting
// the list never reorders the fragment table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scan/fragment_table.h"

namespace pagerake {

// Columns of the fragment list, in order.
enum FragmentColumn : int {
  kColNumber = 0,    // "序号": row number, 1 for the first row added
  kColSizeKB = 1,    // "碎片大小(KB)"
  kColBeginPage = 2, // "开始页面号"
  kColEndPage = 3,   // "结束页面号"
  kColMemo = 4,      // "备注"
  kColFsec = 5,      // "开始扇区"
  kColEsec = 6,      // "结束扇区"
  kColFileId = 7,    // "fileid"
  kFragmentColumnCount = 8,
};

struct FragmentRow {
  int32_t number = 0;
  int32_t sizeKB = 0;
  int32_t beginPage = 0;
  int32_t endPage = 0;
  std::string memo;
  int64_t fsec = 0;
  int64_t esec = 0;
  int16_t fileId = 0;
  bool checked = false;

  // Image 1 marks a fragment that starts at page 0 (a file's first page), image 0 the others.
  int ImageIndex() const { return beginPage == 0 ? 1 : 0; }
  // The text shown in a column.
  std::string Cell(int column) const;
};

struct FragmentListModel {
  std::vector<FragmentRow> rows;
  int selected = -1;  // index of the selected row, -1 for none

  // Adds a row for a fragment; its number is the row count after adding.
  void AppendRecord(const FragmentRecord& record);
  // Removes the last row (when the scan joins a run to the fragment before it).
  void RemoveLastRow();
  void Clear();
};

}  // namespace pagerake
