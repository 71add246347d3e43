// Which sectors of the source the scan's fragments hold as pages, each fragment to the end of
// its last page: a tail that another fragment's page stands on is that page's, not the tail of a
// page cut elsewhere.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "fragments/page_access.h"
#include "scan/fragment_table.h"
#include "source/data_source.h"
#include "volume/free_space_bitmap.h"

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

// The places a cut page's tail can lie (TailsThatFit), less those another fragment's page or a
// cluster in use stands on.
class TailPlaces {
 public:
  // `fragments` and `usedClusters` may be null (not known).
  TailPlaces(const FragmentTable* fragments, FreeSpaceBitmap* usedClusters,
             const DataSource& source)
      : fragments_(fragments), used_(usedClusters), source_(source) {}

  // TailsThatFit for the page read at `pageSector` from the row starting at `rowFsec`, its tail
  // (if it was cut) in front of `tailEnd`, where `lead` holds the 15 sectors; `leadKnown`, when
  // given, marks those the medium holds (a saved scan keeps some): 0 when a sector it does not
  // hold could be the tail's.
  int Fit(const uint8_t* asRead, int64_t pageSector, int64_t rowFsec, int64_t tailEnd,
          const uint8_t* lead, int16_t sectorsPerCluster, uint8_t* only,
          const uint8_t* leadKnown = nullptr);
  // Fit where the 15 sectors in front of `tailEnd` are still to be read through `pages` (behind a
  // hole of zero pages, in front of the hole's place); 0 when they cannot be.
  int FitBehindHole(PageAccess& pages, const uint8_t* asRead, int64_t pageSector, int64_t rowFsec,
                    int64_t tailEnd, int16_t sectorsPerCluster, uint8_t* only);

 private:
  bool Taken(int64_t sector, int64_t count, int64_t rowFsec);
  const FragmentTable* fragments_;
  FreeSpaceBitmap* used_;
  const DataSource& source_;
  std::unique_ptr<SectorOwners> owners_;  // made when first needed
};

}  // namespace pagerake
