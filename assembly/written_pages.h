// What the writer knows of each page of the new file as it goes out: whether it is a page of
// this file at its place, its protection and whether that verifies, how it was mended, and
// whether it was zeros. The pages pass through the consistency check on their way, so nothing
// reads the finished file again to judge it. One 16-bit word per page; nothing else per page.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "database/consistency_check.h"

namespace pagerake {

enum PageFact : uint16_t {
  kFactZero = 1 << 0,           // all zero as written
  kFactUnreadable = 1 << 1,     // zeros because the medium could not give it
  kFactOwnPage = 1 << 2,        // header version 1 and the page id of its place
  kFactChecksum = 1 << 3,       // protected by a checksum
  kFactTornBits = 1 << 4,       // protected by torn bits
  kFactVerified = 1 << 5,       // its protection verifies
  kFactFromFragment = 1 << 6,   // read from a chained fragment (not a hole or the padding)
  kFactRowEnd = 1 << 7,         // the last page of its fragment where clusters are smaller than a
                                // page: it may have been cut there
  kFactMendedJunction = 1 << 8, // its tail taken from in front of the next fragment
  kFactMendedTail = 1 << 9,     // its tail found by the tail search (or in three pieces)
  kFactMendRefused = 1 << 10,   // a mend was found, but the page's records refuted it
  kFactChosen = 1 << 11,        // taken among others that fit as well
  kFactRivalUnsettled = 1 << 12,    // a rival holds other bytes at that page, or cannot be read
  kFactRivalNone = 1 << 13,         // taken for want of evidence, with no one rival to compare
  kFactRivalRefuted = 1 << 14,      // the one rival differs, and the file's structures refute it
  kFactTailSettled = 1 << 15,  // cut where its fragment ends (or mended there), and of the pages
                               // its head makes with each place its tail can lie, it alone fits
};

class WrittenPages {
 public:
  // `expectedPages`: room to reserve (the file's size as far as known).
  explicit WrittenPages(int64_t expectedPages);

  // Pages [first, first + count) as written. `lastFacts` is added to the last of them.
  void Pages(int64_t first, const uint8_t* pages, int64_t count, uint16_t lastFacts = 0);
  // Zero pages [first, first + count); `facts` says why (kFactUnreadable, or nothing).
  void Zeros(int64_t first, int64_t count, uint16_t facts = 0);
  void Mark(int64_t page, uint16_t facts);

  int64_t size() const { return static_cast<int64_t>(facts_.size()); }
  const std::vector<uint16_t>& facts() const { return facts_; }
  // Page 0 as written, when it was written from a fragment.
  const uint8_t* pageZero() const { return hasPageZero_ ? pageZero_.data() : nullptr; }

  // The consistency check's verdict over every page written. Call once, at the end.
  ConsistencyReport Judge();

 private:
  void Extend(int64_t end);
  std::vector<uint16_t> facts_;
  std::vector<uint8_t> pageZero_;
  bool hasPageZero_ = false;
  std::unique_ptr<ConsistencyCheck> check_;
  int64_t expected_;
};

}  // namespace pagerake
