#include "scan/scan_loop.h"

#include <algorithm>
#include <memory>

#include "page/byte_order.h"
#include "page/page_header.h"
#include "scan/record_fragment.h"
#include "scan/scan_window.h"
#include "volume/bitmap_preparation.h"
#include "volume/boot_sector.h"

namespace pagerake {
namespace {

// The span of one PFS page: a run joins the fragment before it only when the gap between them is
// at most this many sectors (8088 pages).
constexpr int64_t kMaxJoinGapSectors = 0x1F980;

// The free-space preparation: memo line, bitmap file for very large sources, the build.
bool PrepareFreeSpace(ScanJob& job, FreeSpaceBitmap& bitmap) {
  return PrepareFreeSpaceBitmap(bitmap, job.source, job.options.endSector, job.host);
}

std::string ErrorLine(const char* word, int64_t sector) {
  return std::string(word) + "1sec" + std::to_string(sector);
}

// One walk over the source: the cursor, the skip limit and the numbering of this job.
class Walker {
 public:
  Walker(ScanJob& job, FreeSpaceBitmap* freeSpace)
      : job_(job),
        freeSpace_(freeSpace),
        window_(job.source, job.options.endSector, freeSpace == nullptr),
        end_(job.options.endSector),
        cursor_(job.options.beginSector),
        step_(job.options.stepSectors >= 32 ? 16 : std::max<int64_t>(job.options.stepSectors, 1)) {}

  bool PlaceFirstWindow();
  ScanEnd Walk();
  int64_t cursor() const { return cursor_; }
  int64_t ResumeSector() const;

 private:
  void ShowProgress();
  bool Skipped();
  int64_t SkipLimit() const;
  bool StepOverHeldPositions();
  void TestPosition();
  int32_t FollowRun(int64_t start, int32_t firstPage, int16_t fileId, const char* errorWord);
  void JoinOrRecord(int64_t start, int32_t firstPage, int32_t pages);

