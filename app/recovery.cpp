#include "app/recovery.h"

#include <algorithm>

#include "app/analysis_commands.h"
#include "app/assembly_commands.h"
#include "app/file_evidence.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {

RecoveryReport RecoverDatabase(Session& session, Host& host, int row,
                               const std::string& outputPath,
                               const std::function<void(const char*)>& onStage) {
  auto stage = [&onStage](const char* name) {
    if (onStage) onStage(name);
  };
  RecoveryReport report;
  stage("analysing");
  // 1. The analysis, automatic, as the job it is in the window.
  ClickDatabaseFile(session, row);
  session.chkauto = true;
  if (!ClickAnalyse(session, host)) return report;
  session.jobs.JoinAll();
  report.analysis = session.lastAnalysisEnd;
  report.sizePages = session.analysis.targetFileSizePages;
  report.name = session.analysis.targetFileName;
  if (report.analysis != AnalysisEnd::kFinished) return report;
  // 2. SEARCH MORE (its passes run until one finds nothing), then CHECK, in page order.
  stage("search more");
  ClickAssemblyListColumn(session, kColBeginPage);
  const SearchMoreResult more = ClickSearchMore(session, host);
  report.searchMoreAdded = more.added;
  report.name = session.analysis.targetFileName;
  stage("check");
  ClickAssemblyListColumn(session, kColBeginPage);
  const MissingPages missing = ClickCheck(session, host);
  report.missingPfsPages = static_cast<int32_t>(missing.pfsPages.size());
  report.missingPages = static_cast<int32_t>(missing.pages.size());
  report.missingPageNumbers = missing.pages;
  report.missingPageNumbers.insert(report.missingPageNumbers.end(), missing.pfsPages.begin(),
                                   missing.pfsPages.end());
  std::sort(report.missingPageNumbers.begin(), report.missingPageNumbers.end());
  // 3. CREATE MDF; the evidence for every page comes from the pages on their way out.
  stage("writing");
  const MdfInput in = MdfInputOf(session);
  report.fragments = static_cast<int32_t>(in.rows.size());
  MdfWriteResult w = WriteMdfTo(in, outputPath, host);
  report.written = w.written;
  report.output = w.path;
  report.pagesRecovered = w.pagesFromFragments;
  report.pagesZero = w.zeroPages + w.unreadablePages;
  report.pagesUnreadable = w.unreadablePages;
  report.unreadablePages = w.unreadablePageNumbers;
  report.pagesOverlapping = w.overlappingPages;
  report.pagesRepaired = w.repairedPages;
  report.pagesTailFound = w.tailsFound;
  if (!w.written) return report;
  RebuildHeaderOfHeadless(session, w, host);
  report.evidence = JudgeWrittenFile(session, w);
  NameTablesAtStake(report.evidence, w,
                    std::vector<int64_t>(report.missingPageNumbers.begin(),
                                         report.missingPageNumbers.end()));
  report.sizePages = static_cast<int32_t>(report.evidence.size.pages);
  report.choicePages = report.evidence.choicePages;
  for (size_t p = 0; p < w.facts.size(); ++p) {
    const uint16_t f = w.facts[p];
    if (!(f & kFactOwnPage) || (f & kFactZero)) continue;
    if (f & (kFactChecksum | kFactTornBits)) {
      if (!(f & kFactVerified)) report.unverifiedPages.push_back(static_cast<int64_t>(p));
    } else if (report.evidence.evidence.classes[p] == PageClass::kInconsistent ||
               report.evidence.evidence.classes[p] == PageClass::kUnconfirmed) {
      report.unsoundPages.push_back(static_cast<int64_t>(p));
    }
  }
  report.pagesUnverified = static_cast<int64_t>(report.unverifiedPages.size());
  for (const std::string& line : EvidenceMemoLines(report.evidence)) {
    host.AddMemoLine(Memo::kAssembly, line);
  }
  w.facts.clear();
  w.check.standing.clear();
  report.write = std::move(w);
  return report;
}

}  // namespace pagerake
