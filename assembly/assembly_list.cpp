#include "assembly/assembly_list.h"

#include <array>
#include <cstdio>
#include <unordered_map>

#include "fragments/list_tools.h"
#include "fragments/option_text.h"
#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr int32_t kNamePage = 32;
constexpr int kLsnField = 40;  // the page header's lsn: 32-bit, 32-bit, 16-bit

// The table line of a fragment-list row (see AddCheckedToAssembly); −1 when none starts there.
// `byStart` (start sector → first line) is built at the first row whose number does not name its
// line, so that a filtered list costs one pass over the table, not one per row.
int64_t LineOfRow(const FragmentRow& row, const FragmentTable& table,
                  std::unordered_map<int64_t, int64_t>& byStart) {
  const int64_t byNumber = int64_t{row.number} - 1;
  if (byNumber >= 0 && byNumber < static_cast<int64_t>(table.size()) &&
      table[static_cast<size_t>(byNumber)].fsec == row.fsec) {
    return byNumber;
  }
  if (byStart.empty()) {
    for (size_t i = table.size(); i-- > 0;) byStart[table[i].fsec] = static_cast<int64_t>(i);
  }
  const auto it = byStart.find(row.fsec);
  return it == byStart.end() ? -1 : it->second;
}

std::string Hex(uint32_t value, int digits) {
  char text[9];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

}  // namespace

void RebuildAssemblyList(const FragmentTable& table, const std::vector<int32_t>& inAssembly,
                         AssemblyListModel& model,
                         const std::vector<std::pair<int32_t, int32_t>>& cutShort,
                         const std::vector<std::pair<int32_t, int32_t>>& cutFront) {
  model.list.rows.clear();
  model.list.selected = -1;
  for (size_t i = 0; i < table.size() && i < inAssembly.size(); ++i) {
    if (inAssembly[i] != 1) continue;
    FragmentRecord r = table[i];
    for (const auto& [line, end] : cutShort) {
      if (static_cast<size_t>(line) != i || end <= r.beginPage || end >= r.endPage) continue;
      r.endPage = end;
      r.sizeKB = 8 * (end - r.beginPage);
      r.esec = r.fsec + int64_t{16} * (end - r.beginPage);
    }
    for (const auto& [line, begin] : cutFront) {
      if (static_cast<size_t>(line) != i || begin <= r.beginPage || begin >= r.endPage) continue;
      r.fsec += int64_t{16} * (begin - r.beginPage);
      r.beginPage = begin;
      r.sizeKB = 8 * (r.endPage - begin);
    }
    model.list.AppendRecord(r);
  }
}

void ClickAssemblyColumn(AssemblyListModel& model, int column, int32_t& sortColumn) {
  if (column < 0 || column >= kAssemblyColumnCount) return;
  const bool pageOrder = column == kColBeginPage;
  model.Button2 = model.Button5 = model.Button6 = pageOrder;
  (void)SortFragmentList(model.list, column, true, sortColumn);
}

void AddCheckedToAssembly(const FragmentListModel& fragments, const FragmentTable& table,
                          std::vector<int32_t>& inAssembly, AssemblyListModel& model) {
  inAssembly.resize(table.size(), 0);
  std::unordered_map<int64_t, int64_t> byStart;
  for (const FragmentRow& row : fragments.rows) {
    if (!row.checked) continue;
    if (const int64_t line = LineOfRow(row, table, byStart); line >= 0) {
      inAssembly[static_cast<size_t>(line)] = 1;
    }
  }
  RebuildAssemblyList(table, inAssembly, model);
}

void ShowCheckedFileNames(const FragmentListModel& fragments, PageAccess& pages,
                          const DataSource& source, Host& host) {
  std::array<uint8_t, kPageSize> page{};
  for (const FragmentRow& row : fragments.rows) {
    if (!row.checked) continue;
    if (row.beginPage > kNamePage || row.endPage <= kNamePage) return;
    const int64_t offset = (int64_t{kNamePage} - row.beginPage) * kSectorsPerPage;
    if (!pages.ReadFragmentSectors(source, row.fsec, offset, kSectorsPerPage, page.data())) {
      host.Tell("read disk error");
      return;
    }
    RestoreTornBits(page.data());
    host.Tell(ReadRecordedFileName(page.data()).value_or("none"));
  }
}

void AnnotateStartLsn(FragmentListModel& fragments, PageAccess& pages, const DataSource& source,
                      Host& host) {
  std::array<uint8_t, kPageSize> page{};
  for (FragmentRow& row : fragments.rows) {
    if (row.beginPage != 0) continue;
    page.fill(0);
    if (!pages.ReadFragmentSectors(source, row.fsec, 0, kSectorsPerPage, page.data())) {
      host.Tell("read disk error");
      return;
    }
    const uint8_t* lsn = page.data() + kLsnField;
    row.memo = std::string(TrimSpaces(row.memo)) + " " + Hex(LoadLe32(lsn), 8) +
               Hex(LoadLe32(lsn + 4), 8) + Hex(LoadLe16(lsn + 8), 4);
  }
  host.Tell("处理完毕");
}

}  // namespace pagerake
