// RunScan: the scan job. Walks the source from the begin sector to the end sector one cluster at
// a time, tests the page header at each position, follows every recognised page through the pages
// that continue it, and records each run as a fragment, joining a run to the fragment before it
// when both lie where their page numbers say they should.
//
// Reports as it goes through the Host: "开始扫描"/"完成" lines (with the date and time) and one
// error line per unreadable header in the source memo, the status text ("开始扫描", "已停止扫描",
// "完成") and the gauge (0 to 100, sent only when the percentage changes).
#pragma once

#include <cstdint>

#include "scan/fragment_table.h"
#include "scan/scan_job.h"

namespace pagerake {

// How a scan job ended.
enum class ScanEnd {
  kFinished,           // reached the end sector ("完成")
  kStopped,            // ScanStopped was seen ("已停止扫描")
  kFreeSpaceFailed,    // the free-space bitmap could not be prepared
  kFirstReadFailed,    // the first window could not be read
};

struct ScanResult {
  ScanEnd end = ScanEnd::kFirstReadFailed;
  int64_t scannedSectors = 0;  // sectors from the begin sector up to where the walk got
  // Stopped: the first position the walk had not looked at (behind the run it followed last), from
  // which a scan with the same step goes on as this one would have.
  int64_t resumeSector = 0;
  PageOrderIndex pageOrder;    // rebuilt from the whole table, however the job ended
};

// Runs the scan job. The walk ends at the end sector, or earlier at the source's end and, for a
// volume, behind its last cluster. The table keeps every fragment recorded, also when the walk is
// stopped; a fragment the table held before is not recorded again. job.scanStopped is true when
// it returns, on every path. Blocks until the walk ends.
ScanResult RunScan(ScanJob& job);

}  // namespace pagerake
