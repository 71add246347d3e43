// Session: the one owner of program-wide state. The window owns one, the command-line front end
// one per run, a test its own. There are no globals: every command takes the Session and a Host.
//
// Threads: the UI thread runs every command and owns every field here, except what a running job
// is handed when it starts (the fragment table, which only the running scan writes, the free-space
// bitmap and the scan progress) and ScanStopped, which both threads read and write. Whatever else a
// job changes reaches the Session through Host::Post, on the UI thread. While a scan job runs,
// commands that change the fragment table are refused, and those that read it read a copy taken
// under fragmentTableMutex, which the scan holds for each change it makes.
//
// Destroying the Session asks a running scan to stop and waits for every job thread first.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "analysis/database_files.h"
#include "analysis/file_analysis.h"
#include "analysis/recovery_rules.h"
#include "analysis/successor_choice.h"
#include "app/job_control.h"
#include "assembly/assembly_list.h"
#include "fragments/fragment_filter.h"
#include "fragments/fragment_list.h"
#include "fragments/list_tools.h"
#include "fragments/page_access.h"
#include "fragments/random_source.h"
#include "scan/fragment_table.h"
#include "scan/scan_job.h"
#include "scan/scan_loop.h"
#include "source/data_source.h"
#include "volume/free_space_bitmap.h"

namespace pagerake {

// The scan options of the data-source tab as the window holds them: check boxes and edit texts.
struct ScanFields {
  bool chkfreespace = true;         // "只扫描空闲簇(FREE SPACE ONLY)"
  bool chkfreespaceEnabled = true;  // cleared and disabled for whole disks
  std::string edtbegin = "0";       // "开始扇区"
  std::string edtend = "0";         // "结束扇区"
  std::string edtsecs = "1";        // "每簇扇区数"
  bool CheckBox1 = false;           // "开始页面号小于"
  std::string edtmaxpageid;         // its page number
  std::string Edit2 = "1";          // "文件ID"
  std::string label5;               // the file system name shown for a volume
  bool enabled = true;              // the scan disables the option fields; they stay disabled
};

// What the last scan job ended with, for front ends that report it.
struct ScanReport {
  bool ran = false;
  ScanEnd end = ScanEnd::kFirstReadFailed;
  int64_t scannedSectors = 0;
  int64_t resumeSector = 0;  // stopped: where the next scan goes on
};

inline constexpr char kDataSourcePrompt[] = "......右键设置数据源(RIGHT CLICK TO CHOOSE DS )......";

class Session {
 public:
  Session() = default;
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  DataSource dataSource;
  std::string edtDataStr = kDataSourcePrompt;  // what the data-source field shows
  ScanFields fields;

  FragmentTable fragmentTable;
  mutable std::mutex fragmentTableMutex;  // held by a running scan for each change of the table
  // A copy of the fragment table, consistent however far a running scan has got.
  FragmentTable FragmentTableSnapshot() const;
  PageOrderIndex pageOrderIndex;
  FragmentListModel fragmentList;  // ListView2
  int32_t sortColumn = 0;          // SortColumn: the column clicked last
  FragmentFilterSettings fragmentFilter;  // GroupBox1 "开始页面号范围"
  AutoCheckSettings autoCheck;            // GroupBox3 "自动下勾选选项"
  PageAccess pageAccess;           // LiveSourceMode and the open fragment-content file
  SeededRandomSource random;       // start values and keys of saved scans
  FreeSpaceBitmap freeSpaceBitmap;
  // The fragment table came from a scan of free clusters only: the bitmap tells, for that scan's
  // source, which clusters no deleted file's sectors can lie in. Cleared when a saved scan is
  // opened.
  bool scannedFreeSpaceOnly = false;
  // The bitmap, while it describes the fragment table's source; nothing otherwise (nor while a
  // scan job runs: the job builds it anew).
  FreeSpaceBitmap* UsedClusters() {
    return scannedFreeSpaceOnly && !ScanJobRunning() ? &freeSpaceBitmap : nullptr;
  }

  int16_t currentFileId = 1;  // CurrentFileId
  // ScanStopped: true when no scan runs or a stop was asked for.
  std::atomic<bool> scanStopped{true};
  // Scan jobs started and not yet ended: a job counts from StartScan (it may still wait for the
  // slot) until its results have reached the Session. Unlike ScanStopped, which STOP sets while
  // the job still runs, this says whether the fragment table can change.
  std::atomic<int> scanJobs{0};
  bool ScanJobRunning() const { return scanJobs.load() > 0; }
  // Set when the Session is being destroyed: a running analysis ends at its next step.
  std::atomic<bool> closing{false};
  JobKind jobKind = JobKind::kNone;  // JobKind of the job started last
  ScanProgress scanProgress;         // position of the running scan
  ScanReport lastScan;

  // The analysis tab: the database files found (ListView3), "自动模式" (chkauto), whether
  // "分析该碎片(FILTER)" (Button1) and chkauto can be used, and what the last analysis left. A
  // running analysis works on copies of what it reads and hands its results over when it ends.
  DatabaseFileList databaseFiles;
  bool chkauto = true;
  // The rules beyond the written design that the analysis and the assembly follow ("经典模式"
  // ticked: none of them).
  RecoveryRules rules;
  bool analysisControlsEnabled = true;
  AnalysisResults analysis;
  // What listing the databases without a page 0 learned of the fragments' pages (the analyses of
  // the listed databases it ran): an analysis started next begins with it, and reads none of
  // those pages again.
  std::shared_ptr<const HeaderFactCache> listedFacts;
  std::optional<AnalysisEnd> lastAnalysisEnd;  // how the last analysis ended; none while it runs
  std::shared_ptr<SuccessorChoice> successorChoice;  // the one of the analysis started last

  // The assembly tab: the assembly list (ListView4) with its three buttons.
  AssemblyListModel assemblyList;

  // Window state the scan commands change.
  bool scanButtonEnabled = true;  // btnscan
  int activeTab = 0;              // PageControl1: 0 data source ... 3 assembly
  std::string focusedControl;     // where the keyboard focus was put last

  // The job threads; declared last so that nothing it waits for has been freed.
  JobRunner jobs;
};

}  // namespace pagerake
