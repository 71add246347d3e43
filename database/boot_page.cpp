#include "database/boot_page.h"

#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr int kNameOffset = 148;
constexpr int kNameUnits = 128;

}  // namespace

std::optional<std::string> BootPageDatabaseName(const uint8_t* page) {
  const PageHeader h = DecodePageHeader(page);
  if (h.headerVersion != 1 || h.pageType != 13 || h.pageId != 9) return std::nullopt;
  int units = 0;
  while (units < kNameUnits && LoadLe16(page + kNameOffset + 2 * units) != 0) ++units;
  // The padding is space bytes: two of them make one unit U+2020.
  while (units > 0 && LoadLe16(page + kNameOffset + 2 * (units - 1)) == 0x2020) --units;
  std::string name = Utf16ToTrimmedUtf8(page + kNameOffset, units);
  if (name.empty()) return std::nullopt;
  return name;
}

}  // namespace pagerake
