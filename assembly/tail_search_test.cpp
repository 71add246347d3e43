// The tail search on real pages: a split page's tail found among wrong candidates (other pages of
// the same file and junk, at every cluster position of the window), and the cases it must refuse.
#include "assembly/tail_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fragments/page_access.h"
#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"

namespace pagerake {
namespace {

// The first page from page 40 on that is a page of its file at its place, has `protection` and
// holds something in its second half.
int32_t PageWith(const std::vector<uint8_t>& file, PageProtection protection) {
  for (int32_t p = 40; p < static_cast<int32_t>(file.size() / kPageSize); ++p) {
    const uint8_t* page = file.data() + static_cast<size_t>(p) * kPageSize;
    if (page[0] != 1 || LoadLe32(page + header_offset::kPageId) != static_cast<uint32_t>(p) ||
        ProtectionOf(page) != protection) {
      continue;
    }
    if (std::any_of(page + kPageSize / 2, page + kPageSize - 64, [](uint8_t b) { return b; })) {
      return p;
    }
  }
  return -1;
}

// A disk of 8000 random sectors: pages of `around` all round sector 4000 (every cluster position
// a candidate), and there the first `head` sectors of page `p` of `file`, followed on the disk
// by sectors of its next page.
testing::DiskImage SplitPageDisk(const std::vector<uint8_t>& file,
                                 const std::vector<uint8_t>& around, int32_t p, int head,
                                 uint64_t seed) {
  constexpr int64_t kAt = 4000;
  testing::DiskImage image(8000, seed);
  image.PutFilePages(4400, around, p - 40, 40);
  image.PutFilePages(kAt - 16 * 20, around, p - 20, 20);
  image.Put(kAt, file.data() + static_cast<size_t>(p) * kPageSize,
            static_cast<size_t>(head) * kSectorSize);
  image.Put(kAt + head, file.data() + (static_cast<size_t>(p) + 1) * kPageSize,
            static_cast<size_t>(kSectorsPerPage - head) * kSectorSize);
  return image;
}

// The search through the window around `pageSector`, read from `source`; sectors from
// `unknownFrom` on count as not held (a saved scan's spare sectors), and `next` as for the search.
bool SearchIn(std::vector<uint8_t>& page, const DataSource& source, int64_t pageSector, int spc,
              const NextFragment* next = nullptr, int64_t unknownFrom = INT64_MAX) {
  TailWindow w = TailWindowAround(pageSector, ReadableEnd(source));
  std::vector<uint8_t> data(static_cast<size_t>(w.count) * kSectorSize);
  std::vector<uint8_t> known(static_cast<size_t>(w.count));
  EXPECT_TRUE(ReadSectors(source, w.first, w.count, data.data()));
  for (int32_t i = 0; i < w.count; ++i) known[static_cast<size_t>(i)] = w.first + i < unknownFrom;
  w.data = data.data();
  w.known = known.data();
  return SearchPageTail(page.data(), w, pageSector, static_cast<int16_t>(spc), 0, next);
}

TEST(SearchPageTail, FindsTheTailAmongWrongCandidatesAndRefusesWhatItCannotTell) {
  PAGERAKE_REQUIRE_CORPUS();
  struct Case {
    const char* what;
    const char* file;
    const char* neighbours;  // the file whose pages lie around (wrong candidates)
    PageProtection protection;
    std::vector<int64_t> tails;  // where copies of the tail lie
    bool found;
  };
  const Case cases[] = {
      {"checksum: found among the file's own pages", "r11.mdf", "r11.mdf",
       PageProtection::kChecksum, {4900}, true},
      // A torn-page file's other pages carry the same two bits in half of their sectors, so
      // tails of them pass by chance: among them a torn-bit page is left alone (next case).
      {"torn bits: the one candidate", "r01.mdf", "r06.mdf", PageProtection::kTornBits, {4900},
       true},
      {"torn bits: two copies of the tail give the same page", "r01.mdf", "r06.mdf",
       PageProtection::kTornBits, {4900, 5200}, true},
      {"torn bits among the file's own pages: not unique, none taken", "r01.mdf", "r01.mdf",
       PageProtection::kTornBits, {4900}, false},
      {"no protection: never by search", "r13.mdf", "r13.mdf", PageProtection::kNone, {4900},
       false},
      {"checksum: beyond the window", "r11.mdf", "r11.mdf", PageProtection::kChecksum,
       {4000 + 3000}, false},
  };
  constexpr int64_t kPageSector = 4000;  // cluster-aligned at 4 sectors per cluster
  constexpr int kHead = 8;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> file =
        testing::ReadWholeFile((testing::CorpusDir() / c.file).string());
    const int32_t p = PageWith(file, c.protection);
    ASSERT_GE(p, 0);
    const uint8_t* original = file.data() + static_cast<size_t>(p) * kPageSize;
    const std::vector<uint8_t> around =
        testing::ReadWholeFile((testing::CorpusDir() / c.neighbours).string());
    testing::TempDir dir;
    testing::DiskImage image = SplitPageDisk(file, around, p, kHead, 3);
    for (int64_t at : c.tails) {
      image.Put(at, original + kHead * kSectorSize, (kSectorsPerPage - kHead) * kSectorSize);
    }
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
    std::vector<uint8_t> page(kPageSize);
    ASSERT_TRUE(ReadSectors(source, kPageSector, kSectorsPerPage, page.data()));
    const std::vector<uint8_t> asRead = page;
    EXPECT_EQ(SearchIn(page, source, kPageSector, 4), c.found);
    if (c.found) {
      EXPECT_TRUE(std::equal(page.begin(), page.end(), original));
    } else {
      EXPECT_TRUE(page == asRead);
    }
  }
}

// Pages in three pieces (2 KiB clusters): a head of one cluster, a middle of one cluster elsewhere
// among other pages, and the tail in front of the next fragment.
TEST(SearchPageTail, JoinsThreePiecesOnlyWhereTheMiddleIsHeldAndUnique) {
  PAGERAKE_REQUIRE_CORPUS();
  struct Case {
    const char* what;
    const char* file;
    const char* neighbours;
    PageProtection protection;
    int64_t unknownFrom;  // sectors from here on are not held
    bool found;
  };
  const Case cases[] = {
      {"checksum", "r11.mdf", "r11.mdf", PageProtection::kChecksum, INT64_MAX, true},
      {"torn bits", "r01.mdf", "r06.mdf", PageProtection::kTornBits, INT64_MAX, true},
      {"checksum, the middle not held", "r11.mdf", "r11.mdf", PageProtection::kChecksum, 5100,
       false},
  };
  constexpr int64_t kPageSector = 4000, kMiddle = 5200, kNextFsec = 6000;
  constexpr int kHead = 4, kMid = 4, kTail = kSectorsPerPage - kHead - kMid;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> file =
        testing::ReadWholeFile((testing::CorpusDir() / c.file).string());
    const int32_t p = PageWith(file, c.protection);
    ASSERT_GE(p, 0);
    const uint8_t* original = file.data() + static_cast<size_t>(p) * kPageSize;
    const std::vector<uint8_t> around =
        testing::ReadWholeFile((testing::CorpusDir() / c.neighbours).string());
    testing::TempDir dir;
    testing::DiskImage image = SplitPageDisk(file, around, p, kHead, 5);
    image.Put(kMiddle, original + kHead * kSectorSize, kMid * kSectorSize);
    image.Put(kNextFsec - kTail, original + (kHead + kMid) * kSectorSize, kTail * kSectorSize);
    ASSERT_TRUE(image.Write(dir.File("disk.img")));
    const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
    std::vector<uint8_t> page(kPageSize);
    std::vector<uint8_t> lead(kLeadBlockBytes);
    ASSERT_TRUE(ReadSectors(source, kPageSector, kSectorsPerPage, page.data()));
    ASSERT_TRUE(ReadLeadSectors(source, kNextFsec, lead.data()));
    const std::vector<uint8_t> asRead = page;
    const NextFragment next{kNextFsec, 0, {kNextFsec - kLeadSectors, kLeadSectors, lead.data()}};
    EXPECT_FALSE(SearchIn(page, source, kPageSector, 4)) << "two pieces cannot join it";
    EXPECT_EQ(SearchIn(page, source, kPageSector, 4, &next, c.unknownFrom), c.found);
    if (c.found) {
      EXPECT_TRUE(std::equal(page.begin(), page.end(), original));
    } else {
      EXPECT_TRUE(page == asRead);
    }
  }
}

