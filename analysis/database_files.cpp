#include "analysis/database_files.h"

#include <array>

#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr int32_t kNamePage = 32;  // the page that records the file's name

void Mess(Host& host, const char* text) {
  host.ShowMessage(text, "mess", MessageIcon::kInformation, MessageButtons::kOk);
}

// Reads the row's name again from the saved pages 0 and 32; leaves it (after the message) when a
// page cannot be read or does not give what is needed.
void RefreshName(DatabaseFileRow& row, PageAccess& pages, const DataSource& source, Host& host) {
  std::array<uint8_t, kPageSize> page{};
  if (!pages.ReadFragmentSectors(source, row.fsec, 0, kSectorsPerPage, page.data())) {
    Mess(host, "read disk error");
    return;
  }
  RestoreTornBits(page.data());
  const std::optional<int32_t> size = ReadFileSizePages(page.data());
  if (!size) {
    Mess(host, "get file size error");
    return;
  }
  if (!pages.ReadFragmentSectors(source, row.fsec, int64_t{kNamePage} * kSectorsPerPage,
                                 kSectorsPerPage, page.data())) {
    host.Tell("read disk error");
    return;
  }
  RestoreTornBits(page.data());
  const std::optional<std::string> name = ReadRecordedFileName(page.data());
  if (!name) {
    host.Tell("get file name error");
    return;
  }
  row.name = *name + ":" + std::to_string(int64_t{*size} * 8) + "KB";
}

}  // namespace

void ListDatabaseFiles(const FragmentTable& table, PageAccess& pages, const DataSource& source,
                       DatabaseFileList& list, Host& host) {
  // 1. The rows, from the shown lines that start at page 0 (or below), in table order.
  list.rows.clear();
  list.selected = -1;
  for (const FragmentRecord& r : table) {
    if (!r.shown || r.beginPage > 0) continue;
    DatabaseFileRow row;
    row.number = static_cast<int32_t>(list.rows.size()) + 1;
    row.name = r.memo;
    row.sizeKB = r.sizeKB;
    row.beginPage = r.beginPage;
    row.endPage = r.endPage;
    row.fsec = r.fsec;
    row.esec = r.esec;
    list.rows.push_back(std::move(row));
  }
  // 2. From a content file, the names of rows longer than 32 pages are read again.
  if (pages.LiveSourceMode()) return;
  for (DatabaseFileRow& row : list.rows) {
    if ((int64_t{row.sizeKB} + 4) / 8 > kNamePage) RefreshName(row, pages, source, host);
  }
}

}  // namespace pagerake
