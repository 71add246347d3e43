#include "tests/support/recovery_check.h"

#include <algorithm>
#include <set>

#include "page/page_header.h"

namespace pagerake::testing {

int32_t CountUnreportedWrongPages(const std::vector<uint8_t>& written,
                                  const std::vector<uint8_t>& original,
                                  const RecoveryReport& report) {
  std::set<int64_t> reported(report.unverifiedPages.begin(), report.unverifiedPages.end());
  reported.insert(report.unsoundPages.begin(), report.unsoundPages.end());
  reported.insert(report.choicePages.begin(), report.choicePages.end());
  reported.insert(report.evidence.evidence.unconfirmedPages.begin(),
                  report.evidence.evidence.unconfirmedPages.end());
  reported.insert(report.evidence.evidence.inconsistentPages.begin(),
                  report.evidence.evidence.inconsistentPages.end());
  int32_t silent = 0;
  const size_t pages = std::min(written.size(), original.size()) / kPageSize;
  for (size_t p = 0; p < pages; ++p) {
    const uint8_t* got = written.data() + p * kPageSize;
    const PageHeader h = DecodePageHeader(got);
    if (std::equal(got, got + kPageSize, original.data() + p * kPageSize) ||
        h.headerVersion != 1 || h.pageId != p) {
      continue;
    }
    if (!reported.count(static_cast<int64_t>(p))) ++silent;
  }
  return silent;
}

}  // namespace pagerake::testing
