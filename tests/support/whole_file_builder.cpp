#include "tests/support/whole_file_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "page/byte_order.h"
#include "page/page_header.h"

namespace pagerake::testing {
namespace {

constexpr int16_t kFreeExtent = -1;    // uniform, owned by nobody
constexpr int16_t kMixedExtent = -2;   // IAM pages and single pages
constexpr int16_t kSystemExtent = -3;  // holds an allocation page; its other pages may be singles

constexpr uint8_t kPfsAllocation = 0x44;  // allocated, full
constexpr uint8_t kPfsUniform = 0x40;     // allocated
constexpr uint8_t kPfsMixed = 0x60;       // allocated, in a mixed extent
constexpr uint8_t kPfsIam = 0x70;         // allocated, mixed, an IAM page
constexpr uint8_t kPfsLeftOver = 0x04;    // free, once used

constexpr uint32_t kNamePageObjectId = 0x22;
constexpr int kIamHeaderBytes = 94;  // the first page of the range at 40, eight singles from 46
constexpr int kPfsRecordBytes = 4 + kPfsIntervalPages;

// splitmix64: small, fast and the same everywhere, so that a seed always gives the same file.
uint64_t Next(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}
uint32_t Below(uint64_t& state, uint32_t n) { return static_cast<uint32_t>(Next(state) % n); }
uint64_t Hash(uint64_t seed, int64_t page) {
  uint64_t s = seed ^ (static_cast<uint64_t>(page) * 0xD1B54A32D192ED03ull);
  return Next(s);
}

// A record as the database writes one: status bytes, then the offset of its end.
std::vector<uint8_t> Record(const std::vector<uint8_t>& body) {
  std::vector<uint8_t> r(4 + body.size(), 0);
  r[0] = 0x30;
  StoreLe16(r.data() + 2, static_cast<uint16_t>(r.size()));
  std::copy(body.begin(), body.end(), r.begin() + 4);
  return r;
}

// Allocation pages other than 0, 1 and 32: a header and one empty record. The boot page's record
// is as long as a real one and holds at page offset 444 an LSN past every page's (their log file
// numbers stay below 4).
Page AllocationPage(uint8_t type, int32_t page, PageProtection protection) {
  constexpr uint8_t kBootPageType = 13;
  constexpr size_t kBootLsnBoundInBody = 444 - 96 - 4;
  PageBuilder b;
  b.Type(type).Id(static_cast<uint32_t>(page)).Object(kAllocationObjectId).Protect(protection);
  std::vector<uint8_t> body(type == kBootPageType ? 500 : 92, 0);
  if (type == kBootPageType) body[kBootLsnBoundInBody] = 4;
  b.AddRecord(Record(body));
  return b.Build();
}

}  // namespace

int32_t PfsPageOf(int32_t page) {
  return page < kPfsIntervalPages ? 1 : page / kPfsIntervalPages * kPfsIntervalPages;
}

WholeFile::WholeFile(WholeFileOptions options) : options_(std::move(options)) {
  const WholeFileOptions& o = options_;
  if (o.pages < 64 || o.objects < 1 || o.objects > 64 || o.iamRangePages < 64 ||
      o.iamRangePages % 64 != 0 || o.iamRangePages > kGamIntervalPages) {
    throw std::invalid_argument("WholeFileOptions");
  }
  // 1. Allocation pages; 2. a mixed area at the start of each IAM range; 3. the uniform extents'
  // owners; 4. IAM pages and single pages in the mixed areas; 5. pages and chains from owners.
  extents_ = (o.pages + 7) / 8;
  ranges_ = (o.pages + o.iamRangePages - 1) / o.iamRangePages;
  slots_.assign(static_cast<size_t>(o.pages), Slot{});
  extentOwner_.assign(static_cast<size_t>(extents_), kFreeExtent);
  iamIndex_.assign(static_cast<size_t>(o.objects) * ranges_, -1);
  uint64_t state = o.seed;
  for (int32_t p = 0; p < o.pages; ++p) slots_[p].hole = Hash(o.seed ^ 0x5EED, p) % 100 <
                                                          static_cast<uint64_t>(o.freePagePercent);
  PlaceAllocationPages();
  const std::vector<std::vector<int32_t>> areas = ReserveMixedAreas();
  AssignExtents(areas, state);
  PlaceIamPagesAndSingles(areas, state);
  Derive();
}

void WholeFile::PlaceAllocationPages() {
  auto place = [this](int64_t page, PageRole role, uint8_t type) {
    if (page >= options_.pages) return;
    Slot& s = slots_[static_cast<size_t>(page)];
    s.role = role;
    s.pageType = type;
    s.pfs = kPfsAllocation;
    extentOwner_[static_cast<size_t>(page / 8)] = kSystemExtent;
  };
  place(0, PageRole::kAllocation, kPageTypeFileHeader);
  place(9, PageRole::kAllocation, 13);  // boot page
  place(32, PageRole::kName, kPageTypeData);
  for (int64_t p = 1; p < options_.pages; p = p == 1 ? kPfsIntervalPages : p + kPfsIntervalPages) {
    place(p, PageRole::kAllocation, kPageTypePfs);
  }
  for (int64_t base = 0; base < options_.pages; base += kGamIntervalPages) {
    const int64_t gam = base == 0 ? 2 : base;
    place(gam, PageRole::kAllocation, 8);       // GAM
    place(gam + 1, PageRole::kAllocation, 9);   // SGAM
    place(base + 6, PageRole::kAllocation, 16);  // differential map
    place(base + 7, PageRole::kAllocation, 17);  // bulk-logged map
  }
}

// The first free extents of each range become its mixed area: room for one IAM page per object,
// and in range 0 room for the objects' single pages too.
std::vector<std::vector<int32_t>> WholeFile::ReserveMixedAreas() {
  std::vector<std::vector<int32_t>> areas(static_cast<size_t>(ranges_));
  for (int32_t r = 0; r < ranges_; ++r) {
    int need = (options_.objects + 7) / 8 + (r == 0 ? options_.objects : 0);
    for (int32_t e = r * (options_.iamRangePages / 8); need > 0 && e < extents_; ++e) {
      if (extentOwner_[e] != kFreeExtent) continue;
      extentOwner_[e] = kMixedExtent;
      for (int32_t p = 8 * e; p < 8 * e + 8 && p < options_.pages; ++p) areas[r].push_back(p);
      --need;
    }
  }
  return areas;
}

// Uniform extents go in runs of 1 to 12 extents to one object (larger objects are likelier) or
// to nobody. A range whose mixed area has no room for every object's IAM page stays free.
void WholeFile::AssignExtents(const std::vector<std::vector<int32_t>>& areas, uint64_t& state) {
  const int n = options_.objects;
  int runLeft = 0;
  int16_t owner = kFreeExtent;
  for (int32_t e = 0; e < extents_; ++e) {
    if (extentOwner_[e] != kFreeExtent) continue;
    if (runLeft == 0) {
      runLeft = 1 + static_cast<int>(Below(state, 12));
      owner = kFreeExtent;
      if (Below(state, 100) >= static_cast<uint32_t>(options_.freeExtentPercent)) {
        // Object k is drawn with weight k + 1.
        uint32_t ticket = Below(state, static_cast<uint32_t>(n * (n + 1) / 2));
        int16_t k = 0;
        while (ticket >= static_cast<uint32_t>(k + 1)) ticket -= static_cast<uint32_t>(++k);
        owner = k;
      }
    }
    --runLeft;
    const size_t range = static_cast<size_t>(8 * e / options_.iamRangePages);
    extentOwner_[e] = areas[range].size() >= static_cast<size_t>(n) ? owner : kFreeExtent;
  }
}

void WholeFile::PlaceIamPagesAndSingles(const std::vector<std::vector<int32_t>>& areas,
                                        uint64_t& state) {
  // 1. One IAM page per object in range 0, and in every other range it owns extents in.
  std::vector<uint8_t> owns(iamIndex_.size(), 0);
  for (int32_t e = 0; e < extents_; ++e) {
    if (extentOwner_[e] >= 0) {
      owns[static_cast<size_t>(extentOwner_[e]) * ranges_ + 8 * e / options_.iamRangePages] = 1;
    }
  }
  std::vector<int32_t> pool;  // free places for single pages
  for (int32_t r = 0; r < ranges_; ++r) {
    size_t used = 0;
    for (int16_t o = 0; o < options_.objects && used < areas[r].size(); ++o) {
      const size_t key = static_cast<size_t>(o) * ranges_ + r;
      if (r != 0 && !owns[key]) continue;
      const int32_t page = areas[r][used++];
      iamIndex_[key] = static_cast<int32_t>(iams_.size());
      iams_.push_back({page, o, r * options_.iamRangePages, {}});
      Slot& s = slots_[page];
      s.role = PageRole::kIam;
      s.object = o;
      s.pfs = kPfsIam;
      s.prev = iamIndex_[key];
    }
    pool.insert(pool.end(), areas[r].begin() + static_cast<std::ptrdiff_t>(used), areas[r].end());
  }
  // 2. Single pages: 1 to 8 per object, in the rest of the mixed areas and in the free pages of
  // the allocation pages' extents, all behind the first IAM page (which lists them).
  const int32_t firstIam = iams_.empty() ? options_.pages : iams_.front().page;
  for (int32_t p = firstIam; p < options_.pages; ++p) {
    if (extentOwner_[p / 8] == kSystemExtent && slots_[p].role == PageRole::kFree) pool.push_back(p);
  }
  for (size_t k = pool.size(); k > 1; --k) std::swap(pool[k - 1], pool[Below(state, k)]);
  for (int16_t o = 0; o < options_.objects; ++o) {
    const int32_t first = iamIndex_[static_cast<size_t>(o) * ranges_];
    if (first < 0) continue;
    for (uint32_t k = 1 + Below(state, 8); k > 0 && !pool.empty(); --k) {
      const int32_t page = pool.back();
      pool.pop_back();
      Slot& s = slots_[page];
      s.role = PageRole::kData;
      s.object = o;
      s.pfs = kPfsMixed;
      iams_[first].singles.push_back(page);
    }
  }
}

void WholeFile::Derive() {
  for (int32_t e = 0; e < extents_; ++e) {
    const int16_t owner = extentOwner_[e];
    if (owner == kMixedExtent || owner == kSystemExtent) continue;
    for (int32_t p = 8 * e; p < 8 * e + 8 && p < options_.pages; ++p) {
      Slot& s = slots_[p];
      const bool allocated = owner >= 0 && !s.hole;
      s.role = allocated ? PageRole::kData : PageRole::kFree;
      s.object = allocated ? owner : -1;
      s.pfs = allocated ? kPfsUniform : 0;
    }
  }
  // Each object's pages in page order form its chain.
  std::vector<int32_t> last(static_cast<size_t>(options_.objects), 0);
  for (int32_t p = 0; p < options_.pages; ++p) {
    Slot& s = slots_[p];
    if (s.role != PageRole::kData) continue;
    int32_t& before = last[static_cast<size_t>(s.object)];
    s.prev = before;
    s.next = 0;
    if (before != 0) slots_[before].next = p;
    before = p;
  }
}

WholeFile WholeFile::OlderCopy(uint64_t seed, int changedExtentPercent) const {
  WholeFile older = *this;
  uint64_t state = seed;
  const int n = options_.objects;
  // An object other than `notThis` that has an IAM page in the range of extent e (IAM pages stay
  // where they are), or nobody.
  auto otherOwner = [&](int32_t e, int16_t notThis) -> int16_t {
    const int32_t range = 8 * e / options_.iamRangePages;
    const auto start = static_cast<int>(Below(state, static_cast<uint32_t>(n)));
    for (int k = 0; k < n; ++k) {
      const auto o = static_cast<int16_t>((start + k) % n);
      if (o != notThis && iamIndex_[static_cast<size_t>(o) * ranges_ + range] >= 0) return o;
    }
    return kFreeExtent;
  };
  const auto changed = static_cast<uint32_t>(changedExtentPercent);
  for (int32_t e = 0; e < extents_; ++e) {
    int16_t& owner = older.extentOwner_[e];
    if (owner == kMixedExtent || owner == kSystemExtent) continue;
    const uint32_t roll = Below(state, 300);  // in thirds of a percent
    if (roll >= 3 * changed) continue;
    if (owner >= 0) owner = roll < 2 * changed ? otherOwner(e, owner) : kFreeExtent;
    else owner = otherOwner(e, kFreeExtent);
  }
  for (Slot& s : older.slots_) {
    if (Below(state, 100) < 2) s.hole = !s.hole;
    s.generation = static_cast<uint8_t>(Below(state, 2));
  }
  older.Derive();
  return older;
}

int32_t WholeFile::IamOf(int object, int32_t page) const {
  const bool single = extentOwner_[page / 8] < 0;
  const int32_t range = single ? 0 : page / options_.iamRangePages;
  const int32_t index = iamIndex_[static_cast<size_t>(object) * ranges_ + range];
  return index < 0 ? -1 : iams_[static_cast<size_t>(index)].page;
}

PageFacts WholeFile::Facts(int32_t page) const {
  const Slot& s = slots_.at(static_cast<size_t>(page));
  PageFacts f;
  f.role = s.role;
  f.allocated = (s.pfs & 0x40) != 0;
  switch (s.role) {
    case PageRole::kAllocation: f.objectId = kAllocationObjectId; break;
    case PageRole::kName: f.objectId = kNamePageObjectId; break;
    case PageRole::kIam: f.objectId = ObjectIdOf(s.object); break;
    case PageRole::kData:
      f.objectId = ObjectIdOf(s.object);
      f.allocatingPage = IamOf(s.object, page);
      f.previousPage = s.prev;
      break;
    case PageRole::kFree: {
      const uint64_t h = Hash(options_.seed, page);
      f.objectId = h % 4 < 2 ? ObjectIdOf(options_.objects + 1 + static_cast<int>(h % 4)) : 0;
      break;
    }
  }
  return f;
}

Page WholeFile::PageAt(int32_t page) const {
  const Slot& s = slots_.at(static_cast<size_t>(page));
  const PageProtection protection = options_.protection;
  switch (s.role) {
    case PageRole::kAllocation:
      if (s.pageType == kPageTypeFileHeader) return MakeFileHeaderPage(1, pages(), protection);
      if (s.pageType == kPageTypePfs) return RenderPfs(page);
      return AllocationPage(s.pageType, page, protection);
    case PageRole::kName: return MakeNamePage(1, options_.recordedName, protection);
    case PageRole::kIam: return RenderIam(iams_[static_cast<size_t>(s.prev)]);
    case PageRole::kData: return RenderData(page, s);
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
  std::vector<uint8_t> record(kPfsRecordBytes, 0);
  StoreLe16(record.data() + 2, static_cast<uint16_t>(kPfsRecordBytes));
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

// Slot 0: the first page of the range at 40, the single pages at 46 + 6k (page, file id); slot 1:
// one bit per extent of the range.
Page WholeFile::RenderIam(const IamPage& iam) const {
  std::vector<uint8_t> head(kIamHeaderBytes, 0);
  StoreLe16(head.data() + 2, static_cast<uint16_t>(kIamHeaderBytes));
  StoreLe32(head.data() + 4, static_cast<uint32_t>(iam.rangeStart / options_.iamRangePages));
  StoreLe32(head.data() + 40, static_cast<uint32_t>(iam.rangeStart));
  StoreLe16(head.data() + 44, 1);
  for (size_t k = 0; k < iam.singles.size(); ++k) {
    StoreLe32(head.data() + 46 + 6 * k, static_cast<uint32_t>(iam.singles[k]));
    StoreLe16(head.data() + 50 + 6 * k, 1);
  }
  const int bitmapBytes = options_.iamRangePages / 64;
  std::vector<uint8_t> bitmap(4 + static_cast<size_t>(bitmapBytes), 0);
  StoreLe16(bitmap.data() + 2, static_cast<uint16_t>(bitmap.size()));
  const int32_t firstExtent = iam.rangeStart / 8;
  for (int32_t k = 0; k < options_.iamRangePages / 8 && firstExtent + k < extents_; ++k) {
    if (extentOwner_[firstExtent + k] == iam.object) bitmap[4 + k / 8] |= uint8_t(1u << (k % 8));
  }
  PageBuilder b;
  b.Type(kPageTypeIam).Id(static_cast<uint32_t>(iam.page)).Object(ObjectIdOf(iam.object));
  b.Protect(options_.protection);
  b.AddRecord(head);
  b.AddRecord(bitmap);
  return b.Build();
}

// Two records whose bytes depend on the page and its contents' generation; the log sequence
// number tells the generations apart too. Odd objects are indexes.
Page WholeFile::RenderData(int32_t page, const Slot& s) const {
  PageBuilder b;
  b.Type(s.object % 2 ? kPageTypeIndex : kPageTypeData).Id(static_cast<uint32_t>(page));
  b.Object(ObjectIdOf(s.object)).Links(static_cast<uint32_t>(s.prev), static_cast<uint32_t>(s.next));
  b.Protect(options_.protection);
  b.header().lsn[0] = static_cast<uint8_t>(1 + s.generation);
  StoreLe32(b.header().lsn.data() + 4, static_cast<uint32_t>(page));
  std::vector<uint8_t> body(60);
  for (size_t i = 0; i < body.size(); ++i) {
    body[i] = static_cast<uint8_t>(page * 31 + i * 7 + s.generation * 101);
  }
  const std::vector<uint8_t> record = Record(body);
  b.AddRecord(record);
  b.AddRecord(record);
  return b.Build();
}

// A free page: what a dropped object left (half of them), zeros, or junk without a header.
Page WholeFile::RenderFree(int32_t page) const {
  const PageFacts f = Facts(page);
  if (f.objectId != 0) {
    PageBuilder b;
    b.Id(static_cast<uint32_t>(page)).Object(f.objectId).Protect(options_.protection);
    b.AddRecord(Record(std::vector<uint8_t>(40, static_cast<uint8_t>(page))));
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

// A run is described when it holds a data page whose IAM page lies in front of it, or an IAM page
// whose PFS page does.
bool WholeFile::IsDescribed(int32_t page, int32_t runStart) const {
  const PageFacts f = Facts(page);
  if (f.role == PageRole::kData) return f.allocatingPage >= 0 && f.allocatingPage < runStart;
  return f.role == PageRole::kIam && PfsPageOf(page) < runStart;
}

std::vector<PageRun> WholeFile::CutIntoRuns(uint64_t seed, int32_t meanPages) const {
  uint64_t state = seed;
  const auto mean = static_cast<uint32_t>(std::max(meanPages, 1));
  auto length = [&]() -> int32_t {
    const uint32_t kind = Below(state, 100);
    if (kind < 25) return 1;
    if (kind < 28) return static_cast<int32_t>(5 * mean + Below(state, 10 * mean));
    return static_cast<int32_t>(1 + Below(state, 2 * mean));
  };
  std::vector<PageRun> runs;
  runs.push_back({0, std::min(pages(), std::max<int32_t>(40, length()))});
  while (runs.back().end() < pages()) {
    const int32_t at = runs.back().end();
    int32_t end = std::min(pages(), at + length());
    auto described = [&] {
      for (int32_t p = at; p < end; ++p) {
        if (IsDescribed(p, at)) return true;
      }
      return false;
    };
    while (!described() && end < pages()) end = std::min(pages(), end + length());
    if (described()) runs.push_back({at, end - at});
    else runs.back().pages += end - at;  // the tail has nothing to show: the run in front takes it
  }
  return runs;
}

std::vector<int32_t> ContradictingPages(const WholeFile& file, const WholeFile& decoy,
                                        const std::vector<PageRun>& runs) {
  auto runOf = [&runs](int32_t page) -> const PageRun* {
    auto it = std::upper_bound(runs.begin(), runs.end(), page,
                               [](int32_t p, const PageRun& r) { return p < r.firstPage; });
    if (it == runs.begin() || page >= std::prev(it)->end()) return nullptr;
    return &*std::prev(it);
  };
  std::vector<int32_t> out;
  for (int32_t p = 0; p < std::min(file.pages(), decoy.pages()); ++p) {
    const PageFacts f = file.Facts(p);
    if (f.role != PageRole::kData || !f.allocated) continue;
    const PageFacts d = decoy.Facts(p);
    if (d.objectId == 0 || d.objectId == kAllocationObjectId || d.objectId == f.objectId) continue;
    const PageRun* holder = runOf(p);
    const int32_t from = holder ? holder->firstPage : p;
    const int32_t pfs = PfsPageOf(p);
    const bool linkedFirst = f.previousPage != 0 && f.previousPage < f.allocatingPage;
    if (f.allocatingPage < from && pfs < from && !linkedFirst && runOf(f.allocatingPage) &&
        runOf(pfs)) {
      out.push_back(p);
    }
  }
  return out;
}

}  // namespace pagerake::testing
