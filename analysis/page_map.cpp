#include "analysis/page_map.h"

#include <array>

#include "database/allocation_pages.h"
#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr int kSlot0Field = kPageSize - 2;  // page offset of the first record's slot
constexpr int kPfsBytesWhole = kPfsInterval;
constexpr int kPfsBytesHalf = 3996;

using Page = std::array<uint8_t, kPageSize>;

const PageMapEntry kUnknownEntry{};

// The header fields the map uses, read from a page in memory.
struct Header {
  uint8_t version;
  uint8_t type;
  int32_t pageId;
  int32_t objectId;
  int32_t prevPageId;
  uint16_t prevFileId;
  int32_t nextPageId;
  uint16_t nextFileId;
};

Header ReadHeader(const uint8_t* p) {
  namespace off = header_offset;
  return {p[off::kHeaderVersion],
          p[off::kPageType],
          static_cast<int32_t>(LoadLe32(p + off::kPageId)),
          static_cast<int32_t>(LoadLe32(p + off::kObjectId)),
          static_cast<int32_t>(LoadLe32(p + off::kPrevPageId)),
          LoadLe16(p + off::kPrevFileId),
          static_cast<int32_t>(LoadLe32(p + off::kNextPageId)),
          LoadLe16(p + off::kNextFileId)};
}

// The pages of one fragment, handed out in order and read from the medium a run at a time: a run
// of `firstRun` pages first, each next run twice as long, up to kMaxRun. A walk that may stop at
// its first pages (a candidate's test) starts with one page; one that reads every page starts with
// whole runs. Where a run cannot be read, the pages are read one by one from there on, so that the
// walk gets every page in front of the one that fails and the message comes at that one.
//
// With `whole` (room for every page of the fragment) the pages are read into it at their places
// and stay there; `ready` says it holds them all already, and nothing is read.
class FragmentPages {
 public:
  static constexpr int32_t kMaxRun = 64;

  FragmentPages(PageMapReader& r, int64_t startSector, int32_t pages, int32_t firstRun,
                uint8_t* whole = nullptr, bool ready = false)
      : r_(r), startSector_(startSector), pages_(pages), run_(std::min(firstRun, kMaxRun)),
        whole_(whole) {
    if (ready) count_ = pages;
    if (whole_ == nullptr && r_.batch.size() < size_t{kMaxRun} * kPageSize) {
      r_.batch = IoBuffer(size_t{kMaxRun} * kPageSize, IoBuffer::kUninitialized);
    }
  }

  // Page `index` of the fragment (indexes asked for in increasing order), or null after the message
  // box "read disk error" when it cannot be read.
  uint8_t* Page(int32_t index) {
    if (index < first_ || index >= first_ + count_) {
      const int32_t run = std::min(run_, pages_ - index);
      uint8_t* const to = whole_ ? whole_ + size_t(index) * kPageSize : r_.batch.data();
      if (run > 1 && r_.pages.ReadFragmentPages(r_.source, startSector_, index, run, to)) {
        first_ = index;
        count_ = run;
        run_ = std::min(run_ * 2, kMaxRun);
      } else if (r_.pages.ReadFragmentSectors(r_.source, startSector_,
                                              int64_t{index} * kSectorsPerPage, kSectorsPerPage,
                                              to)) {
        first_ = index;
        count_ = 1;
        if (run > 1) run_ = 1;  // a run failed: one page at a time from here on
        else run_ = std::min(run_ * 2, kMaxRun);
      } else {
        // Said once per fragment: a long bad run is one message, not one for each of its pages.
        if (!told_) r_.host.Tell("read disk error");
        told_ = true;
        return nullptr;
      }
    }
    if (whole_) return whole_ + size_t(index) * kPageSize;
    return r_.batch.data() + size_t(index - first_) * kPageSize;
  }

 private:
  PageMapReader& r_;
  int64_t startSector_;
  int32_t pages_;
  int32_t run_;
  uint8_t* whole_;
  int32_t first_ = 0;
  int32_t count_ = 0;
  bool told_ = false;
};

// The walk of a fragment that learns from its pages: from the pages its test kept when there are.
class CollectedPages {
 public:
  CollectedPages(PageMapReader& r, int64_t startSector, int32_t pages)
      : kept_(r.kept.Take(startSector, pages)),
        walk_(r, startSector, pages, FragmentPages::kMaxRun, kept_, kept_ != nullptr) {}
  uint8_t* Page(int32_t index) { return walk_.Page(index); }

