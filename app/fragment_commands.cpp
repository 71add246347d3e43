#include "app/fragment_commands.h"

#include "app/gauge_keeping_host.h"
#include "app/scan_command.h"
#include "fragments/fragment_extraction.h"
#include "fragments/fragment_filter.h"
#include "fragments/list_tools.h"
#include "fragments/scan_info_file.h"

namespace pagerake {

void ClickFragmentColumn(Session& session, int column) {
  (void)SortFragmentList(session.fragmentList, column, session.scanStopped.load(),
                         session.sortColumn);
}

void ClickFilter(Session& session, Host& host) {
  if (RefusedWhileScanning(session, host)) return;
  (void)ApplyFragmentFilter(session.fragmentTable, session.fragmentList, session.fragmentFilter,
                            host);
}

void ClickAutoCheck(Session& session, Host& host) {
  AutoCheck(session.fragmentList, session.autoCheck, host);
}

void ClickSave(Session& session, Host& host) {
  // Beside a running scan: what it has found so far, and the gauge stays the scan's.
  const FragmentTable table = session.FragmentTableSnapshot();
  GaugeKeepingHost besideScan(host);
  Host& shown = session.ScanJobRunning() ? besideScan : host;
  (void)SaveScanInfo(table, session.dataSource, session.pageAccess,
                     session.dataSource.sectorsPerCluster, session.random, shown,
                     session.UsedClusters());
}

void ClickOpen(Session& session, Host& host) {
  if (RefusedWhileScanning(session, host)) return;
  session.activeTab = 2;
  session.activeTab = 1;
  const ScanInfoState state{session.fragmentTable, session.fragmentList,
                            session.pageOrderIndex, session.pageAccess,
                            session.dataSource.sectorsPerCluster, session.fields.edtsecs};
  if (OpenScanInfo(state, host).tableLoaded) session.scannedFreeSpaceOnly = false;
}

void ExtractCheckedCommand(Session& session, Host& host) {
  (void)ExtractCheckedFragments(session.fragmentList, session.pageAccess, session.dataSource,
                                session.dataSource.sectorsPerCluster, host);
}

}  // namespace pagerake
