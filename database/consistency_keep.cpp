// What the consistency check keeps of the pages it must decode at the end, and the PFS bytes it
// spreads over the page summaries.
#include <algorithm>
#include <cstring>

#include "database/allocation_pages.h"
#include "database/consistency_state.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake::consistency {
namespace {

void KeepPfs(CheckState& s, int64_t number, const uint8_t* page) {
  const std::optional<PfsBytes> pfs = DecodePfsPage(page, number);
  if (!pfs) return;
  KeptPfs kept;
  kept.page = number;
  kept.firstPage = pfs->firstPage;
  kept.bytes.assign(pfs->bytes, pfs->bytes + pfs->count);
  s.pfs.push_back(std::move(kept));
}

void KeepBitmap(std::vector<KeptBitmap>& to, int64_t number, const uint8_t* page) {
  const std::optional<ExtentBitmap> map = DecodeExtentBitmapPage(page, number);
  if (!map) return;
  KeptBitmap kept;
  kept.page = number;
  kept.firstPage = map->firstPage;
  kept.bits.assign(map->bytes, map->bytes + map->count);
  to.push_back(std::move(kept));
}

void KeepIam(CheckState& s, int64_t number, const uint8_t* page) {
  const std::optional<IamPageView> iam = DecodeIamPage(page);
  if (!iam) return;
  const PageSummary& summary = s.pages[static_cast<size_t>(number)];
  KeptIam kept;
  kept.page = number;
  kept.unit = summary.Unit();
  kept.rangeStart = iam->rangeStart;
  kept.singles = iam->singles;
  // Only the bytes from the first extent the bitmap claims to the last: most IAM pages claim a
  // few extents, and a file of many small units has thousands of them.
  if (iam->bitmap != nullptr) {
    const uint8_t* end = iam->bitmap + iam->bitmapBytes;
    const uint8_t* first = std::find_if(iam->bitmap, end, [](uint8_t b) { return b != 0; });
    const uint8_t* last = end;
    while (last > first && *(last - 1) == 0) --last;
    kept.rangeStart += 64 * int64_t{first - iam->bitmap};
    kept.bitmap.assign(first, last);
  }
  s.iams.push_back(std::move(kept));
}

// The children of an upper index page, through its slot array. A child of another file is left
// out; one of this file is kept whatever its number (the rule bounds it against the file).
void KeepParent(CheckState& s, int64_t number, const uint8_t* page) {
  const int slots = static_cast<int>(s.pages[static_cast<size_t>(number)].Has(kOwnPage)
                                         ? ReadPageRelations(page).slotCount
                                         : 0);
  KeptParent parent;
  parent.page = number;
  parent.first = static_cast<uint32_t>(s.children.size());
  for (int k = 0; k < slots; ++k) {
    const std::optional<ChildPointer> child = IndexChildAt(page, k);
    if (!child) {
      if (k >= (kPageSize - kPageHeaderSize) / 2) break;  // no slot array can be that long
      continue;
    }
    if (child->fileId != 1) continue;
    s.children.push_back(child->pageId);
  }
  parent.count = static_cast<uint32_t>(s.children.size()) - parent.first;
  s.parents.push_back(parent);
}

}  // namespace

void Findings::Add(int64_t page, ConsistencyRule rule, int64_t other, std::string text) {
  list.push_back(ConsistencyFinding{page, rule, other, std::move(text)});
}

bool KeptBitmap::Covers(int64_t p, bool& set) const {
  if (p < firstPage) return false;
  const int64_t extent = (p - firstPage) / kPagesPerExtent;
  if (extent / 8 >= static_cast<int64_t>(bits.size())) return false;
  set = ((bits[static_cast<size_t>(extent / 8)] >> (extent % 8)) & 1) != 0;
  return true;
}

bool UnitMatchesIam(const PageSummary& page, AllocationUnit iamUnit) {
  if (page.Unit() == iamUnit) return true;
  return page.objectId == iamUnit.objectId && iamUnit.indexId == 1 && page.indexId == 0 &&
         page.type == kPageTypeData;
}

void KeepPage(CheckState& s, int64_t number, const uint8_t* page) {
  std::memcpy(s.scratch.data(), page, kPageSize);
  RestoreTornBits(s.scratch.data());
  const uint8_t* restored = s.scratch.data();
  if (IsCatalogPage(number, s.pages[static_cast<size_t>(number)])) {
    KeepCatalogPage(s, number, restored);
    return;
  }
  switch (s.pages[static_cast<size_t>(number)].type) {
    case kPageTypePfs: KeepPfs(s, number, restored); break;
    case kPageTypeGam: KeepBitmap(s.gam, number, restored); break;
    case kPageTypeSgam: KeepBitmap(s.sgam, number, restored); break;
    case kPageTypeIam: KeepIam(s, number, restored); break;
    default: KeepParent(s, number, restored); break;
  }
}

void ApplyPfs(CheckState& s) {
  for (const KeptPfs& pfs : s.pfs) {
    const int64_t end = std::min<int64_t>(pfs.firstPage + static_cast<int64_t>(pfs.bytes.size()),
                                          s.filePages);
    for (int64_t p = std::max<int64_t>(pfs.firstPage, 0); p < end; ++p) {
      PageSummary& page = s.pages[static_cast<size_t>(p)];
      page.pfs = pfs.bytes[static_cast<size_t>(p - pfs.firstPage)];
      page.flags |= kPfsKnown;
    }
  }
}

}  // namespace pagerake::consistency