 private:
  uint8_t* kept_;
  FragmentPages walk_;
};

// The filter common to both collectors: a page of a kind the map learns from, allocated as far as
// is known, and before anything is known only a PFS page.
bool PassesFilter(const PageMap& map, const Header& h, int64_t page) {
  if (h.version != 1) return false;
  if (h.type != kPageTypeData && h.type != kPageTypeIndex && h.type != kPageTypeIam &&
      h.type != kPageTypePfs) {
    return false;
  }
  const uint8_t alloc = map.At(page).allocState;
  return alloc != kAllocFree && (alloc != kAllocUnknown || h.type == kPageTypePfs);
}

// A fragment's last page may be cut short when clusters are smaller than a page; such a page
// that is an allocation page and fails verification is not trusted whole.
bool MayBeCutShort(const PageMapReader& r, int32_t index, int32_t pages, const uint8_t* page,
                   uint8_t type) {
  return index == pages - 1 && r.sectorsPerCluster < kSectorsPerPage &&
         (type == kPageTypeIam || type == kPageTypePfs) && !VerifyPage(page);
}

void LearnFromAllocationPage(PageMap& map, int64_t page, int32_t objectId) {
  if (PageMapEntry* e = map.Find(page)) {
    e->expectedObjectId = objectId;
    e->objectIdSource = kFromAllocationPage;
    e->objectUnconfirmed = map.learningUnconfirmed();
  }
}

// The PFS bytes of the record at `record` (at most `limit`): byte j describes page j of a PFS
// page that is page 1, else page pageId + j.
void ApplyPfsBytes(PageMap& map, const uint8_t* page, int record, int limit, int32_t pageId) {
  const PfsBytes pfs = DecodePfsRecord(page, record, limit, pageId);
  for (int j = 0; j < pfs.count; ++j) {
    PageMapEntry* e = map.Find(pfs.firstPage + j);
    if (e == nullptr) continue;
    const uint8_t b = pfs.bytes[j];
    if (b & kPfsAllocated) {
      e->allocState = kAllocated;
      if (b & kPfsIamPage) e->pageKind = kPageKindIam;
    } else {
      e->allocState = kAllocFree;
    }
    e->neverAllocated = b == 0;
    e->allocUnconfirmed = map.learningUnconfirmed();
  }
}

// The IAM rule: entry `page` belongs to IAM object `object` unless a certain, other object claims
// it already (then the memo says `conflictLine`).
void ApplyIamClaim(PageMap& map, int64_t page, int32_t object, const char* conflictLine,
                   Host& host) {
  PageMapEntry* e = map.Find(page);
  if (e == nullptr) return;
  if (e->expectedObjectId == 0) {
    e->expectedObjectId = object;
    e->objectIdSource = kFromAllocationPage;
    e->objectUnconfirmed = map.learningUnconfirmed();
  } else if (e->expectedObjectId == object || e->expectedObjectId == static_cast<int32_t>(kAllocationObjectId)) {
    return;
  } else if (e->objectIdSource == kFromAllocationPage) {
    host.AddMemoLine(Memo::kAnalysis, conflictLine);
  } else {
    e->expectedObjectId = object;
    e->objectIdSource = kFromAllocationPage;
    e->objectUnconfirmed = map.learningUnconfirmed();
  }
}

void LearnFromIamPage(PageMap& map, const uint8_t* page, int64_t p, int32_t object, Host& host) {
  LearnFromAllocationPage(map, p, object);
  const std::optional<IamPageView> iam = DecodeIamPage(page);
  if (!iam) return;
  for (const int32_t single : iam->singles) {
    if (single > 0) ApplyIamClaim(map, single, object, "erra", host);
  }
  ForEachIamExtent(*iam, [&](int64_t x) {
    if (x <= 0) return;
    for (int64_t e = x; e < x + kPagesPerExtent; ++e) ApplyIamClaim(map, e, object, "errb", host);
  });
}

// A neighbour named by a page link of object `object`: expects that object, unless it expects
// another already (the memo then says "errc").
void LearnFromLink(PageMap& map, int64_t neighbour, int32_t object, Host& host) {
  PageMapEntry* e = map.Find(neighbour);
  if (e == nullptr) return;
  if (e->expectedObjectId == 0) {
    e->expectedObjectId = object;
    e->objectIdSource = kFromPageLink;
    e->objectUnconfirmed = map.learningUnconfirmed();
  } else if (e->expectedObjectId != object) {
    host.AddMemoLine(Memo::kAnalysis, "errc");
  }
}

