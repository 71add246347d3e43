#include "analysis/rival_notes.h"

#include <algorithm>

namespace pagerake {
namespace {

// The chained entry of the page-order index that holds `page`; -1 when none does.
int32_t ChainedHolding(const AnalysisInput& in, const AnalysisResults& results, int32_t page) {
  for (size_t i = 0; i < in.order.size(); ++i) {
    const PageOrderEntry& e = in.order[i];
    if (results.ChainedBegin(e.recordNo, e.beginPage) <= page &&
        page < results.ChainedEnd(e.recordNo, e.endPage) &&
        results.inAssembly[static_cast<size_t>(e.recordNo)]) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

}  // namespace

int32_t NoteChoice(const AnalysisInput& in, const std::vector<int32_t>& candidates, int32_t k,
                   AnalysisResults& results, ContentJudge* judge,
                   const ContentChoice* content, const std::vector<int32_t>& group) {
  int32_t cut = -1;
  for (int32_t c : candidates) {
    if (c == k) continue;
    const int32_t begin = std::max(in.order[c].beginPage, in.order[k].beginPage);
    const int32_t end = std::min(in.order[c].endPage, in.order[k].endPage);
    if (begin >= end) continue;
    PageSpan span{begin, end, in.order[c].recordNo};
    const bool weighed = content != nullptr &&
                         std::find(group.begin(), group.end(), c) != group.end() &&
                         begin >= content->windowBegin && end <= content->windowEnd;
    if (weighed) {
      KeepContent(*content, group, k, c, span);
    } else if (judge != nullptr) {
      const std::vector<int32_t> pair{k, c};
      const ContentChoice two = judge->Choose(pair, k);
      if (cut < 0 && in.order[c].beginPage > in.order[k].beginPage && two.chosen == c &&
          (two.decision == ContentDecision::kStructures ||
           two.decision == ContentDecision::kLaterState)) {
        cut = in.order[c].beginPage;
        ++results.contentChoices;
        span = PageSpan{begin, end, in.order[k].recordNo};
        span.decision = two.decision;
        span.taken = two.tallies[1];
        span.rivalTally = two.tallies[0];
      } else {
        KeepContent(two, pair, k, c, span);
      }
    }
    results.NoteChosenAmongOthers(span);
  }
  return cut;
}

void NoteUnchosenRivals(const AnalysisInput& in, AnalysisResults& results, int32_t since,
                        int32_t before, int32_t from, int32_t to, ContentJudge* judge,
                        int32_t taken) {
  // The index is in begin-page order: the entries that begin in [since, before).
  const auto first = std::lower_bound(
      in.order.begin(), in.order.end(), since,
      [](const PageOrderEntry& e, int32_t page) { return e.beginPage < page; });
  std::vector<int32_t> rivals;
  for (auto it = first; it != in.order.end() && it->beginPage < before; ++it) {
    if (it->endPage > from && it->beginPage < to &&
        !results.inAssembly[static_cast<size_t>(it->recordNo)]) {
      rivals.push_back(static_cast<int32_t>(it - in.order.begin()));
    }
  }
  if (rivals.empty()) return;
  for (int32_t i : rivals) {
    const int32_t begin = std::max(from, in.order[i].beginPage);
    const int32_t end = std::min(to, in.order[i].endPage);
    if (begin >= end || !IsRival(TestCandidate(in, results, i, nullptr, false))) continue;
    PageSpan span{begin, end, in.order[i].recordNo};
    const int32_t holder = taken >= 0 ? taken : ChainedHolding(in, results, begin);
    if (judge != nullptr && holder >= 0) {
      // Taken already: the content only says whether the rival is borne out.
      const std::vector<int32_t> pair{holder, i};
      KeepContent(judge->Choose(pair, holder), pair, holder, i, span);
      if (span.Settled()) ++results.contentChoices;
    }
    results.NoteChosenAmongOthers(span);
  }
}

}  // namespace pagerake
