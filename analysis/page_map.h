// The page map: per page number of the file being analysed, what should stand there, learned from
// the pages of the fragments already chained. PFS pages say which pages are allocated and which of
// them are IAM pages; IAM pages say which pages belong to which object; data and index pages say,
// through their page links, which object their neighbours belong to. CountPageMatches then tells
// how well a candidate fragment agrees with what is known.
//
// The map has one 8-byte entry per page of the file (Reset sizes it to the file being analysed),
// so a file of any size is mapped; page numbers that allocation pages name beyond the file's size
// are ignored. Nothing is allocated per page while the map is filled or read.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "analysis/lsn_bound.h"
#include "analysis/header_facts.h"
#include "base/host.h"
#include "base/io_buffer.h"
#include "fragments/page_access.h"
#include "page/page_header.h"  // kAllocationObjectId: allocation pages, never a conflict
#include "source/data_source.h"

namespace pagerake {

inline constexpr uint8_t kPageKindUnknown = 0;
inline constexpr uint8_t kPageKindIam = 10;  // the PFS byte marks the page as an IAM page
inline constexpr uint8_t kAllocFree = 0;
inline constexpr uint8_t kAllocated = 1;
inline constexpr uint8_t kAllocUnknown = 255;
inline constexpr uint8_t kFromAllocationPage = 0;  // certain
inline constexpr uint8_t kFromPageLink = 1;
inline constexpr uint8_t kFromNothing = 255;

struct PageMapEntry {
  int32_t expectedObjectId = 0;  // 0: none yet
  uint8_t pageKind = kPageKindUnknown;
  uint8_t allocState = kAllocUnknown;
  uint8_t objectIdSource = kFromNothing;
  // The PFS byte is 0: the page was never allocated, so the file holds zeros or leftover bytes
  // there, never one of its pages.
  bool neverAllocated : 1 = false;
  // The object, or the allocation state and page kind, were learned last from a piece that was
  // chosen among others: nothing confirms what they say.
  bool objectUnconfirmed : 1 = false;
  bool allocUnconfirmed : 1 = false;
};

class PageMap {
 public:
  // Makes the map hold `filePages` entries, all unknown (nothing kept from an earlier analysis).
  void Reset(int64_t filePages);
  int64_t size() const { return static_cast<int64_t>(entries_.size()); }
  // The entry of `page`; an unknown entry for pages outside the file.
  const PageMapEntry& At(int64_t page) const;
  // The entry of `page` to change; null for pages outside the file.
  PageMapEntry* Find(int64_t page);
  // While on, what the map learns is marked as unconfirmed (CollectPageInfo sets it).
  void LearnUnconfirmed(bool on) { unconfirmed_ = on; }
  bool learningUnconfirmed() const { return unconfirmed_; }

 private:
  std::vector<PageMapEntry> entries_;
  bool unconfirmed_ = false;
};

// The pages of the last few fragments that a candidate's test read to their end, as read, so that
// chaining one of them reads nothing again. Fragments of up to kPages pages are kept, kSlots of
// them at the most; the slot used longest ago makes room for the next.
class KeptFragments {
 public:
  static constexpr int32_t kPages = 512;
  static constexpr int kSlots = 4;

  // Room for the `pages` pages (at most kPages) of the fragment at `startSector`: not kept until
  // Keep says they were all read.
  uint8_t* Room(int64_t startSector, int32_t pages);
  // The pages of the fragment that Room was given last are all there, unchanged.
  void Keep();
  // The kept pages of the fragment at `startSector` with `pages` pages, or null; no longer kept
  // afterwards (the caller may change them), but valid until the next Room.
  uint8_t* Take(int64_t startSector, int32_t pages);

