#include "analysis/file_size.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "database/consistency_check.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {

const char* SizeSourceText(SizeSource source) {
  switch (source) {
    case SizeSource::kPageZero: return "page 0";
    case SizeSource::kPageZeroMended: return "page 0 mended at its junction";
    case SizeSource::kUnverifiedPageZero: return "page 0 unverified";
    case SizeSource::kRecoveredPages: return "the pages recovered";
  }
  return "";
}

bool PageTrusted(const uint8_t* page) {
  if (IsZeroPage(page)) return false;
  if (ProtectionOf(page) == PageProtection::kChecksum) return VerifyPage(page);
  if (ProtectionOf(page) == PageProtection::kTornBits && !VerifyPage(page)) return false;
  return RecordLayoutHolds(page);
}

std::optional<int32_t> RecordedSizeOf(const uint8_t* page) {
  std::array<uint8_t, kPageSize> copy;
  std::memcpy(copy.data(), page, kPageSize);
  RestoreTornBits(copy.data());
  return ReadFileSizePages(copy.data());
}

namespace {

// A number an unverified page 0 records is taken only where something supports it: the medium
// can hold such a file, or the scan saw pages of the file that far.
bool Plausible(const FileSizeFacts& facts, int64_t pages) {
  return pages > 0 && pages <= std::max(facts.sourcePages, facts.seenEnd);
}

}  // namespace

int64_t DecideFileSize(FileSizeFacts& facts, const uint8_t* page0, int64_t pagesHeld,
                       int64_t highestAllocated) {
  const int64_t found = std::max(pagesHeld, highestAllocated + 1);
  facts.recordedDisagrees.reset();
  std::optional<int32_t> written;
  if (page0 != nullptr && PageTrusted(page0)) written = RecordedSizeOf(page0);
  if (written && *written > 0) {
    if (!facts.verified) facts.mended = true;
    facts.verified = true;
    facts.source = facts.mended ? SizeSource::kPageZeroMended : SizeSource::kPageZero;
    facts.pages = std::max<int64_t>(*written, found);
    // Page 0 as read (before a mend), or as written, said otherwise than the size used.
    if (facts.asReadPages && *facts.asReadPages != facts.pages) {
      facts.recordedDisagrees = *facts.asReadPages;
    } else if (facts.recordedPages && *facts.recordedPages != facts.pages) {
      facts.recordedDisagrees = *facts.recordedPages;
    } else if (*written != facts.pages) {
      facts.recordedDisagrees = *written;
    }
    facts.recordedPages = *written;
    return facts.pages;
  }
  facts.verified = false;
  facts.mended = false;
  if (facts.recordedPages && Plausible(facts, *facts.recordedPages) &&
      *facts.recordedPages >= found) {
    facts.source = SizeSource::kUnverifiedPageZero;
    facts.pages = *facts.recordedPages;
    return facts.pages;
  }
  facts.source = SizeSource::kRecoveredPages;
  if (facts.recordedPages) facts.recordedDisagrees = *facts.recordedPages;
  facts.pages = found;
  return facts.pages;
}

int64_t ProvisionalFileSize(const FileSizeFacts& facts) {
  if (facts.verified && facts.recordedPages) return std::max<int32_t>(*facts.recordedPages, 0);
  int64_t pages = facts.seenEnd;
  if (facts.recordedPages && Plausible(facts, *facts.recordedPages)) {
    pages = std::max<int64_t>(pages, *facts.recordedPages);
  }
  return std::min<int64_t>(std::max<int64_t>(pages, 1), INT32_MAX);
}

}  // namespace pagerake
