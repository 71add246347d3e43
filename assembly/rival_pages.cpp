#include "assembly/rival_pages.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <tuple>

#include "assembly/written_pages.h"
#include "page/page_header.h"

namespace pagerake {

RivalPages::RivalPages(const std::vector<PageSpan>& choices, const FragmentTable* table,
                       int64_t filePages)
    : table_(table), withRivals_(std::make_unique<ConsistencyCheck>(filePages)) {
  for (const PageSpan& span : choices) {
    for (int64_t p = std::max(0, span.begin); p < span.end; ++p) {
      choices_.push_back({p, span.rival, span.Settled()});
    }
  }
  std::sort(choices_.begin(), choices_.end());
  choices_.erase(std::unique(choices_.begin(), choices_.end()), choices_.end());
}

RivalPages::~RivalPages() = default;

uint16_t RivalPages::Judge(int64_t number, const uint8_t* page, PageAccess& pages,
                           const DataSource& source) {
  while (next_ < choices_.size() && choices_[next_].page < number) ++next_;
  uint16_t facts = 0;
  int rivals = 0;
  int32_t differing = -1;
  bool settled = true;  // every rival that differs is one the content settled
  for (; next_ < choices_.size() && choices_[next_].page == number; ++next_) {
    facts |= kFactChosen;
    ++rivals;
    const int32_t line = choices_[next_].rival;
    if (line == kRivalTailRun) {
      facts |= kFactRivalNone | kFactRivalUnsettled;  // a tail taken into a hole: always named
      settled = false;
      continue;
    }
    if (line < 0) {
      facts |= kFactRivalNone;  // taken without evidence: no one rival to compare
      continue;
    }
    if (table_ == nullptr || static_cast<size_t>(line) >= table_->size()) {
      facts |= kFactRivalUnsettled;
      settled = false;
      continue;
    }
    const FragmentRecord& r = (*table_)[static_cast<size_t>(line)];
    const int64_t index = number - r.beginPage;
    if (index < 0 || !pages.ReadFragmentSectors(source, r.fsec, index * kSectorsPerPage,
                                                kSectorsPerPage, rival_.data())) {
      facts |= kFactRivalUnsettled;
      settled = false;
      continue;
    }
    if (std::memcmp(rival_.data(), page, kPageSize) != 0) {
      facts |= kFactRivalUnsettled;
      differing = line;
      settled = settled && choices_[next_].settled;
    }
  }
  if (differing >= 0 && settled && !(facts & kFactRivalNone)) facts |= kFactRivalRefuted;
  // One rival that differs, read whole: the second check sees it in the page's place.
  if (rivals == 1 && differing >= 0) {
    replaced_.emplace_back(number, differing);
    withRivals_->Add(number, rival_.data());
  } else {
    withRivals_->Add(number, page);
  }
  return facts;
}


std::vector<int64_t> RivalPages::RivalsRefuted(const ConsistencyReport& written) {
  std::vector<int64_t> decided;
  if (!withRivals_) return decided;
  const ConsistencyReport rivals = withRivals_->Finish();
  withRivals_.reset();
  const auto pages = static_cast<size_t>(std::max(written.pages, rivals.pages));
  // Spans: pages put in place together, from one rival line, in a row; each is decided whole.
  std::vector<int32_t> spanOf(pages, -1);
  std::vector<std::pair<size_t, size_t>> spans;  // [begin, end) in replaced_
  for (size_t b = 0; b < replaced_.size();) {
    size_t e = b + 1;
    while (e < replaced_.size() && replaced_[e].first == replaced_[e - 1].first + 1 &&
           replaced_[e].second == replaced_[b].second) {
      ++e;
    }
    for (size_t k = b; k < e; ++k) {
      const auto p = static_cast<size_t>(replaced_[k].first);
      if (p < pages) spanOf[p] = static_cast<int32_t>(spans.size());
    }
    spans.emplace_back(b, e);
    b = e;
  }
  const auto spanAt = [&](int64_t p) {
    return p >= 0 && static_cast<size_t>(p) < pages ? spanOf[static_cast<size_t>(p)] : -1;
  };
  // A span is left undecided where the file as written breaks a rule at it, and refuted where,
  // with the rivals in place, a rule the file as written keeps breaks between one of its pages
  // and a page not put in place with another span (that one could be the wrong one).
  std::vector<uint8_t> touched(spans.size(), 0), refuted(spans.size(), 0);
  using Key = std::tuple<int64_t, ConsistencyRule, int64_t>;
  std::set<Key> asWritten;
  for (const ConsistencyFinding& f : written.findings) {
    asWritten.emplace(f.page, f.rule, f.other);
    for (const int32_t s : {spanAt(f.page), spanAt(f.other)}) {
      if (s >= 0) touched[static_cast<size_t>(s)] = 1;
    }
  }
  for (const ConsistencyFinding& f : rivals.findings) {
    if (asWritten.count({f.page, f.rule, f.other})) continue;
    const int32_t a = spanAt(f.page), b = spanAt(f.other);
    if (a >= 0 && (b < 0 || b == a)) refuted[static_cast<size_t>(a)] = 1;
    if (b >= 0 && a < 0) refuted[static_cast<size_t>(b)] = 1;
  }
  for (size_t s = 0; s < spans.size(); ++s) {
    if (touched[s] || !refuted[s]) continue;
    for (size_t k = spans[s].first; k < spans[s].second; ++k) decided.push_back(replaced_[k].first);
  }
  return decided;
}

}  // namespace pagerake
