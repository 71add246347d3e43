// The search for the tail of a page that clusters smaller than a page split, where the tail does
// not lie in front of the next fragment (in a small hole of its own, or where no fragment
// follows), and for pages in three pieces whose tail does lie there but whose middle is a short
// run of clusters elsewhere.
//
// The page's head is the run of whole clusters that the fragment holds from the page's first
// sector on; the rest lies on one run of whole clusters somewhere near (two pieces), or on such a
// run followed by the sectors in front of the next fragment (three pieces). Every split the
// cluster size allows is tried against every cluster-aligned run within a window around the
// head's end. A page protected by a checksum is taken when its checksum matches: each sector's
// share of the checksum is computed once for the whole window, so a candidate costs a few
// rotations; in three pieces, where far more candidates are tried, it must also be the only
// structurally sound one. A torn-page page is taken only when exactly one candidate gives every
// sector the page's torn bits and passes the structural check. Behind a hole of zero pages the
// tail has one place, in front of the next row's fragment by the hole's length, and is looked for
// there first. A page without protection is never taken by search: nothing could tell a wrong
// tail.
#pragma once

#include <cstdint>

#include "fragments/spare_sectors.h"

namespace pagerake {

// The sectors looked through: `count` from absolute sector `first` on, in `data`; known[i] is 0
// where the medium does not hold sector first + i (a saved scan keeps only some), and `known`
// may be null when it holds them all.
struct TailWindow {
  int64_t first = 0;
  int32_t count = 0;
  const uint8_t* data = nullptr;
  const uint8_t* known = nullptr;
};

// The window for a page at `pageSector` on a medium that reads up to `readableEnd`: the
// kTailSearchWindowSectors on each side of it, from sector 0 on. Its count is 0 when fewer than
// a page's sectors remain.
TailWindow TailWindowAround(int64_t pageSector, int64_t readableEnd);

// The row that follows the page's: where its fragment starts, how many pages lie between the page
// and that row's first page (0 at a junction), and the sectors in front of it (`front`: the
// kHoleReachSectors up to `fsec`, the last 15 of them the lead block the junction repair reads).
struct NextFragment {
  int64_t fsec = 0;
  int64_t gapPages = 0;
  TailWindow front;
};

// Mends `page`, the page as read from `pageSector` on (its first sectors are the head), when a
// tail for it is found: true, with the page mended; false with the page unchanged. With `next`
// behind a hole, first at the one place the hole gives it (the tail, then the hole's zero pages,
// then the next fragment: a torn-page page is taken there only when those sectors are zero and it
// is sound); then in `window`; then, at a junction, as a middle in `window` and the tail in front
// of `next`. Clusters of `sectorsPerCluster` (1 to 15) sectors start at sectors congruent to
// `clusterBase`.
bool SearchPageTail(uint8_t* page, const TailWindow& window, int64_t pageSector,
                    int16_t sectorsPerCluster, int64_t clusterBase,
                    const NextFragment* next = nullptr);

// A page without protection at a junction, whose tail may lie in front of the next fragment
// (`lead`: the 15 sectors in front of it, as the written junction repair reads them). Nothing
// verifies such a page, so its tail is taken from there only when the page as read fails the
// structural check and exactly one tail of whole clusters (up to the 15 sectors) passes it: true,
// with that tail in place; false with the page unchanged.
bool MendUnprotectedAtJunction(uint8_t* page, const uint8_t* lead, int16_t sectorsPerCluster);

// The last page of a fragment followed at once by the fragment of the next page: a fragment that
// ends inside a page leaves the page's tail in front of the next fragment, so the page is either
// as read (`asRead`: its sectors in place) or its head with whole clusters of `lead` (the 15
// sectors in front of the next fragment) behind it. A place that something else stands on is no
// place for the tail: the page as read when `asReadTaken`, a tail from `lead` when it takes a
// sector that `leadTaken` marks (nonzero; null when none is). Of the pages left, how many
// different ones pass the page's own checks (torn bits and the record layout; the structural
// check and the record layout without protection): 0, 1 (copied to `only`) or 2 for more. A
// checksum page has its own proof and gets 0.
int TailsThatFit(const uint8_t* asRead, bool asReadTaken, const uint8_t* lead,
                 const uint8_t* leadTaken, int16_t sectorsPerCluster, uint8_t* only);

}  // namespace pagerake
