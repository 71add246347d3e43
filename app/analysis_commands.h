// The analysis tab's commands as the window runs them: each takes the Session and the Host. All
// run on the UI thread; an automatic analysis then goes on as the job "anlys".
#pragma once

#include "app/session.h"
#include "base/host.h"

namespace pagerake {

// The user makes tab `tab` (0 to 3) of PageControl1 the active one. The analysis tab (2) lists the
// database files found, each time it is chosen. Program code that switches tabs sets activeTab
// and lists nothing.
void ChangeTab(Session& session, Host& host, int tab);

// Row `row` of the database-file list (ListView3) made current by the user (a click of either
// mouse button, or the arrow keys) becomes the selected row; a click beside the rows leaves the
// selection as it was.
void ClickDatabaseFile(Session& session, int row);

// Button1 "分析该碎片(FILTER)": analyses the selected database file. Refused with "尚未扫描结束"
// while a scan job runs (also after STOP, until the job has ended). In automatic mode (chkauto)
// the analysis runs as the job "anlys" and this returns at once; otherwise it runs here, asking
// through the Host where several fragments fit. One that fails at its start empties the assembly
// list.
// The analysis reads copies of the fragment table, the page-order index and the source, and a
// reader of its own for the pages, so that nothing the window does meanwhile changes what it
// reads; its results replace the session's when it ends, however it ends. False when nothing
// started.
bool ClickAnalyse(Session& session, Host& host);

}  // namespace pagerake
