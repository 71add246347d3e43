// OPEN with a fragment-content file: a scan-info file and the content file saved with it, loaded
// through the command as the window runs it, then every fragment read back the ways the analysis
// reads it (lead block, single sectors, single pages, runs of pages, the tail window).
//
// Input: a flag byte, the scan-info file's length (2 bytes), the scan-info file, then the content
// file. With flag bit 0 the content file is cut or padded with zeros to the size the table asks
// for (its last 6 input bytes kept as the trailer), so that the reads behind the size check run;
// bit 1 leaves the sectors-per-cluster edit empty, so that the trailer's value is taken.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fragments/fragment_list.h"
#include "fragments/page_access.h"
#include "fragments/scan_info_file.h"
#include "fuzz/fuzz_support.h"
#include "page/page_header.h"
#include "scan/fragment_table.h"

namespace {

constexpr int64_t kMaxFittedBytes = int64_t{4} << 20;  // larger tables keep the content as given
constexpr size_t kMaxRecordsRead = 32;
constexpr int32_t kMaxPagesRead = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pagerake;
  static fuzz::MemFile info("scaninfo");  // for the life of the process
  static fuzz::MemFile content("content");
  fuzz::InputReader in(data, size);
  const uint8_t flags = in.U8();
  size_t infoBytes = 0;
  const uint8_t* infoData = in.Bytes(in.U16(), infoBytes);
  size_t contentBytes = 0;
  const uint8_t* contentData = in.Bytes(in.left(), contentBytes);
  info.Assign(infoData, infoBytes);

  FragmentTable table;
  FragmentListModel list;
  PageOrderIndex pageOrder;
  PageAccess pages;
  int16_t sectorsPerCluster = 0;
  std::string sectorsPerClusterText = (flags & 2) ? "" : "8";
  const ScanInfoState state{table, list, pageOrder, pages, sectorsPerCluster,
                            sectorsPerClusterText};
  fuzz::NullHost host;

  // The content file: as given, or fitted to the table the scan-info file describes.
  content.Assign(contentData, contentBytes);
  if (flags & 1) {
    FragmentTable peek;
    if (ReadScanInfoFile(info.path(), peek).status == ScanInfoReadStatus::kRead) {
      const int64_t expected = ExpectedContentFileSize(peek);
      if (expected <= kMaxFittedBytes) {
        const size_t trailer = std::min<size_t>(contentBytes, kContentTrailerBytes);
        const size_t body = std::min<size_t>(contentBytes - trailer, expected - kContentTrailerBytes);
        content.Clear(expected);
        content.WriteAt(0, contentData, body);
        content.WriteAt(expected - static_cast<int64_t>(trailer),
                        contentData + contentBytes - trailer, trailer);
      }
    }
  }

  const OpenScanInfoResult opened =
      OpenScanInfoFiles(state, info.path(), content.path(), host);
  if (opened.tableLoaded && (pageOrder.size() != table.size() || list.rows.size() > table.size())) {
    std::abort();
  }
  if (!opened.contentOpened) return 0;
  if (pages.LiveSourceMode()) std::abort();

  // Reads of the saved fragments; the data source is never touched in content-file mode.
  DataSource none;
  std::vector<uint8_t> buffer(size_t{kMaxPagesRead} * kPageSize);
  std::vector<uint8_t> known;
  for (size_t i = 0; i < table.size() && i < kMaxRecordsRead; ++i) {
    const FragmentRecord& r = table[i];
    (void)pages.ReadLeadBlock(none, r.fsec, buffer.data());
    const int32_t n = std::min(r.Pages(), kMaxPagesRead);
    for (int32_t p = 0; p <= n; ++p) {
      (void)pages.ReadFragmentSectors(none, r.fsec, int64_t{p} * kSectorsPerPage, kSectorsPerPage,
                                      buffer.data());
      (void)pages.ReadFragmentSectors(none, r.fsec, int64_t{p} * kSectorsPerPage - 1, 3,
                                      buffer.data());
    }
    if (n > 0) (void)pages.ReadFragmentPages(none, r.fsec, 0, n, buffer.data());
    (void)pages.ReadFragmentPages(none, r.fsec, n / 2, 2, buffer.data());
    (void)pages.ReadTailWindow(none, r.fsec, 64, buffer.data(), known);
  }
  return 0;
}
