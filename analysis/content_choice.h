// The choice by content: where several fragments fit at the same place, the one the file's own
// structures confirm. Each candidate's pages that differ from another's are met against the pages
// already chained: the neighbours their links name must link back from the same unit and level,
// the pages their IAM gives away must carry its unit, the children of an index page must be its
// unit one level down. A candidate whose pages break such a claim is not the file's. Only pages
// that no unsettled choice took are witnesses: a piece of another database taken by distance
// would vouch for its own kind.
//
// Where the structures say the same of every candidate (two states of one database), the LSN
// speaks only where it can: a page is the later state of another copy of itself when a database
// found on the disk was checkpointed between the two (the other copy's database closed before this
// page was written), no database but the one recovered reaches this page's LSN, and this page keeps
// under the bound of the database recovered. Two databases that grew apart from one copy give
// no such order, and there the LSN does not vote.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "analysis/file_analysis.h"

namespace pagerake {


struct ContentChoice {
  int32_t chosen = -1;  // a position in the page-order index
  ContentDecision decision = ContentDecision::kNone;
  std::vector<ContentTally> tallies;  // per candidate of the group, in the group's order
  int32_t windowBegin = 0;  // the pages weighed: where every candidate holds them
  int32_t windowEnd = 0;
};

class ContentJudge {
 public:
  // Reads through `in` and looks at what `results` has chained; both outlive the judge.
  ContentJudge(const AnalysisInput& in, const AnalysisResults& results);

  // Among `group` (positions in the page-order index), the one the content favours where they all
  // hold the same pages; `nearest`, one of them, where nothing tells them apart.
  ContentChoice Choose(const std::vector<int32_t>& group, int32_t nearest);

  // What the claims of the pages [from, to) of the fragment at `position` say, alone.
  ContentTally Vouch(int32_t position, int32_t from, int32_t to);

 private:
  void ReadChained();
  const uint8_t* Chained(int64_t page);
  void LoadBounds();
  bool LaterState(const PageLsn& newer, const PageLsn& older) const;
  void Weigh(int64_t page, const std::vector<const uint8_t*>& versions, int32_t begin,
             int32_t end, std::vector<ContentTally>& tallies);

  const AnalysisInput& in_;
  const AnalysisResults& results_;
  struct Run {
    int32_t begin;
    int32_t end;
    int64_t fsec;
  };
  std::vector<Run> chained_;  // the chained fragments, by begin page, as of the last Choose
  std::unordered_map<int64_t, std::vector<uint8_t>> cache_;  // chained pages read (restored)
  std::optional<std::vector<PageLsn>> bounds_;  // the boot pages' bounds found on the disk
};

// What `content`, the weighing of `group`, said of candidate `c` beside the one taken, `k`: kept
// in `span` where the weighing covered its pages. A weighing that favoured another than `k` leaves
// the span undecided (its tallies kept).
void KeepContent(const ContentChoice& content, const std::vector<int32_t>& group, int32_t k,
                 int32_t c, PageSpan& span);

}  // namespace pagerake
