#include "analysis/lsn_bound.h"

#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr uint8_t kPageTypeBoot = 13;
constexpr int kBootLsnBoundField = 444;

PageLsn LsnAt(const uint8_t* p) { return {LoadLe32(p), LoadLe32(p + 4), LoadLe16(p + 8)}; }

}  // namespace

PageLsn ReadPageLsn(const uint8_t* page) { return LsnAt(page + header_offset::kLsn); }

std::optional<PageLsn> LsnBoundOfBootPage(const uint8_t* page) {
  if (page[header_offset::kHeaderVersion] != 1 || page[header_offset::kPageType] != kPageTypeBoot ||
      LoadLe32(page + header_offset::kPageId) != static_cast<uint32_t>(kBootPage)) {
    return std::nullopt;
  }
  // A boot page written without protection is taken as it is: the bound lies in its first sector,
  // which is read with the header. A protected one that fails its check is not trusted.
  if (ProtectionOf(page) != PageProtection::kNone && !VerifyPage(page)) {
    return std::nullopt;
  }
  return LsnAt(page + kBootLsnBoundField);
}

}  // namespace pagerake
