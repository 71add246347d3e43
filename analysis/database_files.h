// The list of database files found on the source (ListView3): one row for every shown fragment
// that starts with a file's first page, from which the user picks the file to analyse.
//
// A row keeps its own copy of the values the analysis reads from it (the five hidden columns).
// When pages come from a fragment-content file, the names of rows longer than 32 pages are read
// again from the saved pages 0 and 32.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/host.h"
#include "fragments/page_access.h"
#include "scan/fragment_table.h"
#include "source/data_source.h"

namespace pagerake {

struct DatabaseFileRow {
  int32_t number = 0;     // "序号": from 1
  std::string name;       // "文件名": the fragment's memo, or the refreshed name and size
  int32_t sizeKB = 0;     // hidden: "碎片大小(KB)"
  int32_t beginPage = 0;  // hidden: "开始页面号"
  int32_t endPage = 0;    // hidden: "结束页面号"
  int64_t fsec = 0;       // hidden: "开始扇区"
  int64_t esec = 0;       // hidden: "结束扇区"
  // A database found without its page 0 (headless_files.h): the table lines that are its own,
  // the only ones its analysis may chain. Empty for a database with a page 0.
  std::vector<int32_t> group;

  static constexpr int kImageIndex = 1;  // every row shows image 1 of the image list
};

struct DatabaseFileList {
  std::vector<DatabaseFileRow> rows;
  int selected = -1;  // index of the selected row, -1 for none
};

// ListDatabaseFiles: rebuilds `list` from `table` (the selection is cleared). Lines whose shown
// field is "N", and lines whose begin page is above 0, are passed over. In content-file mode the
// rows of more than 32 pages get "<name>:<8 × size in pages>KB" from their saved pages 0 and 32;
// a row whose pages cannot be read or give no size or name keeps its memo, after the message box
// that says why ("read disk error" / "get file size error" with caption "mess", "read disk error"
// / "get file name error" with caption "提示"). Runs on the UI thread.
void ListDatabaseFiles(const FragmentTable& table, PageAccess& pages, const DataSource& source,
                       DatabaseFileList& list, Host& host);

}  // namespace pagerake
