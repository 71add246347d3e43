#include "assembly/sector_owners.h"

#include <algorithm>

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

}  // namespace pagerake
