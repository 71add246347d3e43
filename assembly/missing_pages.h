// CHECK: before the file is written, which pages the holes between the assembly list's rows (and
// after its last row) would leave as zeros although the database needs them: the PFS pages, at
// their fixed places, and the pages the page map knows to be allocated. Reads nothing from the
// source.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/page_map.h"
#include "base/host.h"
#include "fragments/fragment_list.h"

namespace pagerake {

struct MissingPages {
  bool checked = false;          // the check ran to "检测完毕"
  std::vector<int32_t> pfsPages;  // "缺少重要的PFS页面<p>"
  std::vector<int32_t> pages;     // "缺少页面<p>": allocated pages in holes
};

// The whole command: clears the memo; nothing unless the first row starts at page 0 (or
// `headless`: a database found without its first pages, which are all missing then, as is every
// page of a hole that no PFS page found describes); "error" when a row begins before the one in
// front of it ends or the last one ends past the file's size.
MissingPages CheckMissingPages(const std::vector<FragmentRow>& rows, int32_t targetFileSizePages,
                               const PageMap& map, Host& host, bool headless = false);

}  // namespace pagerake
