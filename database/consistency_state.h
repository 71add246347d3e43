// Inside the consistency check: what it keeps of the pages it is fed, and the rules that judge
// them at the end. Not for use outside database/.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "database/consistency_check.h"
#include "database/allocation_pages.h"
#include "database/page_relations.h"

namespace pagerake::consistency {

// Bits of PageSummary::flags.
inline constexpr uint16_t kNonZero = 1 << 0;      // given, and not all zero
inline constexpr uint16_t kOwnPage = 1 << 1;      // version 1, its own page id, file id 1
inline constexpr uint16_t kLayoutHolds = 1 << 2;  // the record-layout rule holds
inline constexpr uint16_t kChecksummed = 1 << 3;  // checksum-protected, and the checksum agrees
inline constexpr uint16_t kPrevInFile = 1 << 4;   // the previous link names a page of file 1
inline constexpr uint16_t kNextInFile = 1 << 5;   // the next link names a page of file 1
inline constexpr uint16_t kPfsKnown = 1 << 6;     // the PFS page that describes it was read
inline constexpr uint16_t kTied = 1 << 7;         // a relation ties it to the rest of the file
inline constexpr uint16_t kRefutedFlag = 1 << 8;
// The structures bear out every byte of the page, not only its header: an IAM page whose every
// claim the file bears out, none of them past its end.
inline constexpr uint16_t kWholeBorneOut = 1 << 9;

// What the check keeps of each page: 20 bytes, nothing on the heap.
struct PageSummary {
  uint32_t objectId = 0;
  uint32_t prev = 0;
  uint32_t next = 0;
  uint16_t indexId = 0;
  uint8_t type = 0;
  uint8_t level = 0;
  uint16_t flags = 0;
  uint8_t pfs = 0;  // the PFS byte, once Finish has read the PFS pages

