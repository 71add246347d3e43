// The page map: what PFS pages, IAM pages and page links teach it, and how candidates are counted
// against it.
#include "analysis/page_map.h"

#include <optional>
#include <tuple>

#include <gtest/gtest.h>

#include "page/byte_order.h"
#include "tests/support/disk_image.h"
#include "tests/support/page_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::Page;
using testing::PageBuilder;

// A PFS page at `pageId` whose bytes are 0x40 (allocated) but for the `marks` given.
Page Pfs(uint32_t pageId, std::vector<std::pair<int, uint8_t>> marks, int bytes = 8088) {
  std::vector<uint8_t> record(4 + bytes, 0x40);
  StoreLe16(record.data() + 2, static_cast<uint16_t>(4 + bytes));
  for (auto [j, b] : marks) record[4 + j] = b;
  PageBuilder b;
  b.Type(kPageTypePfs).Id(pageId).Object(kAllocationObjectId).Protect(PageProtection::kChecksum);
  b.AddRecord(record);
  return b.Build();
}

Page Iam(uint32_t pageId, uint32_t object, uint32_t first, std::vector<uint32_t> singles,
         std::vector<uint8_t> extents) {
  return testing::MakeIamPage(pageId, object, first, singles, extents);
}

class PageMapTest : public ::testing::Test {
 protected:
  // Writes `pages` as one fragment at the next free place; its start sector.
  int64_t Put(const std::vector<Page>& pages) {
    const int64_t at = next_;
    for (size_t i = 0; i < pages.size(); ++i) image_.PutPage(at + 16 * int64_t(i), pages[i]);
    next_ += 16 * int64_t(pages.size()) + 16;
    return at;
  }
  PageMapReader& Reader() {
    if (!reader_) {
      EXPECT_TRUE(image_.Write(dir_.File("disk.img")));
      source_ = testing::WholeDiskImageSource(dir_.File("disk.img"));
      reader_.emplace(PageMapReader{access_, source_, 8, host_});
    }
    return *reader_;
  }
  PageMatchCounts Count(int32_t startPage, int64_t sector, int32_t pages = 1) {
    PageMatchCounts c;
    CountPageMatches(map_, Reader(), pages, startPage, sector, c);
    return c;
  }

  testing::TempDir dir_;
  testing::DiskImage image_{4096, 2};
  int64_t next_ = 16;
  DataSource source_;
  PageAccess access_;
  testing::ScriptedHost host_;
  std::optional<PageMapReader> reader_;
  PageMap map_;
};

