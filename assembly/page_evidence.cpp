#include "assembly/page_evidence.h"

namespace pagerake {

const char* PageClassName(PageClass c) {
  switch (c) {
    case PageClass::kProven: return "proven";
    case PageClass::kConsistent: return "consistent";
    case PageClass::kUnconfirmed: return "unconfirmed";
    case PageClass::kInconsistent: return "inconsistent";
    case PageClass::kZero: return "zero";
    case PageClass::kNoPage: return "no page";
    case PageClass::kFree: return "free";
    case PageClass::kRebuilt: return "rebuilt";
  }
  return "";
}

namespace {

PageStanding StandingOf(const ConsistencyReport& report, size_t page) {
  return page < report.standing.size() ? report.standing[page] : PageStanding::kUnknown;
}

PageClass ClassOf(uint16_t f, PageStanding standing, bool unallocated, bool borneOut) {
  if (f & kFactZero) return PageClass::kZero;
  if (standing == PageStanding::kRefuted) return PageClass::kInconsistent;
  if (f & kFactMendRefused) return PageClass::kUnconfirmed;
  const bool whole = borneOut || (!(f & kFactMendedTail) &&
                                  (!(f & (kFactRowEnd | kFactMendedJunction)) ||
                                   (f & kFactTailSettled)));
  if (unallocated && standing == PageStanding::kUnknown && whole && (f & kFactFromFragment)) {
    return PageClass::kFree;
  }
  if (!(f & kFactOwnPage)) {
    // Bytes that are no page of this file: copied with the pages around them, or doubtful.
    return (f & kFactFromFragment) && !(f & kFactRowEnd) ? PageClass::kNoPage
                                                         : PageClass::kUnconfirmed;
  }
  const bool checksum = f & kFactChecksum;
  const bool verified = f & kFactVerified;
  if (checksum && verified) return PageClass::kProven;
  if (checksum || ((f & kFactTornBits) && !verified)) return PageClass::kUnconfirmed;
  // Without a checksum, the page is known to be whole only where its sectors were read as one
  // run with the page behind it, where of every place its tail can lie one alone fits, or where
  // the structures bear out every byte of it (an IAM page whose claims the file bears out). A
  // page at the end of its piece may have been cut there, and a mended one holds sectors from
  // elsewhere: torn bits pass on the sectors of another page written in the same flush, and the
  // header alone ties a page to its unit whatever its tail says.
  const bool tied = standing == PageStanding::kConfirmed || standing == PageStanding::kTied;
  return tied && whole ? PageClass::kConsistent : PageClass::kUnconfirmed;
}

}  // namespace

PageEvidence ClassifyPages(const std::vector<uint16_t>& facts, const ConsistencyReport& report) {
  PageEvidence e;
  e.pages = static_cast<int64_t>(facts.size());
  e.classes.resize(facts.size());
  for (size_t p = 0; p < facts.size(); ++p) {
    const uint16_t f = facts[p];
    const bool unallocated = p < report.unallocated.size() && report.unallocated[p] != 0;
    const bool borneOut = p < report.whole.size() && report.whole[p] != 0;
    const PageClass c = ClassOf(f, StandingOf(report, p), unallocated, borneOut);
    e.classes[p] = c;
    const auto page = static_cast<int64_t>(p);
    switch (c) {
      case PageClass::kProven: ++e.proven; break;
      case PageClass::kConsistent: ++e.consistent; break;
      case PageClass::kUnconfirmed: ++e.unconfirmed; e.unconfirmedPages.push_back(page); break;
      case PageClass::kInconsistent: ++e.inconsistent; e.inconsistentPages.push_back(page); break;
      case PageClass::kZero: ++e.zero; break;
      case PageClass::kNoPage: ++e.noPage; break;
      case PageClass::kFree: ++e.free; break;
      case PageClass::kRebuilt: break;  // marked after the classes, by MarkRebuilt
    }
    if (f & kFactMendedJunction) e.mends.push_back({page, "junction", true});
    if (f & kFactMendedTail) e.mends.push_back({page, "tail search", true});
    if (f & kFactMendRefused) e.mends.push_back({page, "refused", false});
  }
  for (const ConsistencyFinding& finding : report.findings) {
    if (finding.page >= 0 && finding.page < e.pages) e.findings.push_back(finding);
  }
  return e;
}

void MarkRebuilt(PageEvidence& e, int64_t page) {
  if (page < 0 || page >= e.pages) return;
  PageClass& c = e.classes[static_cast<size_t>(page)];
  if (c != PageClass::kZero) return;
  c = PageClass::kRebuilt;
  --e.zero;
  ++e.rebuilt;
  e.rebuiltPages.push_back(page);
}

std::string GroupedNumber(int64_t n) {
  std::string digits = std::to_string(n < 0 ? -n : n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return n < 0 ? "-" + out : out;
}

std::string EvidenceSummary(const PageEvidence& e) {
  std::string s = GroupedNumber(e.pages) + " pages: " + GroupedNumber(e.proven) + " proven, " +
                  GroupedNumber(e.consistent) + " consistent, " + GroupedNumber(e.unconfirmed) +
                  " unconfirmed, " + GroupedNumber(e.inconsistent) + " inconsistent";
  if (e.zero > 0) s += ", " + GroupedNumber(e.zero) + " zero";
  if (e.noPage > 0) s += ", " + GroupedNumber(e.noPage) + " no page";
  if (e.free > 0) s += ", " + GroupedNumber(e.free) + " free";
  if (e.rebuilt > 0) s += ", " + GroupedNumber(e.rebuilt) + " rebuilt";
  return s;
}

}  // namespace pagerake
