// What one scan job works with: its options, the source it reads, the table it fills, the Host it
// reports to, the stop flag it watches, and the state it carries from one run of pages to the
// next. RunScan (scan_loop.h) and RecordFragment (record_fragment.h) take it by reference; the
// job owns nothing program-wide, so two sessions (or two tests) never share scan state.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "base/host.h"
#include "base/io_buffer.h"
#include "page/page_header.h"
#include "scan/fragment_table.h"
#include "source/data_source.h"
#include "volume/free_space_bitmap.h"

namespace pagerake {

// The scan options, taken from the option fields of the data source tab once, when the job
// starts. The caller has checked them: end above begin, step above 0.
struct ScanOptions {
  bool freeSpaceOnly = false;   // chkfreespace: skip positions whose cluster is in use
  int64_t beginSector = 0;      // edtbegin: first position
  int64_t endSector = 0;        // edtend: end of the walk, exclusive
  int64_t stepSectors = 1;      // edtsecs: sectors per cluster; the walk steps by at most 16
  bool limitBeginPage = false;  // CheckBox1: record only fragments starting below maxBeginPage
  int32_t maxBeginPage = 0;     // edtmaxpageid
  // Beyond the written rules: a file header page starts a fragment at page 0 even when its PFS
  // page does not follow it (page 0 at the end of an extent).
  bool pageZeroAlone = false;
};

// Told of every change the scan makes to the fragment table, in order, on the job thread, so
// that a front end can mirror the table into its fragment list (on its own thread).
class FragmentSink {
 public:
  virtual ~FragmentSink() = default;
  // A record was appended to the end of the table.
  virtual void Appended(const FragmentRecord& record) = 0;
  // The last record was removed (a run was joined to the fragment before it).
  virtual void RemovedLast() = 0;
};

// How far the walk has got; read by other threads for progress displays.
struct ScanProgress {
  std::atomic<int64_t> cursor{0};
  std::atomic<int64_t> fragments{0};  // lines in the fragment table, after each change
};

struct ScanJob {
  ScanJob(DataSource& source_, FragmentTable& table_, Host& host_, const ScanOptions& options_,
          std::atomic<bool>& scanStopped_, int16_t& currentFileId_)
      : source(source_), table(table_), host(host_), options(options_),
        scanStopped(scanStopped_), currentFileId(currentFileId_) {}

  // The job's own copy of the data source (its reads never overlap the window's). The scan
  // stores the low 16 bits of the step in its sectorsPerCluster, as the free-space test uses it.
  DataSource& source;
  FragmentTable& table;
  Host& host;
  ScanOptions options;
  std::atomic<bool>& scanStopped;  // ScanStopped: true asks the walk to stop; true again at the end
  int16_t& currentFileId;          // CurrentFileId: file id of the run being followed
  FragmentSink* sink = nullptr;    // optional mirror of the table
  ScanProgress* progress = nullptr;  // optional progress figure
  // The bitmap that a scan of a volume's free space builds and tests (kept by the caller, as it
  // outlives the job); null: the job uses one of its own.
  FreeSpaceBitmap* freeSpace = nullptr;
  // Taken around every change the job makes to the table, so that another thread can copy a
  // consistent table while the job runs; null when nobody else reads it meanwhile.
  std::mutex* tableMutex = nullptr;

  // Set by RunScan when the walk starts. The fragments the table held before this job within its
  // range, by start sector, end sector and first page, sorted: a walk over sectors scanned before
  // records none of them a second time.
  std::vector<std::tuple<int64_t, int64_t, int32_t>> earlierFragments;
  // The first line of the table that this job recorded: a run joins only a fragment of its own.
  size_t firstOwnLine = 0;

  // PendingMemo: the memo that RecordFragment gives a fragment that starts at page 0.
  std::string pendingMemo;
  // Page buffer for the page 0 and page 32 reads of RecordFragment.
  IoBuffer pageBuffer{kPageSize};
};

}  // namespace pagerake
