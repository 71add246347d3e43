#include "assembly/written_pages.h"

#include <algorithm>
#include <cstring>

#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

uint16_t FactsOf(const uint8_t* page, int64_t number) {
  if (IsZeroPage(page)) return kFactZero | kFactFromFragment;
  uint16_t facts = kFactFromFragment;
  const PageHeader h = DecodePageHeader(page);
  if (h.headerVersion == 1 && int64_t{h.pageId} == number) facts |= kFactOwnPage;
  switch (ProtectionOf(page)) {
    case PageProtection::kChecksum: facts |= kFactChecksum; break;
    case PageProtection::kTornBits: facts |= kFactTornBits; break;
    default: break;
  }
  if ((facts & (kFactChecksum | kFactTornBits)) && VerifyPage(page)) facts |= kFactVerified;
  return facts;
}

}  // namespace

WrittenPages::WrittenPages(int64_t expectedPages) : expected_(std::max<int64_t>(expectedPages, 0)) {
  // The reservation follows a size that may be unverified: never more than a sane amount ahead.
  facts_.reserve(static_cast<size_t>(std::min<int64_t>(expected_, int64_t{1} << 24)));
}

void WrittenPages::Extend(int64_t end) {
  if (end > size()) facts_.resize(static_cast<size_t>(end), 0);
}

void WrittenPages::Pages(int64_t first, const uint8_t* pages, int64_t count, uint16_t lastFacts) {
  if (count <= 0) return;
  Extend(first + count);
  if (!check_) check_ = std::make_unique<ConsistencyCheck>(std::max(expected_, first + count));
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t* page = pages + i * kPageSize;
    const int64_t number = first + i;
    facts_[static_cast<size_t>(number)] = FactsOf(page, number);
    check_->Add(number, page);
    if (number == 0) {
      pageZero_.assign(page, page + kPageSize);
      hasPageZero_ = true;
    }
  }
  facts_[static_cast<size_t>(first + count - 1)] |= lastFacts;
}

void WrittenPages::Zeros(int64_t first, int64_t count, uint16_t facts) {
  if (count <= 0) return;
  Extend(first + count);
  for (int64_t i = 0; i < count; ++i) facts_[static_cast<size_t>(first + i)] = kFactZero | facts;
}

void WrittenPages::Mark(int64_t page, uint16_t facts) {
  if (page >= 0 && page < size()) facts_[static_cast<size_t>(page)] |= facts;
}

ConsistencyReport WrittenPages::Judge() {
  if (!check_) check_ = std::make_unique<ConsistencyCheck>(size());
  ConsistencyReport report = check_->Finish();
  check_.reset();
  return report;
}

}  // namespace pagerake