  bool Has(uint16_t f) const { return (flags & f) != 0; }
  AllocationUnit Unit() const { return {objectId, indexId}; }
  bool Allocated() const { return Has(kPfsKnown) && (pfs & 0x40) != 0; }
  // Allocated as far as anything tells: where no PFS page was found to describe the page (the
  // first pages of a file lost with page 0, say), a page at its own id stands for itself.
  bool MayBeAllocated() const { return Has(kPfsKnown) ? Allocated() : Has(kOwnPage); }
};

// A PFS page at its place: its bytes, torn bits restored.
struct KeptPfs {
  int64_t page = 0;
  int64_t firstPage = 0;
  std::vector<uint8_t> bytes;
};

// A GAM or SGAM page at its place: its extent bitmap.
struct KeptBitmap {
  int64_t page = 0;
  int64_t firstPage = 0;
  std::vector<uint8_t> bits;
  // Set when the bitmap covers the extent; bit 1 in `set`.
  bool Covers(int64_t p, bool& set) const;
};

// An IAM page at its own id: the unit and what it claims (the bitmap from its first non-zero
// byte to its last, rangeStart moved on by the bytes left out in front).
struct KeptIam {
  int64_t page = 0;
  AllocationUnit unit;
  int64_t rangeStart = 0;
  std::array<int32_t, 8> singles{};
  std::vector<uint8_t> bitmap;
};

// An index page above the leaf at its own id: its children, as [first, first + count) of
// State::children (page ids; ones of other files left out).
struct KeptParent {
  int64_t page = 0;
  uint32_t first = 0;
  uint32_t count = 0;
};

// A catalog row's first IAM page: the allocation-unit catalog names, for every allocation unit,
// the first page of its IAM chain.
struct KeptFirstIam {
  int64_t catalogPage = 0;  // the catalog page that holds the row
  int64_t page = 0;
  AllocationUnit unit;
};

struct Findings {
  std::vector<ConsistencyFinding> list;
  void Add(int64_t page, ConsistencyRule rule, int64_t other, std::string text);
};

// Everything the check keeps between Add and Finish.
struct CheckState {
  int64_t filePages = 0;
  int64_t lastAdded = -1;
  std::vector<consistency::PageSummary> pages;
  std::vector<consistency::KeptPfs> pfs;
  std::vector<consistency::KeptBitmap> gam;
  std::vector<consistency::KeptBitmap> sgam;
  std::vector<consistency::KeptIam> iams;
  std::vector<consistency::KeptParent> parents;
  std::vector<uint32_t> children;
  std::vector<consistency::KeptFirstIam> firstIams;
  uint16_t bootVersion = 0;  // the database version the boot page records; 0 when not read
  std::array<uint8_t, 8192> scratch{};  // a kept page while its torn bits are restored
};

// Keeps what the rules need of an allocation page or an upper index page at its own id.
void KeepPage(CheckState& s, int64_t number, const uint8_t* page);

// The allocation-unit catalog: its data pages carry this unit (auid 458752) on files of SQL Server
// 2005 and later, upgraded ones included.
inline constexpr AllocationUnit kAllocationUnitCatalog{7, 0};
// Whether the page at its own id is one the catalog rule reads: a data page of the catalog's unit
// or the boot page at its place.
bool IsCatalogPage(int64_t number, const PageSummary& page);
// Keeps the boot page's database version, or the first IAM pages a catalog page's rows name.
void KeepCatalogPage(CheckState& s, int64_t number, const uint8_t* page);

// The rules, run by Finish in this order over the kept summary (each adds its findings and
// marks the pages it ties or refutes).
void ApplyPfs(CheckState& s);
void CheckAllocatedPresent(CheckState& s, Findings& f);
void CheckIamOwnership(CheckState& s, Findings& f);
void CheckGamSgam(CheckState& s, Findings& f);
void CheckPageLinks(CheckState& s, Findings& f);
void CheckIndexChildren(CheckState& s, Findings& f);
void CheckRecordLayouts(CheckState& s, Findings& f);
void TieCatalogFirstIams(CheckState& s);

// Whether `page`'s header names the unit an IAM of `iamUnit` gives pages to. Files created by
// SQL Server 2000 keep that version's ids: the data pages of a clustered index carry index id 0
// where the index's IAM carries 1.
bool UnitMatchesIam(const PageSummary& page, AllocationUnit iamUnit);

// Helpers the rules share.
using State = CheckState;

inline PageSummary& At(State& s, int64_t p) { return s.pages[static_cast<size_t>(p)]; }
inline bool InFile(const State& s, int64_t p) { return p >= 0 && p < s.filePages; }
inline void Tie(State& s, int64_t p) { At(s, p).flags |= kTied; }

inline void Refute(State& s, Findings& f, int64_t page, ConsistencyRule rule, int64_t other,
            std::string text) {
  At(s, page).flags |= kRefutedFlag;
  f.Add(page, rule, other, std::move(text));
}

inline std::string Num(int64_t v) { return std::to_string(v); }
inline std::string UnitText(AllocationUnit u) {
  return "object " + Num(u.objectId) + " index " + Num(u.indexId);
}

// An IAM page whose claims count: at its own id, and marked allocated and as an IAM by the PFS
// (an IAM page that the PFS has freed is what a dropped unit left, and claims nothing).
inline bool IsLiveIam(State& s, const KeptIam& iam) {
  const PageSummary& page = At(s, iam.page);
  return page.Has(kPfsKnown) ? page.Allocated() && (page.pfs & kPfsIamPage) != 0
                             : page.MayBeAllocated();
}

// Which of two pages that disagree is refuted: the one without a checksum that agrees when the
// other has one, else both.
template <typename F>
void RefuteWeaker(State& s, int64_t a, int64_t b, F&& refuteOne) {
  const bool aStrong = At(s, a).Has(kChecksummed);
  const bool bStrong = At(s, b).Has(kChecksummed);
  if (aStrong && !bStrong) {
    refuteOne(b);
  } else if (bStrong && !aStrong) {
    refuteOne(a);
  } else {
    refuteOne(a);
    refuteOne(b);
  }
}


}  // namespace pagerake::consistency

namespace pagerake {
struct ConsistencyCheck::State : consistency::CheckState {};
}  // namespace pagerake
