#include "app/assembly_commands.h"

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
  return SearchMore({session.fragmentTable, session.pageOrderIndex, reader, session.analysis,
                     session.assemblyList, session.sortColumn, session.rules});
}

MissingPages ClickCheck(Session& session, Host& host) {
  if (!AnalysisSettled(session, host)) return {};
  return CheckMissingPages(session.assemblyList.list.rows, session.analysis.targetFileSizePages,
                           session.analysis.pageMap, host);
}

MdfWriteResult ClickCreateMdf(Session& session, Host& host) {
  if (!AnalysisSettled(session, host)) return {};
  const MdfInput in{session.assemblyList.list.rows, session.pageAccess, session.dataSource,
                    session.dataSource.sectorsPerCluster, session.analysis.targetFileSizePages,
                    session.rules, &session.fragmentTable,
                    session.UsedClusters()};
  return CreateMdf(in, session.analysis.targetFileName, host);
}

void AddCheckedToAssemblyCommand(Session& session) {
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
