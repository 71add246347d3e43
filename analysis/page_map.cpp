#include "analysis/page_map.h"

#include <array>

#include "analysis/fragment_pages.h"
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

// Page `i` of a fragment of `pages` pages (page number `p`), if the map learns from it.
void LearnFromPage(PageMap& map, PageMapReader& reader, uint8_t* page, const Header& h, int32_t i,
                   int32_t pages, int64_t p) {
  if (!PassesFilter(map, h, p) || MayBeCutShort(reader, i, pages, page, h.type)) return;
  RestoreTornBits(page);
  // 2. to 4. By its kind.
  if (h.type == kPageTypePfs) {
    if (h.pageId != 1 && h.pageId % kPfsInterval != 0) return;
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

// The learning from a fragment whose every page a test has seen: the links of its data and index
// pages are among the facts; only its allocation pages (PFS, IAM) are read again, whole.
bool CollectFromFacts(PageMap& map, PageMapReader& reader, const std::vector<HeaderFact>& facts,
                      int32_t pages, int32_t startPage, int64_t startSector) {
  Page page{};
  bool readAll = true;
  for (int32_t i = 0; i < pages; ++i) {
    const HeaderFact& f = facts[static_cast<size_t>(i)];
    const Header h{static_cast<uint8_t>(f.flags & HeaderFact::kVersion1 ? 1 : 0),
                   f.type, 0, f.objectId, f.prevPageId, f.prevFileId, f.nextPageId, f.nextFileId};
    const int64_t p = int64_t{startPage} + i;
    if (!PassesFilter(map, h, p)) continue;
    if (h.type != kPageTypePfs && h.type != kPageTypeIam) {
      LearnFromLinks(map, h, reader.host);
      continue;
    }
    if (!reader.pages.ReadFragmentSectors(reader.source, startSector,
                                          int64_t{i} * kSectorsPerPage, kSectorsPerPage,
                                          page.data())) {
      if (readAll) reader.host.Tell("read disk error");  // once, as a walk says it
      readAll = false;
      continue;
    }
    LearnFromPage(map, reader, page.data(), ReadHeader(page.data()), i, pages, p);
  }
  return readAll;
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

std::string MediumOf(const PageAccess& pages, const DataSource& source) {
  return std::to_string(source.isPartition) + ":" + std::to_string(source.driveNumber) + ":" +
         std::to_string(source.sourceSectors) + ":" + std::to_string(source.sourceEnd) + ":" +
         source.devicePath + "|" + std::to_string(pages.LiveSourceMode()) + ":" +
         std::to_string(pages.ContentFileKey()) + ":" + pages.ContentFilePath();
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
  uint8_t* const kept = reader.kept.Take(startSector, pages);
  if (const HeaderFactCache::Entry* known = reader.facts.Known(startSector, startPage);
      kept == nullptr && known != nullptr && known->facts.size() >= static_cast<size_t>(pages)) {
    return CollectFromFacts(map, reader, known->facts, pages, startPage, startSector);
  }
  FragmentPages fragment(reader, startSector, pages, FragmentPages::kMaxRun, kept,
                         kept != nullptr);
  bool readAll = true;
  for (int32_t i = 0; i < pages; ++i) {
    // 1. The page, if the map learns from it.
    uint8_t* const page = fragment.Page(i);
    if (page == nullptr) {
      readAll = false;  // a bad sector: the pages behind it still teach what they can
      continue;
    }
    LearnFromPage(map, reader, page, ReadHeader(page), i, pages, int64_t{startPage} + i);
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

}  // namespace pagerake
