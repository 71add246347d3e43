#include "tests/support/whole_file_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "page/byte_order.h"
#include "page/page_header.h"
#include "tests/support/whole_file_internal.h"

namespace pagerake::testing {

using namespace whole_file;

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
  place(kNameTableIamPage, PageRole::kAllocation, kPageTypeIam);  // claims page 32
  slots_[kNameTableIamPage].pfs = kPfsIam;
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
  // Each object's pages in page order form its chain; an index object's pages form one chain a
  // level.
  std::vector<std::vector<int32_t>> pagesOf(static_cast<size_t>(options_.objects));
  for (int32_t p = 0; p < options_.pages; ++p) {
    Slot& s = slots_[p];
    if (s.role != PageRole::kData) continue;
    s.level = 0;
    pagesOf[static_cast<size_t>(s.object)].push_back(p);
  }
  indexLevels_.assign(static_cast<size_t>(options_.objects), {});
  for (int16_t o = 0; o < options_.objects; ++o) {
    const std::vector<int32_t>& pages = pagesOf[static_cast<size_t>(o)];
    if (IsIndex(o)) {
      BuildIndexLevels(o, pages);
      continue;
    }
    for (size_t k = 0; k < pages.size(); ++k) {
      slots_[pages[k]].prev = k == 0 ? 0 : pages[k - 1];
      slots_[pages[k]].next = k + 1 == pages.size() ? 0 : pages[k + 1];
    }
  }
}

// Above the leaf, each level has one page for every kFanOut + 1 pages of the object not yet
// placed, up to a single root: the leaf takes the object's first pages, the levels above the
// last ones. Every page above the leaf keeps at most kFanOut + 1 children.
void WholeFile::BuildIndexLevels(int16_t object, const std::vector<int32_t>& pages) {
  constexpr size_t kFanOut = 100;
  std::vector<size_t> sizes;  // of the levels above the leaf, bottom up
  for (size_t n = pages.size(); pages.size() >= 2 && (sizes.empty() || sizes.back() > 1);) {
    n = (n + kFanOut) / (kFanOut + 1);
    sizes.push_back(n);
  }
  size_t upper = 0;
  for (const size_t n : sizes) upper += n;
  std::vector<std::vector<int32_t>>& levels = indexLevels_[static_cast<size_t>(object)];
  levels.assign(1 + sizes.size(), {});
  auto at = pages.begin();
  levels[0].assign(at, at + static_cast<std::ptrdiff_t>(pages.size() - upper));
  at += static_cast<std::ptrdiff_t>(levels[0].size());
  for (size_t l = 0; l < sizes.size(); ++l) {
    levels[l + 1].assign(at, at + static_cast<std::ptrdiff_t>(sizes[l]));
    at += static_cast<std::ptrdiff_t>(sizes[l]);
  }
  for (size_t l = 0; l < levels.size(); ++l) {
    const std::vector<int32_t>& level = levels[l];
    for (size_t k = 0; k < level.size(); ++k) {
      Slot& s = slots_[level[k]];
      s.level = static_cast<uint8_t>(l);
      s.prev = k == 0 ? 0 : level[k - 1];
      s.next = k + 1 == level.size() ? 0 : level[k + 1];
    }
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
    case PageRole::kAllocation:
      f.objectId = s.pageType == kPageTypeIam ? kNamePageObjectId : kAllocationObjectId;
      break;
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
