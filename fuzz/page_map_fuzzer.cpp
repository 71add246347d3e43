// The page map learning from arbitrary pages: CollectPageInfo and CollectPfsInfo over fragments
// of a disk image, then CountPageMatches of every fragment against what was learned, with every
// rule beyond the written ones.
//
// Input: the file's size in pages (4 bytes), the sectors per cluster, the rules, the number of
// fragments, and per fragment its first page id (4 bytes), its page count and whether it was
// chosen among others (a byte: count in the low 6 bits, chosen in bit 7); then the image, whole
// pages, which the fragments take in turn from its start (a fragment may run past its end, where
// reads fail).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "analysis/lsn_bound.h"
#include "analysis/page_map.h"
#include "fragments/page_access.h"
#include "fuzz/fuzz_support.h"
#include "page/page_header.h"

namespace {

constexpr uint32_t kMaxFilePages = 1 << 17;
constexpr int kMaxFragments = 8;

struct Fragment {
  int32_t startPage = 0;
  int32_t pages = 0;
  bool unconfirmed = false;
  int64_t startSector = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pagerake;
  static fuzz::MemFile image("disk");  // for the life of the process
  fuzz::InputReader in(data, size);
  const uint32_t filePages = in.U32() % kMaxFilePages;
  const auto sectorsPerCluster = static_cast<int16_t>(1 + in.U8() % 16);
  const uint8_t ruleBits = in.U8();
  const int fragmentCount = 1 + in.U8() % kMaxFragments;
  std::vector<Fragment> fragments(static_cast<size_t>(fragmentCount));
  int64_t nextPage = 0;
  for (Fragment& f : fragments) {
    // Page ids of a saved or scanned fragment: not negative, and the run within 32 bits.
    f.startPage = static_cast<int32_t>(in.U32() % (uint32_t{1} << 30));
    const uint8_t b = in.U8();
    f.pages = 1 + (b & 0x3F);
    f.unconfirmed = (b & 0x80) != 0;
    f.startSector = nextPage * kSectorsPerPage;
    nextPage += f.pages;
  }
  size_t imageBytes = 0;
  const uint8_t* imageData = in.Bytes(in.left(), imageBytes);
  const int64_t imagePages = static_cast<int64_t>((imageBytes + kPageSize - 1) / kPageSize);
  image.Clear(imagePages * kPageSize);
  image.WriteAt(0, imageData, imageBytes);

  DataSource source = fuzz::ImageSource(image, imagePages * kSectorsPerPage);
  PageAccess access;
  fuzz::NullHost host;
  PageMapReader reader{access, source, sectorsPerCluster, host};
  PageMap map;
  map.Reset(filePages);

  // 1. Learn from the first half of the fragments (the start fragment's PFS pages first).
  const size_t learned = (fragments.size() + 1) / 2;
  (void)CollectPfsInfo(map, reader, fragments[0].pages, fragments[0].startPage,
                       fragments[0].startSector);
  for (size_t i = 0; i < learned; ++i) {
    const Fragment& f = fragments[i];
    (void)CollectPageInfo(map, reader, f.pages, f.startPage, f.startSector, f.unconfirmed);
  }
  if (map.learningUnconfirmed() || map.size() != filePages) std::abort();

  // 2. Count every fragment against the map; a walk that reached the end keeps its pages, which a
  //    later CollectPageInfo of the same fragment takes instead of reading them again.
  std::optional<PageLsn> bound;
  std::vector<uint8_t> page(kPageSize);
  if (reader.pages.ReadFragmentSectors(source, 0, int64_t{kBootPage} * kSectorsPerPage,
                                       kSectorsPerPage, page.data())) {
    bound = LsnBoundOfBootPage(page.data());
  }
  MatchRules rules;
  rules.lsnBound = (ruleBits & 1) && bound ? &*bound : nullptr;
  rules.iamMarks = (ruleBits & 2) != 0;
  rules.newest = (ruleBits & 4) != 0;
  rules.neverAllocated = (ruleBits & 8) != 0;
  for (const Fragment& f : fragments) {
    PageMatchCounts counts;
    CountPageMatches(map, reader, f.pages, f.startPage, f.startSector, counts, rules);
    if (counts.matches < 0 || counts.conflicts < counts.unconfirmedConflicts ||
        counts.matches + counts.unmapped > f.pages) {
      std::abort();
    }
  }
  for (size_t i = learned; i < fragments.size(); ++i) {
    const Fragment& f = fragments[i];
    (void)CollectPageInfo(map, reader, f.pages, f.startPage, f.startSector, f.unconfirmed);
  }
  return 0;
}
