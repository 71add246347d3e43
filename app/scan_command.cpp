#include "app/scan_command.h"

#include <charconv>
#include <memory>
#include <string_view>
#include <utility>

#include "fragments/option_text.h"

namespace pagerake {
namespace {

// Captions of the option fields, as messages name them.
constexpr char kBeginCaption[] = "开始扇区";
constexpr char kEndCaption[] = "结束扇区";
constexpr char kStepCaption[] = "每簇扇区数";
constexpr char kMaxPageCaption[] = "开始页面号小于";
constexpr char kFileIdCaption[] = "文件ID";

// A whole decimal number with an optional sign and surrounding spaces (64-bit sector numbers; the
// 32-bit fields are read as the fragment tools read theirs).
std::optional<int64_t> ParseInt64Text(std::string_view text) {
  text = TrimSpaces(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Mirrors the scan's changes of the fragment table into the fragment list, on the UI thread.
class FragmentListMirror : public FragmentSink {
 public:
  FragmentListMirror(FragmentListModel& list, Host& host) : list_(list), host_(host) {}
  void Appended(const FragmentRecord& record) override {
    host_.Post([&list = list_, record] { list.AppendRecord(record); });
  }
  void RemovedLast() override {
    host_.Post([&list = list_] { list.RemoveLastRow(); });
  }

 private:
  FragmentListModel& list_;
  Host& host_;
};

// The scan job's body on its TMyThread: RunScan on the job's own copy of the source, then the
// results that the window keeps are handed to the UI thread.
void RunScanJob(Session& session, Host& host, const ScanOptions& options, DataSource source,
                int16_t fileId) {
  host.Post([&session] { session.fields.enabled = false; });
  FragmentListMirror mirror(session.fragmentList, host);
  int16_t currentFileId = fileId;
  ScanJob job(source, session.fragmentTable, host, options, session.scanStopped, currentFileId);
  job.sink = &mirror;
  job.progress = &session.scanProgress;
  job.freeSpace = &session.freeSpaceBitmap;
  job.tableMutex = &session.fragmentTableMutex;
  ScanResult result = RunScan(job);
  // A stopped scan goes on where it stopped: the begin field is set there, and the memo says so.
  std::optional<std::string> resumeAt;
  if (result.end == ScanEnd::kStopped) {
    resumeAt = std::to_string(result.resumeSector);
    host.AddMemoLine(Memo::kSource, StoppedAtLine(result.resumeSector));
  }
  // The index covers what was found however the scan ended; the job counts as running until the
  // window has it.
  auto index = std::make_shared<PageOrderIndex>(std::move(result.pageOrder));
  const ScanReport report{true, result.end, result.scannedSectors, result.resumeSector};
  const int16_t clusterSectors = source.sectorsPerCluster;
  const bool freeOnly = options.freeSpaceOnly;
  host.Post([&session, index, report, currentFileId, clusterSectors, freeOnly, resumeAt] {
    session.scannedFreeSpaceOnly = freeOnly;
    session.pageOrderIndex = std::move(*index);
    session.currentFileId = currentFileId;
    session.dataSource.sectorsPerCluster = clusterSectors;
    session.lastScan = report;
    if (resumeAt) session.fields.edtbegin = *resumeAt;
    session.scanJobs.fetch_sub(1);
  });
}

}  // namespace

ParsedScanOptions ParseScanFields(const ScanFields& f) {
  ParsedScanOptions out;
  const auto begin = ParseInt64Text(f.edtbegin);
  if (!begin) return {std::nullopt, NotANumberMessage(kBeginCaption, f.edtbegin)};
  const auto end = ParseInt64Text(f.edtend);
  if (!end) return {std::nullopt, NotANumberMessage(kEndCaption, f.edtend)};
  const auto step = ParseInt64Text(f.edtsecs);
  if (!step) return {std::nullopt, NotANumberMessage(kStepCaption, f.edtsecs)};
  if (*begin < 0) return {std::nullopt, "“" + std::string(kBeginCaption) + "” 不能小于0: " + f.edtbegin};
  if (*step <= 0) return {std::nullopt, "“" + std::string(kStepCaption) + "” 必须大于0: " + f.edtsecs};
  if (*end <= *begin) {
    return {std::nullopt, "“" + std::string(kEndCaption) + "” 必须大于“" + kBeginCaption + "”: " +
                              f.edtend};
  }
  ScanOptions o;
  o.freeSpaceOnly = f.chkfreespace;
  o.beginSector = *begin;
  o.endSector = *end;
  o.stepSectors = *step;
  o.limitBeginPage = f.CheckBox1;
  if (f.CheckBox1) {
    const auto maxPage = ParseInt32Text(f.edtmaxpageid);
    if (!maxPage) return {std::nullopt, NotANumberMessage(kMaxPageCaption, f.edtmaxpageid)};
    o.maxBeginPage = *maxPage;
  }
  out.options = o;
  return out;
}

bool StartScan(Session& session, Host& host) {
  // 1. A source must have been chosen.
  if (!session.dataSource.sourceChosen) {
    host.ShowMessage("请选择数据源！", "提示", MessageIcon::kWarning, MessageButtons::kOk);
    session.focusedControl = "edtDataStr";
    return false;
  }
  // 2. The options, read once now; a wrong field stops here.
  const ParsedScanOptions parsed = ParseScanFields(session.fields);
  if (!parsed.options) {
    host.ShowMessage(parsed.error, "提示", MessageIcon::kWarning, MessageButtons::kOk);
    return false;
  }
  ScanOptions options = *parsed.options;
  options.pageZeroAlone = session.rules.pageZeroAlone;
  // 3. The window ends on the data-source tab with the scan button disabled.
  session.activeTab = 0;
  session.scanButtonEnabled = false;
  // 4. The job: it gets its own copy of the source and of the options.
  session.scanStopped = false;
  session.jobKind = JobKind::kScan;
  // The progress figure starts at the begin sector, not where the last scan left it.
  session.scanProgress.cursor.store(options.beginSector);
  session.scanJobs.fetch_add(1);
  session.jobs.Start(JobKind::kScan,
                     [&session, &host, options, source = session.dataSource,
                      fileId = session.currentFileId](JobKind kind) {
                       if (kind == JobKind::kScan) RunScanJob(session, host, options, source, fileId);
                     });
  return true;
}

bool ClickScanButton(Session& session, Host& host) {
  const auto fileId = ParseInt32Text(session.fields.Edit2);
  if (!fileId) {
    host.ShowMessage(NotANumberMessage(kFileIdCaption, session.fields.Edit2), "提示",
                     MessageIcon::kWarning, MessageButtons::kOk);
    return false;
  }
  session.currentFileId = static_cast<int16_t>(*fileId);
  return StartScan(session, host);
}

void StopScan(Session& session) { session.scanStopped = true; }

std::string StoppedAtLine(int64_t sector) {
  const std::string at = std::to_string(sector);
  return "扫描停止于扇区" + at + ",开始扇区已设为" + at + ",再次扫描即从此继续";
}

bool RefusedWhileScanning(const Session& session, Host& host) {
  if (!session.ScanJobRunning()) return false;
  host.Tell("尚未扫描结束");
  return true;
}

}  // namespace pagerake
