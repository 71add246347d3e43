#include "app/analysis_commands.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "analysis/headless_files.h"
#include "app/scan_command.h"

namespace pagerake {
namespace {

constexpr int kAnalysisTab = 2;
constexpr int kAssemblyTab = 3;

// What one analysis reads and writes: its own copies, so that a command the window runs meanwhile
// (OPEN, a filter, an extraction reading the content file) cannot change them under it.
struct AnalysisRun {
  FragmentTable table;
  PageOrderIndex order;
  DataSource source;
  PageAccess pages;
  int16_t sectorsPerCluster = 0;
  int64_t startSector = 0;
  int32_t startSizeKB = 0;
  bool automatic = true;
  RecoveryRules rules;
  std::shared_ptr<SuccessorChoice> choice;
  std::shared_ptr<const HeaderFactCache> knownFacts;  // what listing learned (Session::listedFacts)
  AnalysisResults results;
};

// AnalyseFile over the run's copies; then its results become the session's, on the UI thread.
void RunAnalysis(Session& session, Host& host, AnalysisRun& run) {
  PageMapReader reader{run.pages, run.source, run.sectorsPerCluster, host};
  if (run.knownFacts) reader.facts = *run.knownFacts;
  reader.facts.ForMedium(MediumOf(run.pages, run.source));
  SuccessorChooser choose = [&run, &host](const std::vector<int32_t>& candidates) {
    auto save = [&run, &host] { SaveTickedCandidates(*run.choice, run.pages, run.source, host); };
    return AskSuccessor(*run.choice, run.table, run.order, candidates,
                        run.results.lastChainedFragment, save, host);
  };
  AnalysisInput input{run.table,       run.order,     reader, run.startSector,
                      run.startSizeKB, run.automatic, choose, &session.closing};
  input.rules = run.rules;
  const AnalysisEnd end = AnalyseFile(input, run.results);
  run.results.headerFacts = std::make_shared<HeaderFactCache>(std::move(reader.facts));
  auto results = std::make_shared<AnalysisResults>(std::move(run.results));
  host.Post([&session, results, end] {
    session.analysis = std::move(*results);
    // The normal end shows what was chained in the assembly list (unless a scan or OPEN has
    // replaced the table meanwhile: its lines are not the ones the flags count). One that failed
    // at its start has nothing to show, and the list of an earlier analysis goes with its results.
    if (end == AnalysisEnd::kFinished) {
      // A scan started meanwhile may be adding to the table: then from a copy.
      const bool scanning = session.ScanJobRunning();
      const FragmentTable copy = scanning ? session.FragmentTableSnapshot() : FragmentTable();
      const FragmentTable& table = scanning ? copy : session.fragmentTable;
      if (session.analysis.inAssembly.size() == table.size()) {
        RebuildAssemblyList(table, session.analysis.inAssembly, session.assemblyList,
                            session.analysis.cutShort, session.analysis.cutFront);
      }
    } else if (end == AnalysisEnd::kStartFailed) {
      session.assemblyList = AssemblyListModel{};
    }
    session.lastAnalysisEnd = end;
    session.analysisControlsEnabled = true;
  });
}

}  // namespace

void ChangeTab(Session& session, Host& host, int tab) {
  if (tab < 0 || tab > kAssemblyTab) return;
  session.activeTab = tab;
  if (tab == kAnalysisTab) {
    // Beside a running scan, of a copy of what it has found; else of the table itself, which
    // nothing can change while the list is made.
    const bool scanning = session.ScanJobRunning();
    const FragmentTable copy = scanning ? session.FragmentTableSnapshot() : FragmentTable();
    const FragmentTable& table = scanning ? copy : session.fragmentTable;
    ListDatabaseFiles(table, session.pageAccess, session.dataSource, session.databaseFiles, host);
    session.listedFacts.reset();
    if (!scanning) {
      auto facts = std::make_shared<HeaderFactCache>();
      AddHeadlessDatabases(table, session.pageOrderIndex, session.pageAccess, session.dataSource,
                           session.rules, session.databaseFiles, *facts);
      if (facts->size() > 0) session.listedFacts = std::move(facts);
    }
  }
}

void ClickDatabaseFile(Session& session, int row) {
  if (row < 0 || static_cast<size_t>(row) >= session.databaseFiles.rows.size()) return;
  session.databaseFiles.selected = row;
}

bool ClickAnalyse(Session& session, Host& host) {
  // 1. Not while a scan job runs, stopped or not (or an analysis: its controls are disabled).
  if (RefusedWhileScanning(session, host)) return false;
  if (!session.analysisControlsEnabled) return false;
  // 2. The assembly tab, then this one; a new successor dialog for this analysis.
  session.activeTab = kAssemblyTab;
  session.activeTab = kAnalysisTab;
  session.jobKind = JobKind::kAnalysis;
  session.successorChoice = std::make_shared<SuccessorChoice>();
  // The selected file; without one the analysis ends at once.
  const DatabaseFileList& files = session.databaseFiles;
  if (files.selected < 0 || static_cast<size_t>(files.selected) >= files.rows.size()) return false;
  const DatabaseFileRow& row = files.rows[static_cast<size_t>(files.selected)];
  auto run = std::make_shared<AnalysisRun>();
  if (!session.pageAccess.DuplicateInto(run->pages)) {
    host.ShowMessage("read disk error", "mess", MessageIcon::kInformation, MessageButtons::kOk);
    return false;
  }
  run->table = session.FragmentTableSnapshot();
  run->order = session.pageOrderIndex;
  if (!row.group.empty()) {  // a database without its page 0: its own fragments alone
    std::erase_if(run->order, [&row](const PageOrderEntry& e) {
      return std::find(row.group.begin(), row.group.end(), e.recordNo) == row.group.end();
    });
  }
  run->source = session.dataSource;
  run->sectorsPerCluster = session.dataSource.sectorsPerCluster;
  run->startSector = row.fsec;
  run->startSizeKB = row.sizeKB;
  run->automatic = session.chkauto;
  run->rules = session.rules;
  run->choice = session.successorChoice;
  run->knownFacts = session.listedFacts;
  // The previous results go now, so that two page maps are never held at once.
  session.analysis = AnalysisResults{};
  session.lastAnalysisEnd.reset();
  session.analysisControlsEnabled = false;
  // 3. Automatic mode on the job thread, manual mode here.
  if (!run->automatic) {
    RunAnalysis(session, host, *run);
    return true;
  }
  session.jobs.Start(JobKind::kAnalysis, [&session, &host, run](JobKind kind) {
    if (kind == JobKind::kAnalysis) RunAnalysis(session, host, *run);
  });
  return true;
}

}  // namespace pagerake
