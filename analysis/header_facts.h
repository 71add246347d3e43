// What a candidate's test learns from a fragment's pages that nothing the page map learns later
// can change: per page, the header fields the test compares and those the chaining learns from
// (the page links), and whether the page is a verified one newer than the LSN bound. A reader (one
// command) keeps them per fragment, so that testing a fragment again, after the map has learned
// more, reads none of the pages an earlier test read, and chaining a fragment tested to its end
// reads only its allocation pages again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "analysis/lsn_bound.h"

namespace pagerake {

struct HeaderFact {
  static constexpr uint8_t kVersion1 = 1;   // header version 1
  static constexpr uint8_t kOwnNumber = 2;  // version 1, and the header names its own page number
  static constexpr uint8_t kNewer = 4;      // at its own number, verified, newer than the bound

  int32_t objectId = 0;
  uint8_t type = 0;
  uint8_t flags = 0;
  uint16_t prevFileId = 0;
  int32_t prevPageId = 0;
  int32_t nextPageId = 0;
  uint16_t nextFileId = 0;
};

// The facts of `page` (8192 bytes as read) at page number `pageNumber` of the file; kNewer only
// against a `bound`.
HeaderFact HeaderFactOf(const uint8_t* page, int32_t pageNumber, const PageLsn* bound);

class HeaderFactCache {
 public:
  // 20 bytes a page: 160 MiB for 8 Mi pages (64 GiB of fragments tested); past it, walks read as
  // if nothing were kept.
  static constexpr int64_t kMaxFacts = int64_t{1} << 23;

  // The facts of one fragment: of its pages 0, 1, ... as far as walks have read them.
  struct Entry {
    int32_t startPage = 0;
    std::optional<PageLsn> bound;
    std::vector<HeaderFact> facts;
  };

  // The entry of the fragment at `startSector` whose first page is `startPage`, for facts
  // learned against `bound` (emptied when learned against another one or another first page);
  // null when it is new and the cache is full.
  Entry* Find(int64_t startSector, int32_t startPage, const PageLsn* bound);
  // The facts known of the fragment at `startSector` whose first page is `startPage`, whatever
  // bound they were learned against; null when none are.
  const Entry* Known(int64_t startSector, int32_t startPage) const;
  // Adds the fact of the page behind the last one `entry` knows, while there is room.
  void Append(Entry& entry, const HeaderFact& fact);
  int64_t size() const { return total_; }
  // The facts are of the medium named `medium` (MediumOf in page_map.h) from now on: those of
  // another one are dropped.
  void ForMedium(const std::string& medium);

 private:
  void Empty(Entry& entry);

  std::unordered_map<int64_t, Entry> entries_;
  int64_t total_ = 0;
  std::string medium_;
};

}  // namespace pagerake