void LearnFromLinks(PageMap& map, const Header& h, Host& host) {
  if (h.prevPageId == 0 && h.nextPageId == 0) return;
  if (h.prevPageId > 0 && h.prevFileId == 1) {
    if (map.At(h.prevPageId).allocState != kAllocated) return;  // the next link is not used either
    LearnFromLink(map, h.prevPageId, h.objectId, host);
  }
  if (h.nextPageId >= 1 && h.nextFileId == 1 && map.At(h.nextPageId).allocState == kAllocated) {
    LearnFromLink(map, h.nextPageId, h.objectId, host);
  }
}

}  // namespace

uint8_t* KeptFragments::Room(int64_t startSector, int32_t pages) {
  Slot* slot = &slots_[0];
  for (Slot& s : slots_) {
    if (s.startSector == startSector) {  // the same fragment again: its old pages are replaced
      slot = &s;
      break;
    }
    if (s.used < slot->used) slot = &s;
  }
  const size_t bytes = size_t(pages) * kPageSize;
  if (slot->data.size() < bytes) slot->data = IoBuffer(bytes, IoBuffer::kUninitialized);
  slot->startSector = startSector;
  slot->pages = pages;
  slot->whole = false;
  slot->used = ++clock_;
  filling_ = slot;
  return slot->data.data();
}

void KeptFragments::Keep() {
  if (filling_ != nullptr) filling_->whole = true;
  filling_ = nullptr;
}

uint8_t* KeptFragments::Take(int64_t startSector, int32_t pages) {
  for (Slot& s : slots_) {
    if (s.whole && s.startSector == startSector && s.pages == pages) {
      s.whole = false;
      s.startSector = -1;
      return s.data.data();
    }
  }
  return nullptr;
}

void PageMap::Reset(int64_t filePages) {
  entries_.assign(static_cast<size_t>(std::max<int64_t>(filePages, 0)), PageMapEntry{});
}

const PageMapEntry& PageMap::At(int64_t page) const {
  return page >= 0 && page < size() ? entries_[static_cast<size_t>(page)] : kUnknownEntry;
}

PageMapEntry* PageMap::Find(int64_t page) {
  return page >= 0 && page < size() ? &entries_[static_cast<size_t>(page)] : nullptr;
}

bool CollectPageInfo(PageMap& map, PageMapReader& reader, int32_t pages, int32_t startPage,
                     int64_t startSector, bool unconfirmed) {
  struct Marking {
    PageMap& map;
    ~Marking() { map.LearnUnconfirmed(false); }
  } marking{map};
  map.LearnUnconfirmed(unconfirmed);
  CollectedPages fragment(reader, startSector, pages);
  bool readAll = true;
  for (int32_t i = 0; i < pages; ++i) {
    // 1. The page, if the map learns from it.
    uint8_t* const page = fragment.Page(i);
    if (page == nullptr) {
      readAll = false;  // a bad sector: the pages behind it still teach what they can
      continue;
    }
    const Header h = ReadHeader(page);
    const int64_t p = int64_t{startPage} + i;
    if (!PassesFilter(map, h, p) || MayBeCutShort(reader, i, pages, page, h.type)) continue;
    RestoreTornBits(page);
    // 2. to 4. By its kind.
    if (h.type == kPageTypePfs) {
      if (h.pageId != 1 && h.pageId % kPfsInterval != 0) continue;
      LearnFromAllocationPage(map, p, h.objectId);
      if (const std::optional<int> record = AllocationRecordAt(page, 0)) {
        ApplyPfsBytes(map, page, *record, kPageSize, h.pageId);
      }
    } else if (h.type == kPageTypeIam) {
      LearnFromIamPage(map, page, p, h.objectId, reader.host);
    } else {
      LearnFromLinks(map, h, reader.host);
    }
  }
  return readAll;
}

