// Menu item N9 "提取勾选碎片到文件": copies the pages of the ticked fragments, in list order, out
// to files: each into a file of its own ("<start sector>.hex" in a chosen folder), or all into one
// combined file in which zero pages fill the page numbers missing between one fragment and the
// next.
//
// When clusters are smaller than a page and a ticked fragment begins at the page where the one
// before it ended, the combined file also tries to repair the first fragment's last page with the
// clusters found just in front of the second (the page was cut at a cluster boundary and its tail
// lies there): the page is tried unchanged, then with one, two, ... clusters from its end replaced,
// and the first variant that verifies is kept.
//
// Pages are read through page access: from the data source, or from the open content file.
#pragma once

#include <cstdint>
#include <string>

#include "base/host.h"
#include "fragments/fragment_list.h"
#include "fragments/page_access.h"
#include "source/data_source.h"

namespace pagerake {

struct ExtractionResult {
  bool failed = false;        // stopped with an error message
  int32_t filesWritten = 0;   // files completed
};

// The whole command: asks combined or separate, for the combined file whether to check the page
// order first, offers the file or folder, writes, and tells "保存完毕". `sectorsPerCluster`
// decides whether the tail repair runs (1 to 15). Output files that are the data source or the
// open content file are refused.
ExtractionResult ExtractCheckedFragments(const FragmentListModel& list, PageAccess& pages,
                                         const DataSource& source, int16_t sectorsPerCluster,
                                         Host& host);

// The two kinds of output with the choices already made (front ends that take them from options):
// the combined file at `path`, after the page-order check when `checkOrder`; the separate files in
// `folder`. Each tells "保存完毕" when done.
ExtractionResult ExtractCombinedTo(const FragmentListModel& list, PageAccess& pages,
                                   const DataSource& source, int16_t sectorsPerCluster,
                                   bool checkOrder, const std::string& path, Host& host);
ExtractionResult ExtractSeparateTo(const FragmentListModel& list, PageAccess& pages,
                                   const DataSource& source, const std::string& folder,
                                   Host& host);

// The tail repair on its own: `lastPage` is the last page of a fragment, `lead` the 7680 bytes in
// front of the fragment that follows it. Tries the page unchanged, then with its last 1, 2, ...
// clusters (of `sectorsPerCluster` sectors, 16 / sectorsPerCluster variants in all) taken from
// `lead`, and keeps the first variant that VerifyPage accepts; with none accepted the page stays
// as it was. True when a variant was accepted.
bool RepairPageTail(uint8_t* lastPage, const uint8_t* lead, int16_t sectorsPerCluster);

}  // namespace pagerake
