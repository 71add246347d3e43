#include "analysis/page_zero.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "fragments/fragment_extraction.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

// The fragments that begin with page 1 of the file: where page 0's tail may lie in front of.
bool MendAtJunction(uint8_t* page, PageMapReader& reader, const FragmentTable& table,
                    const PageOrderIndex& order, int16_t fileId) {
  if (reader.sectorsPerCluster <= 0 || reader.sectorsPerCluster >= kSectorsPerPage) return false;
  std::array<uint8_t, kLeadBlockBytes> lead;
  std::array<uint8_t, kPageSize> trial;
  for (const PageOrderEntry& e : order) {
    if (e.fileId != fileId || e.beginPage != 1) continue;
    const int64_t fsec = table[static_cast<size_t>(e.recordNo)].fsec;
    if (!reader.pages.ReadLeadBlock(reader.source, fsec, lead.data())) continue;
    std::memcpy(trial.data(), page, kPageSize);
    if (RepairPageTail(trial.data(), lead.data(), reader.sectorsPerCluster) &&
        PageTrusted(trial.data())) {
      std::memcpy(page, trial.data(), kPageSize);
      return true;
    }
  }
  return false;
}

// One past the highest page of `fileId` that the scan saw.
int64_t SeenEnd(const PageOrderIndex& order, int16_t fileId) {
  int64_t end = 0;
  for (const PageOrderEntry& e : order) {
    if (e.fileId == fileId) end = std::max<int64_t>(end, e.endPage);
  }
  return end;
}

}  // namespace

std::optional<int64_t> SettlePageZero(uint8_t* page, PageMapReader& reader,
                                      const FragmentTable& table, const PageOrderIndex& order,
                                      int32_t startPages, int16_t fileId,
                                      FileSizeFacts& facts) {
  facts = {};
  facts.sourcePages = ReadableEnd(reader.source) / kSectorsPerPage;
  facts.verified = PageTrusted(page);
  facts.asReadPages = RecordedSizeOf(page);
  // Page 0 can be cut short only where its fragment ends with it.
  if (!facts.verified && startPages == 1 && MendAtJunction(page, reader, table, order, fileId)) {
    facts.verified = facts.mended = true;
    facts.source = SizeSource::kPageZeroMended;
  }
  facts.recordedPages = RecordedSizeOf(page);
  if (!facts.recordedPages) return std::nullopt;
  if (!facts.verified) facts.source = SizeSource::kUnverifiedPageZero;
  facts.seenEnd = SeenEnd(order, fileId);
  facts.pages = ProvisionalFileSize(facts);
  return facts.pages;
}

}  // namespace pagerake