bool CollectPfsInfo(PageMap& map, PageMapReader& reader, int32_t pages, int32_t startPage,
                    int64_t startSector) {
  CollectedPages fragment(reader, startSector, pages);
  bool readAll = true;
  for (int32_t i = 0; i < pages; ++i) {
    uint8_t* const page = fragment.Page(i);
    if (page == nullptr) {
      readAll = false;
      continue;
    }
    const Header h = ReadHeader(page);
    const int64_t p = int64_t{startPage} + i;
    if (!PassesFilter(map, h, p)) continue;
    // A PFS page cut short holds its first half only, unless its record sits where it should.
    const int slot0 = LoadLe16(page + kSlot0Field);
    const bool half = MayBeCutShort(reader, i, pages, page, h.type) &&
                      !((slot0 & 0xFF) == 0x60 && (slot0 >> 8) <= 2);
    RestoreTornBits(page);
    if (h.type != kPageTypePfs) continue;
    LearnFromAllocationPage(map, p, h.objectId);
    const std::optional<int> record =
        half ? std::optional<int>(kLowestRecordOffset) : AllocationRecordAt(page, 0);
    if (!record) continue;
    ApplyPfsBytes(map, page, *record, half ? kPfsBytesHalf : kPfsBytesWhole, h.pageId);
  }
  return readAll;
}

void CountPageMatches(const PageMap& map, PageMapReader& reader, int32_t pages, int32_t startPage,
                      int64_t startSector, PageMatchCounts& counts, const MatchRules& rules) {
  // The pages are looked at by their headers only, which torn-page bits never touch, so they stay
  // as read; a walk to the end keeps them for the chaining.
  uint8_t* const room =
      pages <= KeptFragments::kPages ? reader.kept.Room(startSector, pages) : nullptr;
  FragmentPages fragment(reader, startSector, pages, 1, room);
  bool iamMismatch = false;
  bool iamMismatchCertain = false;
  for (int32_t i = 0; i < pages; ++i) {
    const uint8_t* const page = fragment.Page(i);
    if (page == nullptr) return;
    const Header h = ReadHeader(page);
    const PageMapEntry& e = map.At(int64_t{startPage} + i);
    if (rules.neverAllocated && e.neverAllocated && h.version == 1 && h.pageId == startPage + i) {
      ++counts.neverAllocated;
    }
    if (h.version == 1 && h.pageId == startPage + i &&
        (rules.lsnBound != nullptr || rules.newest)) {
      const PageLsn lsn = ReadPageLsn(page);
      const bool newer = rules.lsnBound != nullptr && lsn > *rules.lsnBound;
      const bool newest = rules.newest && lsn > counts.newest;
      if ((newer || newest) && VerifyPage(page)) {
        if (newer) ++counts.newerThanBound;
        if (newest) counts.newest = lsn;
      }
    }
    if (h.objectId == static_cast<int32_t>(kAllocationObjectId)) continue;
    if (e.allocState == kAllocFree || h.version != 1) {
      ++counts.unmapped;
      continue;
    }
    const bool iam = h.type == kPageTypeIam;
    // Noted, and the walk goes on: the rule has acted only where the written ones accept.
    if (iam && rules.iamMarks && e.allocState == kAllocated && e.pageKind != kPageKindIam) {
      iamMismatch = true;
      iamMismatchCertain = iamMismatchCertain || !e.allocUnconfirmed;
    }
    if (iam) ++counts.iamPages;
    if (h.type == kPageTypePfs) ++counts.pfsPages;
    // A conflict ends the walk, unless the entry holds only what unconfirmed pieces taught.
    auto conflict = [&](bool unconfirmed) {
      ++counts.conflicts;
      if (!unconfirmed) return true;
      ++counts.unconfirmedConflicts;
      return false;
    };
    if (e.expectedObjectId > 0) {
      if (e.expectedObjectId == h.objectId) {
        if (e.pageKind == kPageKindIam && !iam) {
          if (conflict(e.allocUnconfirmed)) return;
          continue;
        }
        ++counts.matches;
      } else if (e.allocState == kAllocated && e.objectIdSource == kFromAllocationPage) {
        if (conflict(e.objectUnconfirmed || e.allocUnconfirmed)) return;
      }
    } else if (e.pageKind == kPageKindIam && e.allocState == kAllocated) {
      if (!iam) {
        if (conflict(e.allocUnconfirmed)) return;
        continue;
      }
      ++counts.matches;
    }
  }
  if (iamMismatch) {
    // The rule's own conflict only where nothing else conflicts.
    counts.iamMarkConflict = counts.conflicts == 0;
    ++counts.conflicts;
    if (!iamMismatchCertain) ++counts.unconfirmedConflicts;
  }
  if (room != nullptr) reader.kept.Keep();
}

}  // namespace pagerake
