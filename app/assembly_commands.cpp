#include "app/assembly_commands.h"

#include "app/file_evidence.h"
#include "app/file_report.h"
#include "app/scan_command.h"
#include "app/table_export_offer.h"

namespace pagerake {
namespace {

// False, after saying so, while an automatic analysis has not handed its results over.
bool AnalysisSettled(const Session& session, Host& host) {
  if (session.analysisControlsEnabled) return true;
  host.Tell("分析尚未结束");
  return false;
}

}  // namespace

void ClickAssemblyListColumn(Session& session, int column) {
  ClickAssemblyColumn(session.assemblyList, column, session.sortColumn);
}

SearchMoreResult ClickSearchMore(Session& session, Host& host) {
  if (!AnalysisSettled(session, host)) return {};
  PageMapReader reader{session.pageAccess, session.dataSource,
                       session.dataSource.sectorsPerCluster, host};
  // What the analysis's tests (or an earlier SEARCH MORE's) learned of the pages serves these.
  const std::shared_ptr<HeaderFactCache> facts = session.analysis.headerFacts;
  if (facts) reader.facts = std::move(*facts);
  reader.facts.ForMedium(MediumOf(session.pageAccess, session.dataSource));
  const FragmentTable table = session.FragmentTableSnapshot();  // a scan may be adding to it
  const SearchMoreResult result =
      SearchMore({table, session.pageOrderIndex, reader, session.analysis,
                  session.assemblyList, session.sortColumn, session.rules});
  if (facts) *facts = std::move(reader.facts);
  return result;
}

MissingPages ClickCheck(Session& session, Host& host) {
  if (!AnalysisSettled(session, host)) return {};
  return CheckMissingPages(session.assemblyList.list.rows, session.analysis.targetFileSizePages,
                           session.analysis.pageMap, host, session.analysis.startBeginPage > 0);
}

MdfWriteResult ClickCreateMdf(Session& session, Host& host) {
  if (!AnalysisSettled(session, host)) return {};
  const FragmentTable table = session.FragmentTableSnapshot();  // a scan may be adding to it
  MdfInput in = MdfInputOf(session);
  in.fragments = &table;
  MdfWriteResult w = CreateMdf(in, session.analysis.targetFileName, host);
  if (!w.written) return w;
  // What every page is worth, in the memo and beside the file, and in the closing message.
  RebuildHeaderOfHeadless(session, w, host);
  FileEvidence evidence = JudgeWrittenFile(session, w);
  NameTablesAtStake(evidence, w, {});
  for (const std::string& line : EvidenceMemoLines(evidence)) {
    host.AddMemoLine(Memo::kAssembly, line);
  }
  std::string error;
  const ReportContext context = ReportContextOf(session, w.path, session.analysis.targetFileName,
                                                "pagerake (window)");
  const bool reported = WriteFileReport(context, evidence, w, error);
  host.Tell("组合完毕\n" + EvidenceSummary(evidence.evidence) + "\n" + SizeLine(evidence.size) +
                (reported ? "\n报告: " + ReportJsonPath(w.path) : "\n报告无法写入: " + error),
            reported ? MessageIcon::kInformation : MessageIcon::kWarning);
  OfferTableExport(w.path, host);
  return w;
}

void AddCheckedToAssemblyCommand(Session& session, Host& host) {
  if (RefusedWhileScanning(session, host)) return;
  AddCheckedToAssembly(session.fragmentList, session.fragmentTable, session.analysis.inAssembly,
                       session.assemblyList);
}

void ShowCheckedFileNamesCommand(Session& session, Host& host) {
  ShowCheckedFileNames(session.fragmentList, session.pageAccess, session.dataSource, host);
}

void AnnotateStartLsnCommand(Session& session, Host& host) {
  AnnotateStartLsn(session.fragmentList, session.pageAccess, session.dataSource, host);
}

}  // namespace pagerake
