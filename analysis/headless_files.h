// Databases whose first pages are gone. After a file is deleted, the next file written usually
// takes the freed clusters from the front, so page 0 (and the PFS, GAM and boot pages behind it)
// is what is most often overwritten, while almost every other page survives. Such a database is
// found from the fragments of file id 1 that no database with a page 0 chains, and chained from
// the lowest page they hold.
#pragma once

#include <cstdint>

#include "analysis/database_files.h"
#include "analysis/file_analysis.h"

namespace pagerake {

// A group must hold at least this many pages to be listed: less is remains, not a database.
inline constexpr int64_t kMinHeadlessPages = 16;
// At most this many such databases are listed.
inline constexpr int kMaxHeadless = 8;

// Appends to `list`, after the databases with a page 0 (whose numbers stay as they are), the
// databases without one: every listed database is analysed automatically and quietly, and of the
// shown fragments of file id 1 that none of them chains, the one holding the lowest page starts
// a database, which takes what its analysis chains; what is left over is looked at again. Each is
// named by the database name its boot page records, else the file name page 32 records, else
// "无文件头数据库,起始扇区<fsec>", with ":<KB>KB(无文件头)" of what it chains; its row starts
// at the fragment it was chained from.
// `facts`: what is known of the fragments' pages, and what these analyses learn of them.
void AddHeadlessDatabases(const FragmentTable& table, const PageOrderIndex& order,
                          PageAccess& pages, const DataSource& source, const RecoveryRules& rules,
                          DatabaseFileList& list, HeaderFactCache& facts);

}  // namespace pagerake
