// How large the recovered file is, and why. The size a file header page (page 0) records is worth
// only what the page is worth: where clusters are smaller than a page, page 0 is often cut at a
// cluster boundary and its tail read from another place, and the number read from it is then any
// number at all (a file of 288 pages where the database has 416, or one of 8 GiB for a 3 MB
// database). So the size is taken from page 0 only once the page verifies (as read, or mended at
// its junction or by the tail search); otherwise from what the recovery itself holds (the highest
// page a chained fragment holds at its own number, the highest page the allocation pages mark
// allocated), and from the number page 0 records only where that number could be true at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pagerake {

enum class SizeSource : uint8_t {
  kPageZero,            // page 0 verifies as read
  kPageZeroMended,      // page 0 verifies as mended at its junction (or by the tail search)
  kUnverifiedPageZero,  // page 0 does not verify; the number it records fits what was found
  kRecoveredPages,      // page 0 does not verify and its number does not fit: the pages found
};

// "page 0", "page 0 mended at its junction", "page 0 unverified", "the pages recovered".
const char* SizeSourceText(SizeSource source);

struct FileSizeFacts {
  std::optional<int32_t> recordedPages;  // what page 0 records (torn bits restored), once mended
  std::optional<int32_t> asReadPages;    // what it recorded as read, before any mend
  bool verified = false;                 // page 0 verified, as read or mended
  bool mended = false;                   // ... as mended
  int64_t sourcePages = 0;               // the medium's size in pages
  int64_t seenEnd = 0;                   // one past the highest page of the file's id the scan saw
  SizeSource source = SizeSource::kPageZero;
  int64_t pages = 0;                     // the size the recovery uses
  // What page 0 recorded (as read, or as written) where that is not the size used: the report
  // says the sources disagree.
  std::optional<int64_t> recordedDisagrees;
};

// Whether a page is good enough to take a number from: it verifies, and where that means only
// torn bits (or nothing), its records are laid out as the database lays them out.
bool PageTrusted(const uint8_t* page);

// The size page 0 records, as read from a copy with torn bits restored.
std::optional<int32_t> RecordedSizeOf(const uint8_t* page);

// The size to write the file with, once the file's pages are known: `page0` as written (null when
// none was), `pagesHeld` the highest page number written from a fragment plus one,
// `highestAllocated` the highest page the allocation pages mark allocated (−1 when none). Fills in
// `facts` (source, pages, disagreement). Never less than what was written, and never more than
// the medium or the scan supports unless a verified page 0 says so.
int64_t DecideFileSize(FileSizeFacts& facts, const uint8_t* page0, int64_t pagesHeld,
                       int64_t highestAllocated);

// The size the analysis maps before the file's pages are known: page 0's number when the page
// verifies; otherwise the larger of `seenEnd` and that number, where the medium could hold such a
// file or the scan saw pages that far.
int64_t ProvisionalFileSize(const FileSizeFacts& facts);

}  // namespace pagerake
