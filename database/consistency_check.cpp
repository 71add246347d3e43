#include "database/consistency_check.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "database/allocation_pages.h"
#include "database/consistency_state.h"
#include "page/page_content.h"
#include "page/byte_order.h"
#include "page/page_header.h"
#include "page/page_structure.h"

namespace pagerake {
namespace {

using consistency::PageSummary;

// Pages at a fixed place that the file's own layout ties there: file header, differential and
// bulk-logged change maps and the boot page.
bool AtFixedSystemPlace(int64_t number, uint8_t type) {
  return (number == 0 && type == kPageTypeFileHeader) || (number == 6 && type == 16) ||
         (number == 7 && type == 17) || (number == 9 && type == 13);
}

// Whether the page's tail is tied to its header. The relations the rules check are all in the
// header (and in allocation and upper index pages, which keep them throughout the page), so a
// data, index or text page needs a checksum that agrees: torn bits still agree on a page
// completed with another page's sectors of the same pattern, and a record layout that holds does
// not tell such a tail apart when both pages hold rows of one table (the corpus's torn-page files
// have many). Such pages stay without a standing unless a rule refutes them.
bool TailProven(const PageSummary& page) {
  return page.Has(consistency::kChecksummed) || !IsObjectPageType(page.type);
}

// IsZeroPage, but leaving at the first word that is not zero: nearly every page has its header
// version there.
bool AllZero(const uint8_t* page) {
  uint64_t word = 0;
  for (int i = 0; i < kPageSize; i += 8) {
    std::memcpy(&word, page + i, sizeof word);
    if (word != 0) return false;
  }
  return true;
}

// VerifyPage of a page that is not all zero and is checksum-protected.
bool ChecksumAgrees(const uint8_t* page) {
  return ComputePageChecksum(page) == LoadLe32(page + header_offset::kTornBits);
}

PageSummary Summarize(int64_t number, const uint8_t* page) {
  PageSummary s;
  const PageRelations r = ReadPageRelations(page);
  s.objectId = r.unit.objectId;
  s.indexId = r.unit.indexId;
  s.type = r.type;
  s.level = r.level;
  s.prev = r.prevPage;
  s.next = r.nextPage;
  s.flags = consistency::kNonZero;
  if (r.prevFile == 1 && r.prevPage != 0) s.flags |= consistency::kPrevInFile;
  if (r.nextFile == 1 && r.nextPage != 0) s.flags |= consistency::kNextInFile;
  if (r.version != 1 || r.pageId != number || r.fileId != 1) return s;
  s.flags |= consistency::kOwnPage;
  if (ProtectionOf(page) == PageProtection::kChecksum && ChecksumAgrees(page)) {
    s.flags |= consistency::kChecksummed;
  }
  if (CheckStructure(page) == StructureFault::kNone) s.flags |= consistency::kLayoutHolds;
  return s;
}

// The pages a PFS page that is tied and not refuted marks unallocated.
std::vector<uint8_t> UnallocatedPages(consistency::CheckState& s) {
  std::vector<uint8_t> out(static_cast<size_t>(s.filePages), 0);
  for (int64_t p = 0; p < s.filePages; ++p) {
    const PageSummary& page = s.pages[static_cast<size_t>(p)];
    const int64_t pfs = PfsPageFor(p);
    if (!page.Has(consistency::kPfsKnown) || page.Allocated() || pfs >= s.filePages) continue;
    const PageSummary& map = s.pages[static_cast<size_t>(pfs)];
    if (map.Has(consistency::kTied) && !map.Has(consistency::kRefutedFlag)) {
      out[static_cast<size_t>(p)] = 1;
    }
  }
  return out;
}

}  // namespace

std::string_view ConsistencyRuleText(ConsistencyRule rule) {
  switch (rule) {
    case ConsistencyRule::kAllocatedPresent: return "allocated page present";
    case ConsistencyRule::kIamOwnership: return "IAM ownership";
    case ConsistencyRule::kGamSgam: return "GAM and SGAM against the IAMs";
    case ConsistencyRule::kPageLinks: return "page links";
    case ConsistencyRule::kIndexChild: return "index child pointers";
    case ConsistencyRule::kRecordLayout: return "record layout";
  }
  return "unknown rule";
}

std::string_view ConsistencyRuleKey(ConsistencyRule rule) {
  switch (rule) {
    case ConsistencyRule::kAllocatedPresent: return "allocated_present";
    case ConsistencyRule::kIamOwnership: return "iam_ownership";
    case ConsistencyRule::kGamSgam: return "gam_sgam";
    case ConsistencyRule::kPageLinks: return "page_links";
    case ConsistencyRule::kIndexChild: return "index_child";
    case ConsistencyRule::kRecordLayout: return "record_layout";
  }
  return "unknown";
}

ConsistencyCheck::ConsistencyCheck(int64_t filePages) : state_(std::make_unique<State>()) {
  state_->filePages = std::max<int64_t>(filePages, 0);
  state_->pages.resize(static_cast<size_t>(state_->filePages));
}

ConsistencyCheck::~ConsistencyCheck() = default;

namespace {

// Summarizes page `number` into its place; whether the rules must decode it at the end (such
// pages are kept, decoded, with torn bits restored).
bool SummarizeInPlace(consistency::CheckState& s, int64_t number, const uint8_t* page) {
  if (AllZero(page)) return false;
  PageSummary& summary = s.pages[static_cast<size_t>(number)];
  summary = Summarize(number, page);
  if (!summary.Has(consistency::kOwnPage)) return false;
  return (summary.type == kPageTypePfs && IsPfsPosition(number)) ||
         (summary.type == kPageTypeGam && IsGamPosition(number)) ||
         (summary.type == kPageTypeSgam && IsSgamPosition(number)) ||
         summary.type == kPageTypeIam ||
         (summary.type == kPageTypeIndex && summary.level > 0) ||
         consistency::IsCatalogPage(number, summary);
}

}  // namespace

void ConsistencyCheck::Add(int64_t number, const uint8_t* page) {
  State& s = *state_;
  if (number < 0 || number >= s.filePages || number <= s.lastAdded) return;
  s.lastAdded = number;
  if (SummarizeInPlace(s, number, page)) consistency::KeepPage(s, number, page);
}

void ConsistencyCheck::AddPiece(int64_t first, const uint8_t* pages, int64_t count,
                                std::vector<int64_t>& keep) {
  State& s = *state_;  // each piece writes the summaries of its own pages alone
  for (int64_t i = 0; i < count; ++i) {
    const int64_t number = first + i;
    if (number < 0 || number >= s.filePages) continue;
    if (SummarizeInPlace(s, number, pages + i * kPageSize)) keep.push_back(number);
  }
}

void ConsistencyCheck::Keep(int64_t number, const uint8_t* page) {
  State& s = *state_;
  if (number < 0 || number >= s.filePages) return;
  consistency::KeepPage(s, number, page);
}

ConsistencyReport ConsistencyCheck::Finish() {
  State& s = *state_;
  consistency::Findings findings;
  // 1. What the PFS pages say of every page, then each rule in turn.
  consistency::ApplyPfs(s);
  consistency::CheckAllocatedPresent(s, findings);
  consistency::CheckIamOwnership(s, findings);
  consistency::CheckGamSgam(s, findings);
  consistency::CheckPageLinks(s, findings);
  consistency::CheckIndexChildren(s, findings);
  consistency::CheckRecordLayouts(s, findings);
  consistency::TieCatalogFirstIams(s);
  // 2. Pages at the fixed places of system pages are tied there.
  for (int64_t p = 0; p < s.filePages && p < 10; ++p) {
    PageSummary& page = s.pages[static_cast<size_t>(p)];
    if (page.Has(consistency::kOwnPage) && AtFixedSystemPlace(p, page.type)) {
      page.flags |= consistency::kTied;
    }
  }
  // 3. The standing of every page, and the findings in page order, each once.
  ConsistencyReport report;
  report.pages = s.filePages;
  report.standing.assign(static_cast<size_t>(s.filePages), PageStanding::kUnknown);
  report.nonZero.assign(static_cast<size_t>(s.filePages), 0);
  report.unallocated = UnallocatedPages(s);
  report.whole.assign(static_cast<size_t>(s.filePages), 0);
  for (int64_t p = 0; p < s.filePages; ++p) {
    const PageSummary& page = s.pages[static_cast<size_t>(p)];
    PageStanding& standing = report.standing[static_cast<size_t>(p)];
    if (!page.Has(consistency::kNonZero)) continue;
    report.nonZero[static_cast<size_t>(p)] = 1;
    if (page.Has(consistency::kRefutedFlag)) {
      standing = PageStanding::kRefuted;
      ++report.refuted;
    } else if (page.Has(consistency::kTied) && page.Has(consistency::kLayoutHolds) &&
               TailProven(page)) {
      standing = PageStanding::kConfirmed;
      ++report.confirmed;
      report.whole[static_cast<size_t>(p)] = page.Has(consistency::kWholeBorneOut);
    } else if (page.Has(consistency::kTied) && page.Has(consistency::kLayoutHolds)) {
      standing = PageStanding::kTied;
      ++report.tied;
    }
  }
  std::vector<ConsistencyFinding>& list = findings.list;
  std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
    return a.page != b.page ? a.page < b.page : a.rule < b.rule;
  });
  list.erase(std::unique(list.begin(), list.end(),
                         [](const auto& a, const auto& b) {
                           return a.page == b.page && a.rule == b.rule && a.other == b.other;
                         }),
             list.end());
  report.findings = std::move(list);
  return report;
}

bool RecordLayoutHolds(const uint8_t* page) {
  // CheckStructure reads sector-end bytes as restored, so the page needs no copy here.
  return CheckStructure(page) == StructureFault::kNone;
}

}  // namespace pagerake
