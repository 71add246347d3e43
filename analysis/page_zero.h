// Page 0 of the file being analysed, as trustworthy as it can be made before the file's other
// pages are known: as read when it verifies, else mended with the tail that lies in front of a
// fragment that begins with page 1 (page 0 cut at a cluster boundary, its start fragment one page
// long). What its size field is worth goes into FileSizeFacts.
#pragma once

#include <cstdint>

#include "analysis/file_size.h"
#include "analysis/page_map.h"
#include "scan/fragment_table.h"

namespace pagerake {

// `page` holds page 0 as read from the start fragment, of `startPages` pages; it
// is mended in place when a junction mend makes it trustworthy. `fileId`: the start fragment's.
// Fills `facts` (recorded size, verified, mended, the medium's size) and returns the size the
// analysis maps (ProvisionalFileSize), or nothing when page 0 records no size at all.
std::optional<int64_t> SettlePageZero(uint8_t* page, PageMapReader& reader,
                                      const FragmentTable& table, const PageOrderIndex& order,
                                      int32_t startPages, int16_t fileId,
                                      FileSizeFacts& facts);

}  // namespace pagerake