// A torn-page page before a hole of two zero pages, among the file's own pages (whose tails pass
// its torn bits too): its tail is taken at the one place the hole gives it, and only when the
// hole there is zero; the next row's fragment may lie behind the head on the disk or before it.
TEST(SearchPageTail, TakesATornPagesTailWhereTheHoleBeforeTheNextRowPutsIt) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::vector<uint8_t> file =
      testing::ReadWholeFile((testing::CorpusDir() / "r01.mdf").string());
  const int32_t p = PageWith(file, PageProtection::kTornBits);
  ASSERT_GE(p, 0);
  const uint8_t* original = file.data() + static_cast<size_t>(p) * kPageSize;
  constexpr int64_t kPageSector = 4000;
  constexpr int kHead = 4, kTail = kSectorsPerPage - kHead, kGap = 2;
  for (const int64_t nextFsec : {6000, 2000}) {
    for (const bool zeroHole : {true, false}) {
      SCOPED_TRACE(std::to_string(nextFsec) + (zeroHole ? ", zero hole" : ", the hole holds data"));
      testing::TempDir dir;
      testing::DiskImage image = SplitPageDisk(file, file, p, kHead, 9);
      const int64_t hole = nextFsec - kGap * kSectorsPerPage;
      image.Put(hole - kTail, original + kHead * kSectorSize, kTail * kSectorSize);
      if (zeroHole) {
        const std::vector<uint8_t> zeros(kGap * kPageSize, 0);
        image.Put(hole, zeros.data(), zeros.size());
      }
      ASSERT_TRUE(image.Write(dir.File("disk.img")));
      const DataSource source = testing::WholeDiskImageSource(dir.File("disk.img"));
      std::vector<uint8_t> page(kPageSize);
      std::vector<uint8_t> front(kHoleReachSectors * kSectorSize);
      ASSERT_TRUE(ReadSectors(source, kPageSector, kSectorsPerPage, page.data()));
      ASSERT_TRUE(ReadSectors(source, nextFsec - kHoleReachSectors,
                              static_cast<int32_t>(kHoleReachSectors), front.data()));
      const NextFragment next{
          nextFsec, kGap,
          {nextFsec - kHoleReachSectors, static_cast<int32_t>(kHoleReachSectors), front.data()}};
      EXPECT_FALSE(SearchIn(page, source, kPageSector, 4)) << "the window alone is ambiguous";
      EXPECT_EQ(SearchIn(page, source, kPageSector, 4, &next), zeroHole);
      EXPECT_EQ(std::equal(page.begin(), page.end(), original), zeroHole);
    }
  }
}

