// The fragments the rules beyond the written ones turned away, counted once each, and the memo
// lines that say so.
#include "analysis/file_analysis.h"

namespace pagerake {

void TurnedAway::Note(int32_t line, size_t tableSize) {
  if (lines.size() < tableSize) lines.resize(tableSize, 0);
  if (line < 0 || static_cast<size_t>(line) >= lines.size() || lines[static_cast<size_t>(line)]) {
    return;
  }
  lines[static_cast<size_t>(line)] = 1;
  ++count;
}

TurnedAwayCounts CountTurnedAway(const AnalysisResults& results) {
  return {results.newerThanBound.count, results.iamMismatch.count, results.neverAllocated.count};
}

std::vector<std::string> TurnedAwayLines(const AnalysisResults& results,
                                         const TurnedAwayCounts& before) {
  std::vector<std::string> lines;
  const TurnedAwayCounts now = CountTurnedAway(results);
  if (now.newerThanBound > before.newerThanBound) {
    lines.push_back("LSN新于引导页上限,排除碎片数量" +
                    std::to_string(now.newerThanBound - before.newerThanBound));
  }
  if (now.iamMismatch > before.iamMismatch) {
    lines.push_back("IAM页面与PFS标记不符,排除碎片数量" +
                    std::to_string(now.iamMismatch - before.iamMismatch));
  }
  if (now.neverAllocated > before.neverAllocated) {
    lines.push_back("页面位于PFS从未分配的位置,排除碎片数量" +
                    std::to_string(now.neverAllocated - before.neverAllocated));
  }
  return lines;
}

}  // namespace pagerake
