#include "assembly/rival_pages.h"

#include <algorithm>
#include <cstring>

#include "assembly/written_pages.h"
#include "page/page_header.h"

namespace pagerake {
RivalPages::RivalPages(const std::vector<PageSpan>& choices, const FragmentTable* table)
    : table_(table) {
  for (const PageSpan& span : choices) {
    for (int64_t p = std::max(0, span.begin); p < span.end; ++p) {
      choices_.emplace_back(p, span.rival);
    }
  }
  std::sort(choices_.begin(), choices_.end());
  choices_.erase(std::unique(choices_.begin(), choices_.end()), choices_.end());
}

uint16_t RivalPages::Judge(int64_t number, const uint8_t* page, PageAccess& pages,
                           const DataSource& source) {
  while (next_ < choices_.size() && choices_[next_].first < number) ++next_;
  uint16_t facts = 0;
  for (; next_ < choices_.size() && choices_[next_].first == number; ++next_) {
    facts |= kFactChosen;
    const int32_t line = choices_[next_].second;
    if (line < 0) {
      facts |= kFactRivalNone;  // taken without evidence: no one rival to compare
      continue;
    }
    if (table_ == nullptr || static_cast<size_t>(line) >= table_->size()) {
      facts |= kFactRivalUnsettled;
      continue;
    }
    const FragmentRecord& r = (*table_)[static_cast<size_t>(line)];
    const int64_t index = number - r.beginPage;
    if (index < 0 || !pages.ReadFragmentSectors(source, r.fsec, index * kSectorsPerPage,
                                                kSectorsPerPage, rival_.data())) {
      facts |= kFactRivalUnsettled;
      continue;
    }
    if (std::memcmp(rival_.data(), page, kPageSize) != 0) facts |= kFactRivalUnsettled;
  }
  return facts;
}

}  // namespace pagerake
