// The file's size: from page 0 only where page 0 verifies, else from what was found, and never
// from a number nothing supports; real page 0s cut at a cluster boundary both ways.
#include "analysis/file_size.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "page/byte_order.h"
#include "page/page_content.h"
#include "page/page_header.h"
#include "tests/support/corpus.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/page_builder.h"

namespace pagerake {
namespace {

// Page 0 of a corpus file, as stored.
std::vector<uint8_t> CorpusPageZero(const char* name) {
  const std::vector<uint8_t> file = testing::ReadWholeFile((testing::CorpusDir() / name).string());
  return std::vector<uint8_t>(file.begin(), file.begin() + kPageSize);
}

TEST(FileSize, DecidesFromPageZeroOnlyWhereItVerifies) {
  const testing::Page checksummed = testing::MakeFileHeaderPage(1, 416);
  testing::Page garbled = checksummed;
  garbled[kPageSize - 700] ^= 0x5A;  // its tail read from elsewhere: the checksum fails
  struct Case {
    const char* what;
    const uint8_t* page0;
    std::optional<int32_t> recordedAsRead;
    bool verifiedByAnalysis;
    int64_t sourcePages, seenEnd, held, highestAllocated;
    int64_t pages;
    SizeSource source;
  };
  const Case cases[] = {
      {"verified as read", checksummed.data(), 416, true, 100000, 420, 300, 280, 416,
       SizeSource::kPageZero},
      {"verified once mended at its junction", checksummed.data(), 288, false, 100000, 420, 416,
       407, 416, SizeSource::kPageZeroMended},
      {"mended by the analysis already: the number as read still disagrees", checksummed.data(),
       288, true, 100000, 420, 416, 407, 416, SizeSource::kPageZero},
      {"a verified size below the pages held: the file never ends before them",
       checksummed.data(), 416, true, 100000, 500, 450, 300, 450, SizeSource::kPageZero},
      {"unverified, recording fewer pages than were found", garbled.data(), 288, false, 100000,
       416, 416, 407, 416, SizeSource::kRecoveredPages},
      {"unverified, recording 8 GiB on a 64 MiB volume", garbled.data(), 1 << 20, false, 8192,
       460, 460, 455, 460, SizeSource::kRecoveredPages},
      {"unverified, recording 2^31 - 1", garbled.data(), INT32_MAX, false, 8192, 460, 460, -1,
       460, SizeSource::kRecoveredPages},
      {"unverified, a number the volume can hold and above what was found", garbled.data(), 480,
       false, 8192, 470, 470, 466, 480, SizeSource::kUnverifiedPageZero},
      {"no page 0 written at all", nullptr, 300, false, 8192, 200, 200, 150, 300,
       SizeSource::kUnverifiedPageZero},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileSizeFacts facts;
    facts.recordedPages = c.recordedAsRead;
    facts.asReadPages = c.recordedAsRead;
    facts.verified = c.verifiedByAnalysis;
    facts.sourcePages = c.sourcePages;
    facts.seenEnd = c.seenEnd;
    EXPECT_EQ(DecideFileSize(facts, c.page0, c.held, c.highestAllocated), c.pages);
    EXPECT_EQ(facts.pages, c.pages);
    EXPECT_EQ(facts.source, c.source);
    const bool disagrees = c.recordedAsRead && *c.recordedAsRead != c.pages;
    EXPECT_EQ(facts.recordedDisagrees.has_value(), disagrees);
  }
}

TEST(FileSize, TheAnalysisMapsNoMoreThanTheScanOrTheMediumSupports) {
  FileSizeFacts facts;
  facts.sourcePages = 8192;
  facts.seenEnd = 460;
  facts.recordedPages = INT32_MAX;
  EXPECT_EQ(ProvisionalFileSize(facts), 460);  // a garbled size decides no memory
  facts.recordedPages = 288;
  EXPECT_EQ(ProvisionalFileSize(facts), 460);  // the scan saw pages further on
  facts.recordedPages = 600;
  EXPECT_EQ(ProvisionalFileSize(facts), 600);  // the free pages at the end of a file
  facts.verified = true;
  facts.recordedPages = 0;
  EXPECT_EQ(ProvisionalFileSize(facts), 0);  // a verified page 0 is taken at its word
}

// Real page 0s, cut where a 512-byte cluster boundary falls, their rest read from the page that
// stood behind the cluster on the disk: the size they then seem to record is never taken.
TEST(FileSize, RealPageZeroCutBothWaysIsNotTrusted) {
  PAGERAKE_REQUIRE_CORPUS();
  for (const char* name : {"r01.mdf", "r03.mdf", "r06.mdf", "r11.mdf"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> page0 = CorpusPageZero(name);
    ASSERT_TRUE(PageTrusted(page0.data()));
    const std::vector<uint8_t> other = CorpusPageZero("r10.mdf");
    for (const int cut : {512, 3584, 7680}) {
      // Its head here, another file's page 0 after the cut (the same kind of page, so that
      // its records still look like records), and the other way round.
      std::vector<uint8_t> head = page0;
      std::memcpy(head.data() + cut, other.data() + cut, kPageSize - cut);
      std::vector<uint8_t> tail = other;
      std::memcpy(tail.data() + cut, page0.data() + cut, kPageSize - cut);
      EXPECT_FALSE(PageTrusted(head.data())) << cut;
      EXPECT_FALSE(PageTrusted(tail.data())) << cut;
    }
    EXPECT_EQ(RecordedSizeOf(page0.data()),
              static_cast<int32_t>(testing::ReadWholeFile(
                                       (testing::CorpusDir() / name).string()).size() / kPageSize));
  }
}

}  // namespace
}  // namespace pagerake
