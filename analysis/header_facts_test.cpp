// A fragment tested again reads only what no earlier test of it read: what the first walks learned
// of its pages serves the later ones, and the pages behind them are read from the medium; chaining
// a fragment tested to its end reads only its allocation pages again.
#include "analysis/header_facts.h"

#include <fstream>
#include <optional>

#include <gtest/gtest.h>

#include "analysis/page_map.h"
#include "tests/support/disk_image.h"
#include "tests/support/page_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::Page;

constexpr int64_t kAt = 32;  // the fragment's first sector

class HeaderFactsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 3; ++i) image_.PutPage(kAt + 16 * i, testing::MakeDataPage(1, 64 + i, 500));
    ASSERT_TRUE(image_.Write(dir_.File("disk.img")));
    source_ = testing::WholeDiskImageSource(dir_.File("disk.img"));
    map_.Reset(1000);
    for (int p = 64; p < 67; ++p) {  // object 500 there, as an IAM page says it
      PageMapEntry* e = map_.Find(p);
      e->expectedObjectId = 500;
      e->objectIdSource = kFromAllocationPage;
      e->allocState = kAllocated;
    }
  }
  // Page `index` of the fragment, changed on the medium in place.
  void Overwrite(int index, const Page& page) {
    std::fstream f(dir_.File("disk.img"), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp((kAt + 16 * index) * 512);
    f.write(reinterpret_cast<const char*>(page.data()), static_cast<std::streamsize>(page.size()));
    ASSERT_TRUE(f.good());
  }
  PageMatchCounts Count(PageMapReader& reader, int32_t pages, const MatchRules& rules = {}) {
    PageMatchCounts c;
    CountPageMatches(map_, reader, pages, 64, kAt, c, rules);
    return c;
  }
  PageMapReader NewReader() { return PageMapReader{access_, source_, 16, host_}; }

  testing::TempDir dir_;
  testing::DiskImage image_{1024, 2};
  DataSource source_;
  PageAccess access_;
  testing::ScriptedHost host_;
  PageMap map_;
};

TEST_F(HeaderFactsTest, ATestAgainReadsOnlyThePagesNoEarlierTestReached) {
  PageMapReader reader = NewReader();
  EXPECT_EQ(Count(reader, 1).matches, 1);  // the first page only
  // Both the page read and one not read yet change on the medium: the second walk knows the
  // first page as it was, and reads the others as they are now.
  Overwrite(0, testing::MakeDataPage(1, 64, 600));
  Overwrite(2, testing::MakeDataPage(1, 66, 600));
  const PageMatchCounts again = Count(reader, 3);
  EXPECT_EQ(again.matches, 2);
  EXPECT_EQ(again.conflicts, 1);
  EXPECT_EQ(reader.facts.size(), 3);
  // A reader of its own reads every page as it is now: the first one conflicts.
  PageMapReader fresh = NewReader();
  const PageMatchCounts now = Count(fresh, 3);
  EXPECT_EQ(now.matches, 0);
  EXPECT_EQ(now.conflicts, 1);
  EXPECT_EQ(fresh.facts.size(), 1);  // the walk ended at the conflict: nothing read behind it
  EXPECT_TRUE(host_.messageTexts().empty());
}

TEST_F(HeaderFactsTest, PagesNewerThanOneBoundAreNotTakenAsNewerThanAnother) {
  testing::PageBuilder b;
  b.Type(kPageTypeData).Id(65).Object(500).Protect(PageProtection::kChecksum);
  b.Poke(header_offset::kLsn, {5, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // LSN 5:0:0
  Overwrite(1, b.Build());
  const PageLsn low{4, 0, 0};
  const PageLsn high{6, 0, 0};
  PageMapReader reader = NewReader();
  MatchRules rules;
  EXPECT_EQ(Count(reader, 3).newerThanBound, 0);
  rules.lsnBound = &low;
  EXPECT_EQ(Count(reader, 3, rules).newerThanBound, 1);
  rules.lsnBound = &high;
  EXPECT_EQ(Count(reader, 3, rules).newerThanBound, 0);
  rules.lsnBound = &low;
  EXPECT_EQ(Count(reader, 3, rules).newerThanBound, 1);
  // A read that fails is not taken for a page: the next walk tries it again and says so again.
  PageMapReader beyond{access_, source_, 16, host_};
  PageMatchCounts c;
  CountPageMatches(map_, beyond, 2, 64, 2048 - 16, c);
  CountPageMatches(map_, beyond, 2, 64, 2048 - 16, c);
  EXPECT_EQ(host_.messageTexts(), (std::vector<std::string>{"read disk error", "read disk error"}));
}

TEST_F(HeaderFactsTest, ChainingAFragmentTestedToItsEndReadsOnlyItsAllocationPages) {
  Overwrite(0, testing::MakeDataPage(1, 64, 500, 0, 100));
  Overwrite(2, testing::MakeIamPage(66, 500, 0, {200}, {}));
  for (const int p : {100, 101}) map_.Find(p)->allocState = kAllocated;
  PageMapReader reader = NewReader();
  EXPECT_EQ(Count(reader, 1).matches, 1);  // a walk in two steps: no pages kept as read
  EXPECT_EQ(Count(reader, 3).matches, 3);
  Overwrite(0, testing::MakeDataPage(1, 64, 500, 0, 101));
  Overwrite(2, testing::MakeIamPage(66, 500, 0, {201}, {}));
  ASSERT_TRUE(CollectPageInfo(map_, reader, 3, 64, kAt));
  EXPECT_EQ(map_.At(100).expectedObjectId, 500);  // the link as the test saw it
  EXPECT_EQ(map_.At(100).objectIdSource, kFromPageLink);
  EXPECT_EQ(map_.At(101).expectedObjectId, 0);
  EXPECT_EQ(map_.At(201).expectedObjectId, 500);  // the IAM page read again, as it is now
  EXPECT_EQ(map_.At(200).expectedObjectId, 0);
  EXPECT_TRUE(host_.messageTexts().empty());
}

TEST_F(HeaderFactsTest, FactsOfAnotherMediumAreDropped) {
  PageMapReader reader = NewReader();
  reader.facts.ForMedium(MediumOf(access_, source_));
  EXPECT_EQ(Count(reader, 3).matches, 3);
  reader.facts.ForMedium(MediumOf(access_, testing::WholeDiskImageSource(dir_.File("disk.img"))));
  EXPECT_EQ(reader.facts.size(), 3);  // the same image, named again
  reader.facts.ForMedium(MediumOf(access_, testing::WholeDiskImageSource(dir_.File("other.img"))));
  EXPECT_EQ(reader.facts.size(), 0);
  EXPECT_EQ(reader.facts.Known(kAt, 64), nullptr);
}

}  // namespace
}  // namespace pagerake