// Every unprotected page of r13 split at every head length 2 KiB clusters allow, read with the
// next page's sectors behind its head, its tail in front of the next fragment after another
// page's sectors: the junction takes a tail only where one head length alone passes the
// structural check, and what it takes is always the page's own.
TEST(MendUnprotectedAtJunction, TakesOnlyThePagesOwnTail) {
  PAGERAKE_REQUIRE_CORPUS();
  const std::vector<uint8_t> file =
      testing::ReadWholeFile((testing::CorpusDir() / "r13.mdf").string());
  const auto pages = static_cast<int32_t>(file.size() / kPageSize);
  int tried = 0;
  int mended = 0;
  for (int32_t p = 1; p + 2 < pages; ++p) {
    const uint8_t* original = file.data() + static_cast<size_t>(p) * kPageSize;
    if (original[0] != 1 || ProtectionOf(original) != PageProtection::kNone ||
        LoadLe32(original + header_offset::kPageId) != static_cast<uint32_t>(p)) {
      continue;
    }
    for (int head = 4; head < kSectorsPerPage; head += 4) {
      const size_t headBytes = static_cast<size_t>(head) * kSectorSize;
      std::vector<uint8_t> page(original, original + kPageSize);
      std::memcpy(page.data() + headBytes, original + kPageSize + headBytes,
                  kPageSize - headBytes);
      const uint8_t* other = file.data() + static_cast<size_t>(p + 2) * kPageSize;
      std::vector<uint8_t> lead(other, other + kLeadBlockBytes);
      std::memcpy(lead.data() + kLeadBlockBytes - (kPageSize - headBytes), original + headBytes,
                  kPageSize - headBytes);
      const std::vector<uint8_t> asRead = page;
      ++tried;
      if (MendUnprotectedAtJunction(page.data(), lead.data(), 4)) {
        ++mended;
        EXPECT_TRUE(std::equal(page.begin(), page.end(), original))
            << "page " << p << ", head " << head;
      } else {
        EXPECT_TRUE(page == asRead);
      }
    }
  }
  EXPECT_GT(tried, 200);
  EXPECT_GT(mended, tried / 4);
}

}  // namespace
}  // namespace pagerake
