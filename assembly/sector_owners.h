// Which sectors of the source the scan's fragments hold as pages, each fragment to the end of
// its last page: a tail that another fragment's page stands on is that page's, not the tail of a
// page cut elsewhere.
#pragma once

#include <cstdint>
#include <vector>

#include "scan/fragment_table.h"

namespace pagerake {

class SectorOwners {
 public:
  explicit SectorOwners(const FragmentTable& table);

  // Whether a fragment other than the one starting at `ownFsec` holds any sector of
  // [first, first + count).
  bool HeldByOther(int64_t first, int64_t count, int64_t ownFsec) const;

 private:
  struct Run {
    int64_t first = 0;
    int64_t end = 0;
  };
  std::vector<Run> runs_;         // sorted by first
  std::vector<int64_t> maxEnd_;   // the furthest end of runs_[0..i]
};

}  // namespace pagerake
