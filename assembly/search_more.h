// SEARCH MORE: fills the holes that the analysis left between the assembly list's rows. Pass by
// pass, each hole takes at most one fragment that lies wholly inside it and that the analysis's
// candidate test does not reject (an accepted one first, else one without evidence either way);
// what it takes is learned from like a chained fragment. Passes repeat until one takes nothing.
// Then the database's name is read from page 32 of the chain and written, with the size, into
// the first row's "备注" cell.
#pragma once

#include <cstdint>

#include "analysis/file_analysis.h"
#include "analysis/page_map.h"
#include "assembly/assembly_list.h"
#include "scan/fragment_table.h"

namespace pagerake {

struct SearchMoreInput {
  const FragmentTable& table;
  const PageOrderIndex& order;
  PageMapReader& reader;       // pages, source, cluster size, Host
  AnalysisResults& results;    // InAssembly, the page map, the file's size and name
  AssemblyListModel& assembly;
  int32_t& sortColumn;
  RecoveryRules rules = {};
};

struct SearchMoreResult {
  bool completed = false;  // the passes ran out and the page-32 step was reached
  int32_t added = 0;       // fragments taken, over all passes
  int32_t passes = 0;
};

// The command. Memo lines (the assembly memo, cleared first): "找到碎片号<n>" for an accepted
// fragment, "找到未确定碎片号<n>" for one without evidence, "本次找到碎片数量<k>。二次查找完毕" after
// each pass; after the passes, how many fragments the LSN bound turned away when it did. Ends
// silently when the first row does not start at page 0 (the three buttons stay
// disabled), with "error" when rows overlap or run past the file's end.
SearchMoreResult SearchMore(const SearchMoreInput& in);

}  // namespace pagerake