  ScanJob& job_;
  FreeSpaceBitmap* freeSpace_;
  ScanWindow window_;
  const int64_t end_;
  int64_t cursor_;
  const int64_t step_;
  int64_t limit_ = 0;       // L: first sector not covered by the last run; 0 before any run
  int64_t windowSize_ = kScanWindowSectors;
  int32_t sn_ = 0;          // number of the last fragment this job recorded
  int gauge_ = -1;          // last percentage sent
  int64_t nextGaugeAt_ = 0;  // first cursor at which the percentage can change
};

bool Walker::PlaceFirstWindow() {
  if (window_.Place(cursor_)) return true;
  job_.host.AddMemoLine(Memo::kSource, ErrorLine("512error", cursor_));
  return false;
}

// The gauge shows cursor × 100 / end, rounded; it is sent only when that changes.
void Walker::ShowProgress() {
  if (job_.progress != nullptr) job_.progress->cursor.store(cursor_, std::memory_order_relaxed);
  if (cursor_ < nextGaugeAt_ || end_ <= 0) return;
  const int percent = static_cast<int>((cursor_ * 200 + end_) / (2 * end_));
  if (percent != gauge_) {
    gauge_ = percent;
    job_.host.SetGauge(percent);
  }
  // round(c × 100 / end) first reaches percent + 1 at c × 200 >= (2 × percent + 1) × end.
  const int64_t need = (2 * int64_t{percent} + 1) * end_;
  nextGaugeAt_ = (need + 199) / 200;
}

// Positions in used clusters and inside the last run are not looked at.
bool Walker::Skipped() {
  if (freeSpace_ != nullptr && freeSpace_->IsSectorInUse(job_.source, cursor_)) return true;
  return limit_ > 0 && cursor_ < SkipLimit();
}

// With a step below 16 the walk resumes inside the last page of the last run.
int64_t Walker::SkipLimit() const { return step_ < 16 ? limit_ - 16 + step_ : limit_; }

// The cursor, or when it still lies inside the last run, the first position of the walk behind it.
int64_t Walker::ResumeSector() const {
  if (limit_ <= 0 || cursor_ >= SkipLimit()) return cursor_;
  return cursor_ + (SkipLimit() - cursor_ + step_ - 1) / step_ * step_;
}

// Positions whose header the window already holds and whose version byte is not 1 pass no test
// and change nothing: they are stepped over in one tight loop, up to the next gauge change, the
// end of what is held, or a stop. True when any position was stepped over.
bool Walker::StepOverHeldPositions() {
  if (freeSpace_ != nullptr || (limit_ > 0 && cursor_ < SkipLimit())) return false;
  const uint8_t* data = nullptr;
  int64_t first = 0, heldEnd = 0;
  if (!window_.Held(cursor_, data, first, heldEnd)) return false;
  const int64_t bound = std::min({end_, heldEnd, std::max(nextGaugeAt_, cursor_ + 1)});
  const int64_t start = cursor_;
  while (cursor_ < bound && data[(cursor_ - first) * kSectorSize] != 1 &&
         !job_.scanStopped.load(std::memory_order_relaxed)) {
    cursor_ += step_;
  }
  return cursor_ != start;
}

ScanEnd Walker::Walk() {
  while (cursor_ < end_) {
    ShowProgress();
    if (job_.scanStopped.load(std::memory_order_relaxed)) {
      job_.host.SetStatusText("已停止扫描");
      return ScanEnd::kStopped;
    }
    if (StepOverHeldPositions()) continue;
    if (!Skipped()) TestPosition();
    cursor_ += step_;
  }
  return ScanEnd::kFinished;
}

void Walker::TestPosition() {
  const int64_t remaining = end_ - cursor_;
  windowSize_ = remaining >= 1 && remaining < kScanWindowSectors ? remaining : kScanWindowSectors;
  const uint8_t* header = window_.ReadPageHeader(cursor_, true, windowSize_);
  if (header == nullptr) {
    job_.host.AddMemoLine(Memo::kSource, ErrorLine("512error", cursor_));
    return;
  }
  // Every header test wants version 1; on other data nearly every position stops here.
  if (header[header_offset::kHeaderVersion] != 1) return;
  if (IsFileHeaderPage(header, job_.currentFileId)) {
    // Page 0 counts only with its PFS page right behind it, unless it may end an extent.
    const uint8_t* pfs = window_.ReadPageHeader(cursor_ + kSectorsPerPage, false, windowSize_);
    if (pfs == nullptr) {
      job_.host.AddMemoLine(Memo::kSource, ErrorLine("512error", cursor_ + kSectorsPerPage));
      return;
    }
    if (!IsPfsPage(pfs, job_.currentFileId)) {
      if (!job_.options.pageZeroAlone) return;
      job_.host.AddMemoLine(Memo::kSource,
                            "文件头后无PFS页面,仍作为碎片记录:" + std::to_string(cursor_));
    }
    const int64_t start = cursor_;
    const int32_t pages = FollowRun(start, 0, job_.currentFileId, "8192errorhead");
    job_.pendingMemo = "无效文件头";
    ++sn_;
    RecordFragment(job_, sn_, pages, 0, start);
  } else if (IsPlausiblePage(header, PlausibleMode::kTakeFileId, job_.currentFileId)) {
    const int64_t start = cursor_;
    const int32_t firstPage = static_cast<int32_t>(LoadLe32(header + header_offset::kPageId));
    const int32_t pages = FollowRun(start, firstPage, job_.currentFileId, "8192error");
    JoinOrRecord(start, firstPage, pages);
  }
}

// Follows the pages that continue the page at `start`; returns the run's page count and leaves
// the skip limit at the first sector after the run.
int32_t Walker::FollowRun(int64_t start, int32_t firstPage, int16_t fileId,
                          const char* errorWord) {
  limit_ = start;
  int64_t expected = firstPage;
  int32_t pages = 0;
  for (;;) {
    limit_ += kSectorsPerPage;
    ++expected;
    ++pages;
    if (limit_ >= end_ || expected > INT32_MAX) break;
    const uint8_t* header = window_.ReadPageHeader(limit_, true, windowSize_);
    if (header == nullptr) {
      job_.host.AddMemoLine(Memo::kSource, ErrorLine(errorWord, limit_));
      cursor_ += step_;
      break;
    }
    if (!IsNextPage(header, static_cast<int32_t>(expected), fileId)) break;
  }
  return pages;
}

// A run that lies exactly where the fragment before it would continue, within one PFS span and
// with the same file id, becomes part of that fragment; any other run is a fragment of its own.
// Only a fragment this job recorded is continued: an earlier scan's stays as it was.
void Walker::JoinOrRecord(int64_t start, int32_t firstPage, int32_t pages) {
  if (sn_ > 0 && job_.table.size() > job_.firstOwnLine) {
    const FragmentRecord& prev = job_.table[job_.table.size() - 1];
    const int64_t gap = start - prev.esec;
    const int64_t pagesBetween = int64_t{firstPage} - prev.beginPage;
    if (gap > 0 && pagesBetween * kSectorsPerPage == start - prev.fsec &&
        gap <= kMaxJoinGapSectors && prev.fileId == job_.currentFileId) {
      const int32_t joined = static_cast<int32_t>(pages + pagesBetween);
      const int32_t prevBegin = prev.beginPage;
      const int64_t prevFsec = prev.fsec;
      if (prevBegin == 0) job_.pendingMemo = prev.memo;  // the joined fragment keeps its name
      RecordFragment(job_, sn_, joined, prevBegin, prevFsec, RecordPlacement::kReplaceLast);
      return;
    }
  }
  ++sn_;
  RecordFragment(job_, sn_, pages, firstPage, start);
}

}  // namespace

ScanResult RunScan(ScanJob& job) {
  // On every way out the stop flag is left set, so the analysis may start and the list may sort.
  struct StopOnExit {
    std::atomic<bool>& flag;
    ~StopOnExit() { flag.store(true); }
  } stopOnExit{job.scanStopped};

  ScanResult result;
  const ScanOptions& o = job.options;
  job.host.ClearMemo(Memo::kSource);

  // 1. Free space only: the bitmap of the volume's clusters.
  FreeSpaceBitmap ownBitmap;
  FreeSpaceBitmap* freeSpace = nullptr;
  if (job.source.isVolume && o.freeSpaceOnly) {
    freeSpace = job.freeSpace != nullptr ? job.freeSpace : &ownBitmap;
    if (!PrepareFreeSpace(job, *freeSpace)) {
      result.end = ScanEnd::kFreeSpaceFailed;
      result.pageOrder = BuildPageOrderIndex(job.table);
      return result;
    }
  }
  // The walk stays on the source and, on a volume, among its clusters: there is nothing to read
  // behind them, and their bitmap ends there.
  job.options.endSector =
      std::min({o.endSector, ReadableEnd(job.source), ClusterAreaEnd(job.source)});
  // What earlier scans found between begin and end.
  job.earlierFragments.clear();
  for (const FragmentRecord& r : job.table) {
    if (r.esec > o.beginSector && r.fsec < o.endSector) {
      job.earlierFragments.emplace_back(r.fsec, r.esec, r.beginPage);
    }
  }
  std::sort(job.earlierFragments.begin(), job.earlierFragments.end());
  job.firstOwnLine = job.table.size();

  // 2. Announce the start; the free-space test uses the step as the cluster size.
  job.host.AddMemoLine(Memo::kSource, "开始扫描" + CurrentDateTimeText());
  job.host.SetStatusText("开始扫描");
  job.source.sectorsPerCluster = static_cast<int16_t>(o.stepSectors & 0xFFFF);

  // 3. The first window; a source that cannot be read there ends the job.
  Walker walker(job, freeSpace);
  if (!walker.PlaceFirstWindow()) {
    result.end = ScanEnd::kFirstReadFailed;
    result.pageOrder = BuildPageOrderIndex(job.table);
    return result;
  }

  // 4. The walk.
  result.end = walker.Walk();
  result.scannedSectors =
      std::max<int64_t>(0, std::min(walker.cursor(), o.endSector) - o.beginSector);
  result.resumeSector = walker.ResumeSector();
  if (job.progress != nullptr) job.progress->cursor.store(walker.cursor());

  // 5. Finished: close the bitmap and report. However the walk ended, the fragments it recorded
  //    are real: the page-order index is rebuilt over them.
  if (result.end == ScanEnd::kFinished) {
    if (freeSpace != nullptr) freeSpace->CloseFile();
    job.host.AddMemoLine(Memo::kSource, "完成" + CurrentDateTimeText());
    job.host.SetStatusText("完成");
    job.scanStopped.store(true);
  }
  result.pageOrder = BuildPageOrderIndex(job.table);
  return result;
}

}  // namespace pagerake
