#include "cli/fragment_output.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/translation.h"
#include "cli/help_formatter.h"

namespace pagerake::cli {
namespace {

// Columns as the fragment list shows them.
const char* const kColumnTitles[kFragmentColumnCount] = {
    "序号", "碎片大小(KB)", "开始页面号", "结束页面号", "备注", "开始扇区", "结束扇区", "fileid"};

}  // namespace

void PrintFragmentList(const FragmentListModel& list) {
  std::vector<size_t> widths(kFragmentColumnCount);
  for (int c = 0; c < kFragmentColumnCount; ++c) widths[c] = DisplayWidth(Tr(kColumnTitles[c]));
  for (const FragmentRow& row : list.rows) {
    for (int c = 0; c < kFragmentColumnCount; ++c) {
      widths[c] = std::max(widths[c], DisplayWidth(row.Cell(c)));
    }
  }
  auto printRow = [&](auto cell) {
    std::string line;
    for (int c = 0; c < kFragmentColumnCount; ++c) {
      const std::string text = cell(c);
      const std::string pad(widths[c] - std::min(widths[c], DisplayWidth(text)), ' ');
      line += c == kColMemo ? text + pad : pad + text;
      if (c + 1 < kFragmentColumnCount) line += "  ";
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::printf("%s\n", line.c_str());
  };
  printRow([](int c) { return Tr(kColumnTitles[c]); });
  // The note is a recorded name, or the program's words for a page 0 it could not read.
  for (const FragmentRow& row : list.rows) {
    printRow([&row](int c) { return c == kColMemo ? Tr(row.Cell(c)) : row.Cell(c); });
  }
}

nlohmann::ordered_json FragmentJson(const FragmentRecord& r) {
  return {{"sn", r.sn},
          {"fsec", r.fsec},
          {"esec", r.esec},
          {"size_kb", r.sizeKB},
          {"begin_page", r.beginPage},
          {"end_page", r.endPage},
          {"memo", r.memo},
          {"file_id", r.fileId}};
}

}  // namespace pagerake::cli
