// The fragment-list tab's commands as the window runs them: each takes the Session and the Host,
// picks the state it needs and calls the tool in fragments/. All run on the UI thread.
#pragma once

#include "app/session.h"
#include "base/host.h"

namespace pagerake {

// A click on a column header: sorts the list by that column unless a scan is running.
void ClickFragmentColumn(Session& session, int column);

// Commands that change the fragment table (the filter, OPEN) are refused with "尚未扫描结束" while a
// scan job runs; SAVE saves what the scan has found so far.

// Button edtfilter "过滤": applies the filter settings of the session to the table and the list.
void ClickFilter(Session& session, Host& host);

// Button8 "自动勾选".
void ClickAutoCheck(Session& session, Host& host);

// btnsave "保存此次扫描信息(SAVE)": beside a running scan, of a copy of the table, and without
// moving the gauge.
void ClickSave(Session& session, Host& host);

// Button3 "打开扫描信息文件(OPEN)": shows the fragment list tab (after the third tab, so that both
// are created) and runs OPEN on the session's table, list, index and page access.
void ClickOpen(Session& session, Host& host);

// N9 "提取勾选碎片到文件".
void ExtractCheckedCommand(Session& session, Host& host);

}  // namespace pagerake