 private:
  struct Slot {
    int64_t startSector = -1;
    int32_t pages = 0;
    bool whole = false;
    uint64_t used = 0;
    IoBuffer data;
  };
  std::array<Slot, kSlots> slots_{};
  Slot* filling_ = nullptr;
  uint64_t clock_ = 0;
};

// Where the pages of fragments are read from, and the cluster size that decides whether a
// fragment's last page may be cut short (clusters smaller than a page).
struct PageMapReader {
  PageAccess& pages;
  const DataSource& source;
  int16_t sectorsPerCluster = 0;
  Host& host;
  // Pages are read a run at a time into this buffer (allocated at first use, then reused).
  IoBuffer batch = {};
  KeptFragments kept = {};
  // What candidates' tests learned of each fragment's pages (header_facts.h): a fragment tested
  // again reads only the pages no earlier test reached.
  HeaderFactCache facts = {};
};

// What names the bytes that `pages` reads from `source`: the source (its path or partition and
// size) and, in content-file mode, the content file. Facts read through one are facts of another
// only where the names agree.
std::string MediumOf(const PageAccess& pages, const DataSource& source);

// Learns from every page of the fragment of `pages` pages that starts with page `startPage` at
// sector `startSector`; `unconfirmed`: the fragment was chosen among others, and what it teaches
// is marked so. Inconsistent claims keep the first certain object and add "erra" (IAM
// single pages), "errb" (IAM extents) or "errc" (page links) to the analysis memo. False, after
// the message box "read disk error" (once), when a page cannot be read; the map still learns from
// every page that can.
[[nodiscard]] bool CollectPageInfo(PageMap& map, PageMapReader& reader, int32_t pages,
                                   int32_t startPage, int64_t startSector,
                                   bool unconfirmed = false);

// Learns from the fragment's PFS pages only (for a start fragment of one or two pages). A last page
// that is a PFS page, fails verification and may be cut short is read in its first half only,
// unless its first record sits where a PFS record does. False as for CollectPageInfo.
[[nodiscard]] bool CollectPfsInfo(PageMap& map, PageMapReader& reader, int32_t pages,
                                  int32_t startPage, int64_t startSector);

struct PageMatchCounts {
  int32_t matches = 0;
  int32_t conflicts = 0;
  int32_t unmapped = 0;
  int32_t iamPages = 0;
  int32_t pfsPages = 0;
  int32_t newerThanBound = 0;  // verified pages at their own number newer than the LSN bound
  bool iamMarkConflict = false;  // the only conflict: an IAM page the PFS does not mark as one
  // Of `conflicts`, those with what only unconfirmed pieces taught the map (the walk goes on past
  // them, so that a conflict with what is certain still counts).
  int32_t unconfirmedConflicts = 0;
  PageLsn newest;                // the newest verified page at its own number, when asked for
  int32_t neverAllocated = 0;    // pages at their own number where the PFS byte is 0
};

// What CountPageMatches checks beyond the written rules.
struct MatchRules {
  const PageLsn* lsnBound = nullptr;  // count the pages newer than this bound
  bool iamMarks = false;              // an IAM page at an allocated page not marked IAM conflicts
  bool newest = false;                // find the newest verified page at its own number
  bool neverAllocated = false;        // count the pages at their own number where the PFS byte is 0
};

// Walks the fragment's pages against the map and adds to `counts`. A page that contradicts an
// object learned from an allocation page (or an IAM mark) adds a conflict and ends the walk,
// unless only unconfirmed pieces taught the map that entry; a
// contradiction of a link-derived object is tolerated. An unreadable page shows "read disk error"
// and ends the walk with the counts so far. Reads only the pages that no earlier walk of the same
// fragment through `reader` reached (the medium does not change while a reader lives). `rules` adds the checks beyond the written rules: the
// pages that stand at their own page number, are newer than the LSN bound and verify are counted;
// an IAM page where the PFS marks an ordinary allocated page is a conflict; the pages at their
// own number where the PFS byte is 0 are counted. Reads the map only.
void CountPageMatches(const PageMap& map, PageMapReader& reader, int32_t pages, int32_t startPage,
                      int64_t startSector, PageMatchCounts& counts,
                      const MatchRules& rules = {});

}  // namespace pagerake
