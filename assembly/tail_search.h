// The search for the tail of a page that clusters smaller than a page split in two, where the
// tail does not lie in front of the next fragment (in a small hole of its own, or where no
// fragment follows).
//
// The page's head is the run of whole clusters that the fragment holds from the page's first
// sector on; its tail is the rest, on one run of whole clusters somewhere near. Every head length
// the cluster size allows is tried against every cluster-aligned run within a window around the
// head's end, on the data source itself. A page protected by a checksum is taken when its
// checksum matches: each sector's share of the checksum is computed once for the whole window,
// so a candidate costs a few rotations. A torn-page page is taken only when exactly one
// candidate gives every tail sector the page's torn bits and passes the structural check. A
// page without protection is never taken by search: nothing could tell a wrong tail.
#pragma once

#include <cstdint>

#include "source/data_source.h"

namespace pagerake {

// Sectors on each side of the head's end that are looked at.
inline constexpr int64_t kTailSearchWindowSectors = 2048;

// Mends `page`, the page as read from `pageSector` on (its first sectors are the head), when a
// tail for it is found: true, with the tail in place; false with the page unchanged. Clusters of
// `sectorsPerCluster` (1 to 15) sectors start at sectors congruent to `clusterBase`. Reads the
// window from `source` (never past its end); a window that cannot be read finds nothing.
bool SearchPageTail(uint8_t* page, const DataSource& source, int64_t pageSector,
                    int16_t sectorsPerCluster, int64_t clusterBase);

// A page without protection at a junction, whose tail may lie in front of the next fragment
// (`lead`: the 15 sectors in front of it, as the written junction repair reads them). Nothing
// verifies such a page, so its tail is taken from there only when the page as read fails the
// structural check and exactly one tail of whole clusters (up to the 15 sectors) passes it: true,
// with that tail in place; false with the page unchanged.
bool MendUnprotectedAtJunction(uint8_t* page, const uint8_t* lead, int16_t sectorsPerCluster);

}  // namespace pagerake
