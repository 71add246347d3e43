// RecordFragment: turns one run of pages found by the scan into a line of the fragment table,
// naming fragments that start a database file.
//
// A fragment that starts at page 0 gets its memo from the file's own pages: a short one (32 pages
// or fewer, so page 32 is not in it) "无效文件头,size:<KB>KB" from the size that page 0 records;
// a longer one found through its file header page "<recorded name>(<size text>)" from pages 0 and
// 32; a longer one that replaces a fragment (a joined run) keeps the pending memo. Pages 0 and 32
// are read through ReadSectors, with torn bits restored first.
#pragma once

#include <cstdint>
#include <string>

#include "scan/scan_job.h"

namespace pagerake {

// Whether the new record is added after the others or takes the place of the last one.
enum class RecordPlacement { kAppend, kReplaceLast };

// Records a fragment of `pages` pages starting with page `beginPage` at sector `fsec`, numbered
// `sn`, with file id job.currentFileId. Nothing is recorded when the "开始页面号小于" filter is on
// and beginPage is not below its number, or when page 0 or 32 cannot be read ("read disk error"
// message). With kReplaceLast the last record is removed only when the new one is recorded, so a
// failed read never loses a fragment the table already had. A fragment that job.earlierFragments
// holds is not recorded again; with kReplaceLast the job's own last record, which the run was
// joined to, is then removed. Changes the table under job.tableMutex and tells job.sink of every
// change. Returns true when a record was added.
bool RecordFragment(ScanJob& job, int32_t sn, int32_t pages, int32_t beginPage, int64_t fsec,
                    RecordPlacement placement = RecordPlacement::kAppend);

// The size text of a file of `sizePages` pages: megabytes with two decimals and " MB", or from
// 1000 MB on gigabytes with two decimals and " GB" ("20.00 MB", "0.98 GB"). The decimal
// separator is always ".".
std::string FileSizeText(int64_t sizePages);

}  // namespace pagerake
