// The assembly tab's commands, and the fragment list's commands that serve the assembly, as the
// window runs them: each takes the Session and the Host. All run on the UI thread. The three
// buttons refuse, saying "分析尚未结束", while an automatic analysis is still running: its results
// are not the Session's yet.
#pragma once

#include "app/session.h"
#include "assembly/mdf_writer.h"
#include "assembly/missing_pages.h"
#include "assembly/search_more.h"
#include "base/host.h"

namespace pagerake {

// A click on a column header of the assembly list.
void ClickAssemblyListColumn(Session& session, int column);

// SEARCH MORE and CREATE MDF read a copy of the fragment table, which a scan may be extending.

// Button6 "查找遗漏碎片(SEARCH MORE)".
SearchMoreResult ClickSearchMore(Session& session, Host& host);

// Button5 "检查遗漏页(CHECK)".
MissingPages ClickCheck(Session& session, Host& host);

// Button2 "组合MDF(CREATE MDF)".
MdfWriteResult ClickCreateMdf(Session& session, Host& host);

// The fragment list's "把选择的碎片加入组合" (refused with "尚未扫描结束" while a scan job runs),
// "取勾选碎片的文件名" and "取更新信息".
void AddCheckedToAssemblyCommand(Session& session, Host& host);
void ShowCheckedFileNamesCommand(Session& session, Host& host);
void AnnotateStartLsnCommand(Session& session, Host& host);

}  // namespace pagerake
