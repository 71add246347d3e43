// The choices the analysis notes: the pages of the fragment taken that another could have given
// as well, with what the content said of each rival (content_choice.h).
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/content_choice.h"
#include "analysis/file_analysis.h"

namespace pagerake {

// The pages of the chosen candidate `k` that another of `candidates` holds too, with what the
// content said of each rival (`content`: its weighing of `group`; the others are weighed in pairs
// with `judge`). Returns the page where the content ends what `k` gives, or -1: a candidate that
// begins inside `k` and holds the file's pages where the two overlap (k's tail there is another
// database's). The choice noted for that overlap is turned round: the pages will come from that
// candidate, with `k` as their rival.
int32_t NoteChoice(const AnalysisInput& in, const std::vector<int32_t>& candidates, int32_t k,
                   AnalysisResults& results, ContentJudge* judge = nullptr,
                   const ContentChoice* content = nullptr, const std::vector<int32_t>& group = {});

}  // namespace pagerake
