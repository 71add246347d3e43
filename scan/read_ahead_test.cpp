// ReadAhead: windows taken in order hold the source's sectors up to the limit; a window that was
// not planned or could not be read is not answered; destruction stops the thread mid-way.
#include "scan/read_ahead.h"

#include <vector>

#include <gtest/gtest.h>

#include "page/page_header.h"
#include "scan/scan_window.h"
#include "tests/support/run_cli.h"
#include "tests/support/sector_image.h"

namespace pagerake {
namespace {

using testing::HasStamp;

constexpr int64_t kW = kScanWindowSectors;

class ReadAheadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("disk.img");
    ASSERT_TRUE(testing::WriteStampedImage(path_, kImageSectors));
    ASSERT_TRUE(testing::EvictFromCache(path_));  // windows the cache holds are not read ahead
    source_.sourceChosen = true;
    source_.devicePath = path_;
    source_.sourceSectors = source_.sourceEnd = kImageSectors;
  }

  // Every sector of [start, end) of `data` (which starts at `start`) holds its stamp.
  static bool Stamped(const uint8_t* data, int64_t start, int64_t end) {
    for (int64_t s = start; s < end; ++s) {
      if (!HasStamp(data + (s - start) * kSectorSize, s)) return false;
    }
    return true;
  }

  static constexpr int64_t kImageSectors = 5 * kW + 1000;
  testing::TempDir dir_;
  std::string path_;
  DataSource source_;
};

TEST_F(ReadAheadTest, WindowsTakenInOrderHoldTheSourceUpToTheLimit) {
  const int64_t limit = 4 * kW + 8 + 500;  // the last window is cut, at an unaligned sector
  ReadAhead ahead(source_, limit);
  ahead.Start(8);
  for (int64_t start = 8; start < limit; start += kW) {
    int64_t validEnd = -1;
    const uint8_t* data = ahead.Take(start, validEnd);
    ASSERT_NE(data, nullptr) << start;
    EXPECT_EQ(validEnd, std::min(start + kW, limit));
    EXPECT_TRUE(Stamped(data, start, validEnd)) << start;
  }
  int64_t validEnd = -1;
  EXPECT_EQ(ahead.Take(limit, validEnd), nullptr);  // nothing is read at or past the limit
}

TEST_F(ReadAheadTest, UnplannedWindowIsNotAnsweredButTheOnesAfterItAre) {
  ReadAhead ahead(source_, kImageSectors);
  int64_t validEnd = -1;
  EXPECT_EQ(ahead.Take(0, validEnd), nullptr);  // not started
  ahead.Start(0);
  EXPECT_EQ(ahead.Take(100, validEnd), nullptr);  // the walk jumped off the plan
  const uint8_t* data = ahead.Take(100 + kW, validEnd);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(validEnd, 100 + 2 * kW);
  EXPECT_TRUE(Stamped(data, 100 + kW, validEnd));
  // Skipping planned windows frees them; the one taken is still the right one.
  data = ahead.Take(100 + 3 * kW, validEnd);
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(Stamped(data, 100 + 3 * kW, validEnd));
}

TEST_F(ReadAheadTest, WindowRunningPastTheFilesEndIsNotAnswered) {
  source_.sourceEnd = 0;  // no known end: the read itself comes back short
  ReadAhead ahead(source_, kImageSectors + kW);
  ahead.Start(4 * kW);
  int64_t validEnd = -1;
  EXPECT_NE(ahead.Take(4 * kW, validEnd), nullptr);
  EXPECT_EQ(ahead.Take(5 * kW, validEnd), nullptr);  // the file ends 1000 sectors into it
  EXPECT_EQ(validEnd, 5 * kW);
}

TEST_F(ReadAheadTest, WindowsTheCacheHoldsAreLeftToTheWalk) {
  {
    DataSource reader = source_;  // the second window into the cache
    std::vector<uint8_t> buffer(static_cast<size_t>(kW) * kSectorSize);
    ASSERT_TRUE(ReadSectors(reader, kW, static_cast<int32_t>(kW), buffer.data()));
  }
  ReadAhead ahead(source_, kImageSectors);
  ahead.Start(kW);
  int64_t validEnd = -1;
  EXPECT_EQ(ahead.Take(kW, validEnd), nullptr);
  EXPECT_EQ(validEnd, kW);
  // Far from it (the system's own read-ahead may have cached the start of the next window).
  const uint8_t* data = ahead.Take(3 * kW, validEnd);
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(Stamped(data, 3 * kW, validEnd));
}

TEST_F(ReadAheadTest, DestroyingStopsTheThreadWhileItReadsAhead) {
  for (int round = 0; round < 20; ++round) {
    ReadAhead ahead(source_, kImageSectors);
    ahead.Start(0);
    if (round % 2 == 1) {
      int64_t validEnd = -1;
      ASSERT_NE(ahead.Take(0, validEnd), nullptr);
    }
  }  // each destructor joins; a thread left running or reading freed memory fails under TSan/ASan
}

// A walk through windows read ahead sees exactly what one through chunk reads sees: the same
// headers, the same held runs, the same unreadable sectors past the source's end.
TEST_F(ReadAheadTest, ScanWindowAnswersAsWithoutReadAhead) {
  struct Case {
    int64_t sourceEnd;
    int64_t edtend;
  };
  for (const Case c : {Case{kImageSectors, kImageSectors}, Case{4 * kW + 77, kImageSectors},
                       Case{kImageSectors, 3 * kW + 5}}) {
    SCOPED_TRACE(c.sourceEnd);
    ASSERT_TRUE(testing::EvictFromCache(path_));
    source_.sourceEnd = c.sourceEnd;
    const DataSource plainSource = source_;
    ScanWindow ahead(source_, c.edtend, true), plain(plainSource, c.edtend, false);
    ASSERT_TRUE(ahead.Place(8));
    ASSERT_TRUE(plain.Place(8));
    for (int64_t sector = 8; sector < c.edtend; sector += 997) {
      const int64_t remaining = c.edtend - sector;
      const int64_t size = remaining < kW ? remaining : kW;
      const uint8_t* a = ahead.ReadPageHeader(sector, true, size);
      const uint8_t* b = plain.ReadPageHeader(sector, true, size);
      ASSERT_EQ(a == nullptr, b == nullptr) << sector;
      ASSERT_EQ(a == nullptr, sector >= c.sourceEnd) << sector;
      if (a != nullptr) {
        ASSERT_TRUE(HasStamp(a, sector) && HasStamp(b, sector)) << sector;
      }
      const uint8_t *da = nullptr, *db = nullptr;
      int64_t fa = 0, ea = 0, fb = 0, eb = 0;
      ASSERT_EQ(ahead.Held(sector, da, fa, ea), plain.Held(sector, db, fb, eb)) << sector;
      EXPECT_EQ(fa, fb);
      EXPECT_EQ(ea, eb);
    }
  }
}

}  // namespace
}  // namespace pagerake
