#include "analysis/header_facts.h"

#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {

HeaderFact HeaderFactOf(const uint8_t* page, int32_t pageNumber, const PageLsn* bound) {
  namespace off = header_offset;
  HeaderFact f;
  f.objectId = static_cast<int32_t>(LoadLe32(page + off::kObjectId));
  f.type = page[off::kPageType];
  f.prevPageId = static_cast<int32_t>(LoadLe32(page + off::kPrevPageId));
  f.prevFileId = LoadLe16(page + off::kPrevFileId);
  f.nextPageId = static_cast<int32_t>(LoadLe32(page + off::kNextPageId));
  f.nextFileId = LoadLe16(page + off::kNextFileId);
  if (page[off::kHeaderVersion] != 1) return f;
  f.flags = HeaderFact::kVersion1;
  if (static_cast<int32_t>(LoadLe32(page + off::kPageId)) != pageNumber) return f;
  f.flags |= HeaderFact::kOwnNumber;
  if (bound != nullptr && ReadPageLsn(page) > *bound && VerifyPage(page)) {
    f.flags |= HeaderFact::kNewer;
  }
  return f;
}

HeaderFactCache::Entry* HeaderFactCache::Find(int64_t startSector, int32_t startPage,
                                          const PageLsn* bound) {
  auto it = entries_.find(startSector);
  if (it == entries_.end()) {
    if (total_ >= kMaxFacts) return nullptr;
    it = entries_.emplace(startSector, Entry{}).first;
    it->second.startPage = startPage;
    if (bound != nullptr) it->second.bound = *bound;
    return &it->second;
  }
  Entry& e = it->second;
  const bool sameBound = bound == nullptr ? !e.bound : e.bound && *e.bound == *bound;
  if (e.startPage != startPage || !sameBound) {
    Empty(e);
    e.startPage = startPage;
    e.bound.reset();
    if (bound != nullptr) e.bound = *bound;
  }
  return &e;
}

const HeaderFactCache::Entry* HeaderFactCache::Known(int64_t startSector,
                                                     int32_t startPage) const {
  const auto it = entries_.find(startSector);
  return it != entries_.end() && it->second.startPage == startPage ? &it->second : nullptr;
}

void HeaderFactCache::Append(Entry& entry, const HeaderFact& fact) {
  if (total_ >= kMaxFacts) return;
  entry.facts.push_back(fact);
  ++total_;
}

void HeaderFactCache::ForMedium(const std::string& medium) {
  if (medium == medium_) return;
  entries_.clear();
  total_ = 0;
  medium_ = medium;
}

void HeaderFactCache::Empty(Entry& entry) {
  total_ -= static_cast<int64_t>(entry.facts.size());
  entry.facts.clear();
}

}  // namespace pagerake