TEST_F(PageMapTest, LearnsFromPfsIamAndLinksAndCountsCandidatesAgainstIt) {
  const int64_t start = Put({testing::MakeFileHeaderPage(1, 20000),
                             Pfs(1, {{5, 0x50}, {200, 0x00}}), testing::MakeDataPage(1, 2, 7),
                             testing::MakeDataPage(1, 3, 7)});
  const int64_t iam500 = Put({Iam(10, 500, 0, {20}, {0x01, 0x01})});
  const int64_t iam600 = Put({Iam(11, 600, 0, {20}, {0x00, 0x01})});
  const int64_t linked = Put({testing::MakeDataPage(1, 300, 41, 0, 301)});
  const int64_t foreignPfs = Put({Pfs(8089, {{0, 0x00}})});
  const int64_t farPfs = Put({Pfs(16176, {})});  // maps pages past the file's end
  const int64_t at5 = Put({testing::MakeDataPage(1, 5, 7)});
  const int64_t at200 = Put({testing::MakeDataPage(1, 200, 7)});
  const int64_t at64 = Put({testing::MakeDataPage(1, 64, 500), testing::MakeDataPage(1, 65, 500),
                            testing::MakeDataPage(1, 66, 500)});
  const int64_t at66 = Put({testing::MakeDataPage(1, 66, 600)});
  const int64_t at301 = Put({testing::MakeDataPage(1, 301, 77), Pfs(1, {})});  // then object 99
  const int64_t iam700 = Put({Iam(12, 700, 0, {}, {0x00, 0x00, 0x01})});  // pages 128-135
  const int64_t at134 = Put({testing::MakeDataPage(1, 134, 800), testing::MakeDataPage(1, 135, 800),
                             testing::MakeDataPage(1, 136, 800)});
  map_.Reset(20000);
  for (const auto& [sector, page, pages] :
       std::vector<std::tuple<int64_t, int32_t, int32_t>>{{start, 0, 4}, {iam500, 10, 1},
                                                          {iam600, 11, 1}, {linked, 300, 1},
                                                          {foreignPfs, 8089, 1}, {farPfs, 16176, 1}}) {
    ASSERT_TRUE(CollectPageInfo(map_, Reader(), pages, page, sector)) << page;
  }
  // PFS bytes: allocated IAM page at 5, page 200 not allocated, the PFS page itself certain.
  EXPECT_EQ(map_.At(5).pageKind, kPageKindIam);
  EXPECT_EQ(map_.At(5).allocState, kAllocated);
  EXPECT_EQ(map_.At(200).allocState, kAllocFree);
  EXPECT_EQ(map_.At(1).expectedObjectId, 99);
  EXPECT_EQ(map_.At(1).objectIdSource, kFromAllocationPage);
  // IAM extents and single pages: first claim wins, the second is noted; extent 0 untouched.
  for (int p = 64; p < 72; ++p) EXPECT_EQ(map_.At(p).expectedObjectId, 500) << p;
  EXPECT_EQ(map_.At(20).expectedObjectId, 500);
  EXPECT_EQ(map_.At(0).expectedObjectId, 0);
  EXPECT_EQ(map_.At(7).expectedObjectId, 0);
  std::vector<std::string> notes = {"erra"};
  notes.resize(9, "errb");  // one for each page of the extent object 600 claims again
  EXPECT_EQ(host_.memo(Memo::kAnalysis), notes);
  // A link to an allocated page with no object yet; the PFS page at 8089 is not used.
  EXPECT_EQ(map_.At(301).expectedObjectId, 41);
  EXPECT_EQ(map_.At(301).objectIdSource, kFromPageLink);
  EXPECT_EQ(map_.At(8089).expectedObjectId, 0);
  EXPECT_EQ(map_.At(8089).allocState, kAllocUnknown);
  // A PFS interval that runs past the file's last page: mapped up to it, the rest ignored.
  EXPECT_EQ(map_.At(16176).expectedObjectId, 99);
  EXPECT_EQ(map_.At(19999).allocState, kAllocated);
  EXPECT_EQ(map_.size(), 20000);

  // Candidates.
  EXPECT_EQ(Count(5, at5).conflicts, 1);    // a data page where an IAM page belongs
  EXPECT_EQ(Count(200, at200).unmapped, 1);
  const PageMatchCounts run = Count(64, at64, 3);
  EXPECT_EQ(run.matches, 3);
  EXPECT_EQ(run.conflicts, 0);
  EXPECT_EQ(Count(66, at66).conflicts, 1);
  const PageMatchCounts tolerated = Count(301, at301, 2);
  EXPECT_EQ(tolerated.matches + tolerated.conflicts + tolerated.unmapped, 0);
  EXPECT_EQ(tolerated.pfsPages, 0);  // object 99: passed over

  // What a piece chosen among others taught: a conflict with it does not end the walk.
  ASSERT_TRUE(CollectPageInfo(map_, Reader(), 1, 12, iam700, true));
  EXPECT_TRUE(map_.At(128).objectUnconfirmed);
  EXPECT_FALSE(map_.At(64).objectUnconfirmed);
  const PageMatchCounts doubted = Count(134, at134, 3);
  EXPECT_EQ(doubted.conflicts, 2);
  EXPECT_EQ(doubted.unconfirmedConflicts, 2);
  EXPECT_EQ(Count(66, at66).unconfirmedConflicts, 0);
  EXPECT_TRUE(host_.messages().empty());
}

TEST_F(PageMapTest, CutShortPfsPageIsReadInItsFirstHalfOnly) {
  Page pfs = Pfs(1, {{5, 0x50}, {3995, 0x00}, {4000, 0x00}});
  pfs[8000] ^= 0xFF;                      // the lost second half: fails verification
  StoreLe16(pfs.data() + 8190, 0x1234);   // and its slot no longer says 96
  const int64_t at = Put({testing::MakeFileHeaderPage(1, 9000), pfs});
  image_.PutPage(4080, Pfs(1, {{7, 0x00}}));  // the image's last page
  map_.Reset(9000);
  ASSERT_TRUE(CollectPfsInfo(map_, Reader(), 2, 0, at));
  EXPECT_EQ(map_.At(5).pageKind, kPageKindIam);
  EXPECT_EQ(map_.At(3995).allocState, kAllocFree);
  EXPECT_EQ(map_.At(4000).allocState, kAllocUnknown);
  // CollectPageInfo skips such a last page altogether.
  map_.Reset(9000);
  ASSERT_TRUE(CollectPageInfo(map_, Reader(), 2, 0, at));
  EXPECT_EQ(map_.At(5).allocState, kAllocUnknown);
  // A read that fails says so and reports it; what the pages in front of it said is kept.
  map_.Reset(9000);
  EXPECT_FALSE(CollectPageInfo(map_, Reader(), 3, 1, 4080));
  EXPECT_EQ(map_.At(7).allocState, kAllocFree);
  EXPECT_EQ(host_.messageTexts(), std::vector<std::string>{"read disk error"});
}

}  // namespace
}  // namespace pagerake
