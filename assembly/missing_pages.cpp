#include "assembly/missing_pages.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace pagerake {

MissingPages CheckMissingPages(const std::vector<FragmentRow>& rows, int32_t targetFileSizePages,
                               const PageMap& map, Host& host, bool headless) {
  constexpr int32_t kPfsInterval = 8088;
  MissingPages found;
  host.ClearMemo(Memo::kAssembly);
  if (rows.empty() || (rows.front().beginPage != 0 && !headless)) return found;
  // Of a database without its first pages, each page in front of the first row is missing (every
  // database has them); so is each page of a hole where no PFS page was found to say whether it
  // is allocated.
  std::vector<uint8_t> pfsHeld;  // per PFS interval: its PFS page is in a row
  if (headless) {
    pfsHeld.assign(static_cast<size_t>(targetFileSizePages / kPfsInterval + 1), 0);
    for (size_t k = 0; k < pfsHeld.size(); ++k) {
      const int64_t pfs = k == 0 ? 1 : static_cast<int64_t>(k) * kPfsInterval;
      pfsHeld[k] = std::any_of(rows.begin(), rows.end(), [pfs](const FragmentRow& r) {
        return r.beginPage <= pfs && pfs < r.endPage;
      });
    }
  }
  const auto unknown = [&](int64_t p) {
    const auto k = static_cast<size_t>(p / kPfsInterval);
    return headless && k < pfsHeld.size() && !pfsHeld[k];
  };
  for (int64_t p = 0; p < rows.front().beginPage; ++p) {
    if (p == 1) {
      found.pfsPages.push_back(1);
      host.AddMemoLine(Memo::kAssembly, "缺少重要的PFS页面1");
      continue;
    }
    found.pages.push_back(static_cast<int32_t>(p));
    host.AddMemoLine(Memo::kAssembly, "缺少页面" + std::to_string(p));
  }
  // The PFS pages: page 1, then every multiple of the interval.
  const int64_t size = targetFileSizePages;
  const int64_t candidates = std::llround(static_cast<double>(size) / kPfsInterval) +
                             (size % kPfsInterval > 0 ? 1 : 0);
  for (size_t i = 0; i < rows.size(); ++i) {
    const int64_t e = rows[i].endPage;
    const int64_t n = i + 1 < rows.size() ? int64_t{rows[i + 1].beginPage} : size;
    if (n < e) {
      host.Tell("error");
      return found;
    }
    // Candidate k is page 1 for k = 0, else page k × interval: start at the first one ≥ e.
    for (int64_t k = e <= 1 ? 0 : (e + kPfsInterval - 1) / kPfsInterval; k < candidates; ++k) {
      const int64_t p = k == 0 ? 1 : k * kPfsInterval;
      if (p >= n) break;
      if (p < e) continue;
      found.pfsPages.push_back(static_cast<int32_t>(p));
      host.AddMemoLine(Memo::kAssembly, "缺少重要的PFS页面" + std::to_string(p));
    }
    for (int64_t p = e; p < n; ++p) {
      if (map.At(p).allocState != kAllocated && !unknown(p)) continue;
      found.pages.push_back(static_cast<int32_t>(p));
      host.AddMemoLine(Memo::kAssembly, "缺少页面" + std::to_string(p));
    }
  }
  host.AddMemoLine(Memo::kAssembly, "检测完毕");
  found.checked = true;
  return found;
}

}  // namespace pagerake
