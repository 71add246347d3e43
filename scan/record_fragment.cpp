#include "scan/record_fragment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "page/page_content.h"

namespace pagerake {
namespace {

constexpr char kUnnamedHeaderMemo[] = "无效文件头";
constexpr int32_t kNamePage = 32;  // the page that records the file's name

// Reads the page at `sector` into the job's page buffer with its torn bits restored. On failure
// shows "read disk error" and returns nullptr.
const uint8_t* ReadWholePage(ScanJob& job, int64_t sector) {
  uint8_t* page = job.pageBuffer.data();
  if (!ReadSectors(job.source, sector, kSectorsPerPage, page)) {
    job.host.Tell("read disk error");
    return nullptr;
  }
  RestoreTornBits(page);
  return page;
}

// The file size in pages that page 0 at `fsec` records; 0 (with "get fileinfo1 error") when it
// records none. Nothing when the page cannot be read.
std::optional<int64_t> ReadFileSize(ScanJob& job, int64_t fsec) {
  const uint8_t* page = ReadWholePage(job, fsec);
  if (page == nullptr) return std::nullopt;
  const std::optional<int32_t> size = ReadFileSizePages(page);
  if (!size) {
    job.host.AddMemoLine(Memo::kSource, "get fileinfo1 error");
    return 0;
  }
  return *size;
}

// The memo of a fragment that starts at page 0. Nothing when a page cannot be read.
std::optional<std::string> PageZeroMemo(ScanJob& job, int32_t pages, int64_t fsec) {
  if (pages <= kNamePage) {
    const std::optional<int64_t> size = ReadFileSize(job, fsec);
    if (!size) return std::nullopt;
    return "无效文件头,size:" + std::to_string(*size * 8) + "KB";
  }
  if (job.pendingMemo.find(kUnnamedHeaderMemo) == std::string::npos) return job.pendingMemo;

  const std::optional<int64_t> size = ReadFileSize(job, fsec);
  if (!size) return std::nullopt;
  const uint8_t* page = ReadWholePage(job, fsec + int64_t{kNamePage} * kSectorsPerPage);
  if (page == nullptr) return std::nullopt;
  std::optional<std::string> name = ReadRecordedFileName(page);
  if (!name) {
    job.host.AddMemoLine(Memo::kSource, "get fileinfo2 error");
    name = "none";
  }
  return *name + "(" + FileSizeText(*size) + ")";
}

// Runs `change` on the table under the job's table lock, when it has one.
template <typename Change>
void ChangeTable(ScanJob& job, Change change) {
  if (job.tableMutex == nullptr) return change();
  std::lock_guard<std::mutex> lock(*job.tableMutex);
  change();
}

// The progress figure's fragment count, after a change of the table.
void CountFragments(ScanJob& job) {
  if (job.progress == nullptr) return;
  job.progress->fragments.store(static_cast<int64_t>(job.table.size()), std::memory_order_relaxed);
}

}  // namespace

std::string FileSizeText(int64_t sizePages) {
  double amount = static_cast<double>(sizePages) * 16.0 / 2048.0;  // megabytes
  const char* unit = " MB";
  if (amount >= 1000.0) {
    amount /= 1024.0;
    unit = " GB";
  }
  // Two decimals, halves rounded up (3.625 MB shows as 3.63 MB).
  const long long hundredths = std::llround(std::fabs(amount) * 100.0);
  char text[64];
  std::snprintf(text, sizeof text, "%s%lld.%02lld%s", amount < 0 ? "-" : "", hundredths / 100,
                hundredths % 100, unit);
  return text;
}

bool RecordFragment(ScanJob& job, int32_t sn, int32_t pages, int32_t beginPage, int64_t fsec,
                    RecordPlacement placement) {
  // 1. The "开始页面号小于" filter.
  if (job.options.limitBeginPage && job.options.maxBeginPage <= beginPage) return false;
  // A fragment an earlier scan recorded already is not recorded again. When a run joined to this
  // job's last fragment makes one, that fragment (a piece of it) goes too.
  const int64_t esec = fsec + int64_t{pages} * kSectorsPerPage;
  if (std::binary_search(job.earlierFragments.begin(), job.earlierFragments.end(),
                         std::make_tuple(fsec, esec, beginPage))) {
    if (placement == RecordPlacement::kReplaceLast && job.table.size() > job.firstOwnLine) {
      ChangeTable(job, [&job] { job.table.RemoveLast(); });
      if (job.sink != nullptr) job.sink->RemovedLast();
      CountFragments(job);
    }
    return false;
  }
  // 2. The memo: a space, or the name of a file that starts here.
  std::string memo = " ";
  if (beginPage == 0) {
    std::optional<std::string> named = PageZeroMemo(job, pages, fsec);
    if (!named) return false;
    memo = std::move(*named);
  }
  // 3. The line, in place of the last one when a run was joined to it.
  FragmentRecord record =
      MakeFragmentRecord(sn, fsec, pages, beginPage, std::move(memo), job.currentFileId);
  const bool replace = placement == RecordPlacement::kReplaceLast && !job.table.empty();
  ChangeTable(job, [&job, &record, replace] {
    if (replace) job.table.RemoveLast();
    job.table.Append(std::move(record));
  });
  if (replace && job.sink != nullptr) job.sink->RemovedLast();
  if (job.sink != nullptr) job.sink->Appended(job.table[job.table.size() - 1]);
  CountFragments(job);
  return true;
}

}  // namespace pagerake
