// How pagerake-cli prints a fragment list: as the window's list shows it (one row per listed
// fragment with its eight columns), or as JSON objects of the fragment table's fields. Shared by
// the commands that end with a fragment list (scan, open).
#pragma once

#include <nlohmann/json.hpp>

#include "fragments/fragment_list.h"
#include "scan/fragment_table.h"

namespace pagerake::cli {

// The list as a text table with the list's column titles; numbers right-aligned, memo left.
void PrintFragmentList(const FragmentListModel& list);

// One fragment: sn, fsec, esec, size_kb, begin_page, end_page, memo, file_id.
nlohmann::ordered_json FragmentJson(const FragmentRecord& record);

}  // namespace pagerake::cli
