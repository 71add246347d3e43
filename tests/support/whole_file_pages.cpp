// WholeFile's pages, rendered from the layout when asked for.
#include <algorithm>
#include <cstring>

#include "page/byte_order.h"
#include "page/page_header.h"
#include "tests/support/whole_file_builder.h"
#include "tests/support/whole_file_internal.h"

namespace pagerake::testing {

using namespace whole_file;

namespace {

constexpr uint8_t kGamPageType = 8;
constexpr uint8_t kSgamPageType = 9;
constexpr uint8_t kBootPageType = 13;

// The boot page: one record as long as a real one, holding at page offset 444 an LSN past every
// page's (their log file numbers stay below 4).
Page BootPage(int32_t page, PageProtection protection) {
  constexpr size_t kLsnBound = 444 - 96;
  PageBuilder b;
  b.Type(kBootPageType).Id(static_cast<uint32_t>(page)).Object(kAllocationObjectId);
  b.Protect(protection);
  std::vector<uint8_t> record = AllocationRecord(504);
  record[kLsnBound] = 4;
  b.AddRecord(record);
  return b.Build();
}

}  // namespace

Page WholeFile::PageAt(int32_t page) const {
  const Slot& s = slots_.at(static_cast<size_t>(page));
  const PageProtection protection = options_.protection;
  switch (s.role) {
    case PageRole::kAllocation:
      if (s.pageType == kPageTypeFileHeader) return MakeFileHeaderPage(1, pages(), protection);
      if (s.pageType == kPageTypePfs) return RenderPfs(page);
      if (s.pageType == kBootPageType) return BootPage(page, protection);
      if (s.pageType == kPageTypeIam) {
        return MakeIamPage(static_cast<uint32_t>(page), kNamePageObjectId, 0, {32}, {}, protection);
      }
      return RenderExtentMap(page, s.pageType);
    case PageRole::kName: return MakeNamePage(1, options_.recordedName, protection);
    case PageRole::kIam: return RenderIam(iams_[static_cast<size_t>(s.prev)]);
    case PageRole::kData: return IsIndex(s.object) ? RenderIndex(page, s) : RenderData(page, s);
    case PageRole::kFree: break;
  }
  return RenderFree(page);
}

void WholeFile::RenderPages(int32_t firstPage, int32_t count, uint8_t* out) const {
  for (int32_t k = 0; k < count; ++k) {
    const Page p = PageAt(firstPage + k);
    std::memcpy(out + static_cast<size_t>(k) * kPageSize, p.data(), kPageSize);
  }
}

std::vector<uint8_t> WholeFile::Build() const {
  std::vector<uint8_t> file(static_cast<size_t>(pages()) * kPageSize);
  RenderPages(0, pages(), file.data());
  return file;
}

// The record's byte j describes page j of the first interval (whose PFS page is page 1), else
// page pageId + j.
Page WholeFile::RenderPfs(int32_t page) const {
  std::vector<uint8_t> record = AllocationRecord(4 + kPfsIntervalPages);
  const int32_t base = page == 1 ? 0 : page;
  for (int32_t j = 0; j < kPfsIntervalPages && base + j < pages(); ++j) {
    // A free page that a dropped object left keeps a PFS byte that is not 0, as real files do;
    // 0 stands only where no page was ever written.
    const bool leftOver = slots_[base + j].role == PageRole::kFree && Facts(base + j).objectId != 0;
    record[4 + j] = leftOver ? kPfsLeftOver : slots_[base + j].pfs;
  }
  PageBuilder b;
  b.Type(kPageTypePfs).Id(static_cast<uint32_t>(page)).Object(kAllocationObjectId);
  b.Protect(options_.protection).AddRecord(record);
  return b.Build();
}

// GAM: an extent is allocated (bit clear) when an object, an IAM page, a single page or an
// allocation page holds it; free extents and those past the file's end are set. SGAM: the mixed
// extents that still have a free page. Differential and bulk-logged maps: nothing changed.
Page WholeFile::RenderExtentMap(int32_t page, uint8_t pageType) const {
  std::vector<uint8_t> bits;
  const int64_t first = int64_t{page} / kGamIntervalPages * kGamIntervalPages;
  if (pageType == kGamPageType || pageType == kSgamPageType) {
    const bool gam = pageType == kGamPageType;
    bits.assign(kExtentBitmapBytes, gam ? 0xFF : 0x00);
    for (int64_t k = 0; k < int64_t{kExtentBitmapBytes} * 8; ++k) {
      const int64_t e = first / 8 + k;
      if (e >= extents_) break;
      const int16_t owner = extentOwner_[static_cast<size_t>(e)];
      bool set = gam && owner == kFreeExtent;
      if (!gam && (owner == kMixedExtent || owner == kSystemExtent)) {
        for (int64_t p = 8 * e; p < 8 * e + 8; ++p) {
          set = set || p >= pages() || slots_[static_cast<size_t>(p)].role == PageRole::kFree;
        }
      }
      const auto bit = static_cast<uint8_t>(1u << (k % 8));
      uint8_t& byte = bits[static_cast<size_t>(k / 8)];
      byte = set ? static_cast<uint8_t>(byte | bit) : static_cast<uint8_t>(byte & ~bit);
    }
  }
  return MakeExtentMapPage(pageType, static_cast<uint32_t>(page), 1, bits, options_.protection);
}

// Slot 0: its number in the chain at 4, the first page of the range at 40, the single pages at
// 46 + 6k (page, file id); slot 1: one bit per extent of the range.
Page WholeFile::RenderIam(const IamPage& iam) const {
  std::vector<uint8_t> head = AllocationRecord(kBitmapHeaderRecordBytes);
  StoreLe32(head.data() + 4, static_cast<uint32_t>(iam.rangeStart / options_.iamRangePages));
  StoreLe32(head.data() + 40, static_cast<uint32_t>(iam.rangeStart));
  StoreLe16(head.data() + 44, 1);
  for (size_t k = 0; k < iam.singles.size(); ++k) {
    StoreLe32(head.data() + 46 + 6 * k, static_cast<uint32_t>(iam.singles[k]));
    StoreLe16(head.data() + 50 + 6 * k, 1);
  }
  std::vector<uint8_t> bitmap = AllocationRecord(kBitmapRecordBytes);
  const int32_t firstExtent = iam.rangeStart / 8;
  for (int32_t k = 0; k < options_.iamRangePages / 8 && firstExtent + k < extents_; ++k) {
    if (extentOwner_[firstExtent + k] == iam.object) bitmap[4 + k / 8] |= uint8_t(1u << (k % 8));
  }
  // The object's IAM pages of the ranges it uses form its IAM chain, in range order.
  const int32_t range = iam.rangeStart / options_.iamRangePages;
  auto iamOfRange = [&](int32_t r) {
    const int32_t index = iamIndex_[static_cast<size_t>(iam.object) * ranges_ + r];
    return index < 0 ? 0u : static_cast<uint32_t>(iams_[static_cast<size_t>(index)].page);
  };
  uint32_t prev = 0, next = 0;
  for (int32_t r = range - 1; r >= 0 && prev == 0; --r) prev = iamOfRange(r);
  for (int32_t r = range + 1; r < ranges_ && next == 0; ++r) next = iamOfRange(r);
  PageBuilder b;
  b.Type(kPageTypeIam).Id(static_cast<uint32_t>(iam.page)).Object(ObjectIdOf(iam.object));
  b.Links(prev, next).Protect(options_.protection);
  b.AddRecord(head);
  b.AddRecord(bitmap);
  return b.Build();
}

// Two rows whose bytes depend on the page and its contents' generation; the log sequence
// number tells the generations apart too.
Page WholeFile::RenderData(int32_t page, const Slot& s) const {
  PageBuilder b;
  b.Type(kPageTypeData).Id(static_cast<uint32_t>(page));
  b.Object(ObjectIdOf(s.object)).Links(static_cast<uint32_t>(s.prev), static_cast<uint32_t>(s.next));
  b.Protect(options_.protection);
  b.header().lsn[0] = static_cast<uint8_t>(1 + s.generation);
  StoreLe32(b.header().lsn.data() + 4, static_cast<uint32_t>(page));
  std::vector<uint8_t> fixed(60);
  for (size_t i = 0; i < fixed.size(); ++i) {
    fixed[i] = static_cast<uint8_t>(page * 31 + i * 7 + s.generation * 101);
  }
  const std::vector<uint8_t> record = DataRecord(fixed, 15);
  b.AddRecord(record);
  b.AddRecord(record);
  return b.Build();
}

// At the leaf, two records whose key and row locator depend on the page and its contents'
// generation; above it, one record per child: the child's first key and its page.
Page WholeFile::RenderIndex(int32_t page, const Slot& s) const {
  PageBuilder b;
  b.Type(kPageTypeIndex).Id(static_cast<uint32_t>(page));
  b.Object(ObjectIdOf(s.object)).Links(static_cast<uint32_t>(s.prev), static_cast<uint32_t>(s.next));
  b.Protect(options_.protection);
  b.header().level = s.level;
  b.header().lsn[0] = static_cast<uint8_t>(1 + s.generation);
  StoreLe32(b.header().lsn.data() + 4, static_cast<uint32_t>(page));
  auto key = [&](int32_t of) {
    std::vector<uint8_t> k(4);
    StoreLe32(k.data(), static_cast<uint32_t>(of * 31 + s.generation * 101));
    return k;
  };
  const std::vector<std::vector<int32_t>>& levels = indexLevels_[static_cast<size_t>(s.object)];
  if (s.level == 0) {
    const std::vector<uint8_t> record = IndexRecord(key(page), static_cast<uint32_t>(page), 1, true);
    b.header().minLen = static_cast<uint16_t>(record.size());
    b.AddRecord(record);
    b.AddRecord(record);
    return b.Build();
  }
  // This page's share of the level below: the k-th of its level takes the k-th slice.
  const std::vector<int32_t>& mine = levels[s.level];
  const std::vector<int32_t>& below = levels[s.level - 1u];
  const auto k = static_cast<size_t>(std::lower_bound(mine.begin(), mine.end(), page) - mine.begin());
  for (size_t c = k * below.size() / mine.size(); c < (k + 1) * below.size() / mine.size(); ++c) {
    const std::vector<uint8_t> record =
        IndexRecord(key(below[c]), static_cast<uint32_t>(below[c]), 1, false);
    b.header().minLen = static_cast<uint16_t>(record.size());
    b.AddRecord(record);
  }
  return b.Build();
}

// A free page: what a dropped object left (half of them), zeros, or junk without a header.
Page WholeFile::RenderFree(int32_t page) const {
  const PageFacts f = Facts(page);
  if (f.objectId != 0) {
    PageBuilder b;
    b.Id(static_cast<uint32_t>(page)).Object(f.objectId).Protect(options_.protection);
    b.AddRecord(DataRecord(std::vector<uint8_t>(40, static_cast<uint8_t>(page)), 10));
    return b.Build();
  }
  Page p{};
  if (Hash(options_.seed, page) % 4 == 3) {
    uint64_t state = Hash(options_.seed ^ 0x1A2B, page);
    for (int i = 0; i < kPageSize; i += 8) StoreLe64(p.data() + i, Next(state));
    p[0] = 0;
  }
  return p;
}

}  // namespace pagerake::testing
