// The evidence for every page of a recovered file: one class per page, from what the writer saw
// of the page (written_pages.h) and what the consistency check says of it.
//
//   proven        a checksum verifies at the page's own id (and the check does not refute it)
//   consistent    torn bits or no protection, and the check confirms the page
//   unconfirmed   torn bits or no protection, and nothing confirms or refutes it; also a mend
//                 refused, a protected page that fails, and bytes that are no page at a
//                 fragment's end
//   inconsistent  the check refutes it
//   zero          holes, padding and unreadable pages
//   rebuilt       built anew from the rest of the file (page 0 of a database found without it):
//                 never proven, whatever its checksum says
//
// Bytes that are no page of the file inside a fragment (the never-written space a database file
// carries, copied with the pages around it) are counted apart: nothing can prove or refute them.
// So are pages the file's own PFS marks free, read whole with the pages around them: what a
// deallocation left there is none of the database's, and nothing in the file points at it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "assembly/written_pages.h"
#include "database/consistency_check.h"

namespace pagerake {

enum class PageClass : uint8_t {
  kProven,
  kConsistent,
  kUnconfirmed,
  kInconsistent,
  kZero,
  kNoPage,
  kFree,  // the file's own PFS, borne out by its pages, marks it free: the database never reads it
  kRebuilt,
};

// "proven", "consistent", "unconfirmed", "inconsistent", "zero", "no page", "free", "rebuilt".
const char* PageClassName(PageClass c);

struct PageMend {
  int64_t page = 0;
  const char* by = "";  // "junction", "tail search"
  bool taken = true;    // false: refused, the page stays as read
};

struct PageEvidence {
  int64_t pages = 0;
  int64_t proven = 0;
  int64_t consistent = 0;
  int64_t unconfirmed = 0;
  int64_t inconsistent = 0;
  int64_t zero = 0;
  int64_t noPage = 0;
  int64_t free = 0;
  int64_t rebuilt = 0;
  std::vector<int64_t> unconfirmedPages;
  std::vector<int64_t> rebuiltPages;
  std::vector<int64_t> inconsistentPages;
  std::vector<PageMend> mends;
  std::vector<ConsistencyFinding> findings;
  std::vector<PageClass> classes;  // per page
};

// The classes of `facts` (one word per page) under the check's `report`.
PageEvidence ClassifyPages(const std::vector<uint16_t>& facts, const ConsistencyReport& report);

// Page `page`, written as zeros, was then built anew: it counts as rebuilt.
void MarkRebuilt(PageEvidence& e, int64_t page);

// "2,553 pages: 2,501 proven, 40 consistent, 12 unconfirmed, 0 inconsistent" (and the zero pages
// and bytes that are no page, when there are any).
std::string EvidenceSummary(const PageEvidence& e);

// A number with a comma every three digits.
std::string GroupedNumber(int64_t n);

}  // namespace pagerake
