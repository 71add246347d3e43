#include "assembly/rival_pages.h"

#include <algorithm>
#include <cstring>

#include "assembly/written_pages.h"
#include "database/page_relations.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

// Whether two pages' headers tie them to the same place in the file's structures.
bool SameRelations(const uint8_t* a, const uint8_t* b) {
  const PageRelations x = ReadPageRelations(a);
  const PageRelations y = ReadPageRelations(b);
  return x.type == y.type && x.level == y.level && x.unit.objectId == y.unit.objectId &&
         x.unit.indexId == y.unit.indexId && x.prevPage == y.prevPage &&
         x.prevFile == y.prevFile && x.nextPage == y.nextPage && x.nextFile == y.nextFile;
}

}  // namespace

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
    if (std::memcmp(rival_.data(), page, kPageSize) == 0) continue;  // the same page either way
    facts |= SameRelations(rival_.data(), page) ? kFactRivalUnsettled : kFactRivalByRelations;
  }
  return facts;
}

}  // namespace pagerake
