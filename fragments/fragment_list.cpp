#include "fragments/fragment_list.h"

namespace pagerake {

std::string FragmentRow::Cell(int column) const {
  switch (column) {
    case kColNumber: return std::to_string(number);
    case kColSizeKB: return std::to_string(sizeKB);
    case kColBeginPage: return std::to_string(beginPage);
    case kColEndPage: return std::to_string(endPage);
    case kColMemo: return memo;
    case kColFsec: return std::to_string(fsec);
    case kColEsec: return std::to_string(esec);
    case kColFileId: return std::to_string(fileId);
    default: return {};
  }
}

void FragmentListModel::AppendRecord(const FragmentRecord& r) {
  FragmentRow row;
  row.number = static_cast<int32_t>(rows.size() + 1);
  row.sizeKB = r.sizeKB;
  row.beginPage = r.beginPage;
  row.endPage = r.endPage;
  row.memo = r.memo;
  row.fsec = r.fsec;
  row.esec = r.esec;
  row.fileId = r.fileId;
  rows.push_back(std::move(row));
}

void FragmentListModel::RemoveLastRow() {
  if (rows.empty()) return;
  rows.pop_back();
  if (selected >= static_cast<int>(rows.size())) selected = -1;
}

void FragmentListModel::Clear() {
  rows.clear();
  selected = -1;
}

}  // namespace pagerake
