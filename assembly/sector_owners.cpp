#include "assembly/sector_owners.h"

#include <algorithm>
#include <array>
#include <vector>

#include "assembly/tail_search.h"
#include "fragments/page_access.h"
#include "page/page_header.h"

namespace pagerake {

SectorOwners::SectorOwners(const FragmentTable& table) {
  runs_.reserve(table.size());
  for (const FragmentRecord& r : table) {
    if (r.Pages() > 0) runs_.push_back({r.fsec, r.fsec + int64_t{kSectorsPerPage} * r.Pages()});
  }
  std::sort(runs_.begin(), runs_.end(), [](const Run& a, const Run& b) { return a.first < b.first; });
  maxEnd_.reserve(runs_.size());
  int64_t furthest = INT64_MIN;
  for (const Run& r : runs_) maxEnd_.push_back(furthest = std::max(furthest, r.end));
}

bool SectorOwners::HeldByOther(int64_t first, int64_t count, int64_t ownFsec) const {
  const int64_t end = first + count;
  // Runs that start before `end`, walked back while one of them can still reach `first`.
  auto k = std::lower_bound(runs_.begin(), runs_.end(), end,
                            [](const Run& r, int64_t s) { return r.first < s; }) -
           runs_.begin();
  while (k-- > 0 && maxEnd_[static_cast<size_t>(k)] > first) {
    const Run& r = runs_[static_cast<size_t>(k)];
    if (r.end > first && r.first != ownFsec) return true;
  }
  return false;
}

bool TailPlaces::Taken(int64_t sector, int64_t count, int64_t rowFsec) {
  if (fragments_) {
    if (!owners_) owners_ = std::make_unique<SectorOwners>(*fragments_);
    if (owners_->HeldByOther(sector, count, rowFsec)) return true;
  }
  for (int64_t s = sector; used_ && s < sector + count; ++s) {
    if (used_->IsSectorInUse(source_, s)) return true;
  }
  return false;
}

int TailPlaces::Fit(const uint8_t* asRead, int64_t pageSector, int64_t rowFsec, int64_t tailEnd,
                    const uint8_t* lead, int16_t sectorsPerCluster, uint8_t* only,
                    const uint8_t* leadKnown) {
  std::array<uint8_t, kLeadSectors> leadTaken{};
  for (int i = 0; i < kLeadSectors; ++i) {
    leadTaken[static_cast<size_t>(i)] = Taken(tailEnd - kLeadSectors + i, 1, rowFsec) ? 1 : 0;
    if (leadKnown && !leadKnown[i] && !leadTaken[static_cast<size_t>(i)]) return 0;
  }
  return TailsThatFit(asRead, Taken(pageSector, kSectorsPerPage, rowFsec), lead, leadTaken.data(),
                      sectorsPerCluster, only);
}

int TailPlaces::FitBehindHole(PageAccess& pages, const uint8_t* asRead, int64_t pageSector,
                              int64_t rowFsec, int64_t tailEnd, int16_t sectorsPerCluster,
                              uint8_t* only) {
  if (tailEnd < kLeadSectors || sectorsPerCluster <= 0) return 0;
  std::array<uint8_t, kLeadBlockBytes> lead{};
  std::vector<uint8_t> known(kLeadSectors);
  if (!pages.ReadTailWindow(source_, tailEnd - kLeadSectors, kLeadSectors, lead.data(), known)) {
    return 0;
  }
  return Fit(asRead, pageSector, rowFsec, tailEnd, lead.data(), sectorsPerCluster, only,
             known.data());
}

}  // namespace pagerake
