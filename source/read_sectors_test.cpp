// ReadSectors on image files: the shortening rule for each kind of source, reads past the end,
// the chunk outcome of a failed read, and sector numbers beyond 32 bits.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "source/data_source.h"
#include "tests/support/run_cli.h"
#include "tests/support/sector_image.h"

namespace pagerake {
namespace {

using testing::HasStamp;
using testing::TempDir;

constexpr int64_t kImageSectors = 1000;
constexpr uint8_t kSentinel = 0xEE;

struct Buffer {
  explicit Buffer(int sectors) : bytes(static_cast<size_t>(sectors) * 512, kSentinel) {}
  uint8_t* slot(int i) { return bytes.data() + static_cast<size_t>(i) * 512; }
  bool Untouched(int first, int end) const {
    for (size_t i = static_cast<size_t>(first) * 512; i < static_cast<size_t>(end) * 512; ++i)
      if (bytes[i] != kSentinel) return false;
    return true;
  }
  std::vector<uint8_t> bytes;
};

// An image file of 1000 stamped sectors and a source over it of the kind under test.
class ReadSectorsTest : public ::testing::TestWithParam<bool /*isPartition*/> {
 protected:
  void SetUp() override {
    path_ = dir_.File("disk.img");
    ASSERT_TRUE(testing::WriteStampedImage(path_, kImageSectors, 100));
    source_.sourceChosen = true;
    source_.devicePath = path_;
    source_.isPartition = GetParam();
    // A partition stores the number of its last sector, the other kinds their sector count.
    source_.sourceSectors = GetParam() ? kImageSectors - 1 : kImageSectors;
    source_.sourceEnd = source_.sourceSectors;
  }

  TempDir dir_;
  std::string path_;
  DataSource source_;
};

TEST_P(ReadSectorsTest, ShortensAtTheLastSectorAndFailsPastIt) {
  struct Case {
    int64_t sector;
    int32_t count;
    bool ok;
    int arrived;  // leading sectors that must hold their stamps; the rest must be untouched
  };
  const Case cases[] = {
      {0, 1, true, 1},
      {984, 16, true, 16},    // ends exactly at the last sector
      {985, 16, true, 15},    // shortened to 15; the 16th slot keeps what it held
      {999, 16, true, 1},     // only the last sector is left
      {999, 1, true, 1},
      {1000, 1, false, 0},    // starts past the last sector: fails, buffer untouched
      {1000, 16, false, 0},
      {5000, 300, false, 0},
      {700, 300, true, 300},  // a 300-sector read that ends at the last sector
      {800, 300, true, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "sector " << c.sector << " count " << c.count);
    Buffer buf(c.count);
    EXPECT_EQ(ReadSectors(source_, c.sector, c.count, buf.bytes.data()), c.ok);
    for (int i = 0; i < c.arrived; ++i) ASSERT_TRUE(HasStamp(buf.slot(i), c.sector + i)) << i;
    EXPECT_TRUE(buf.Untouched(c.arrived, c.count));
  }
}

// An end beyond the file (a FAT32 volume's end includes its data start): nothing is shortened
// at the file's end, so the read runs into it and fails there, chunk by chunk.
TEST_P(ReadSectorsTest, ReadPastThePhysicalEndKeepsOnlyTheWholeChunksInFront) {
  source_.sourceEnd = kImageSectors + 5000;
  struct Case {
    int64_t sector;
    int arrived;
  };
  // The file's sectors run out at 1000; the chunks of a 300-sector read are 128, 128 and 44.
  const Case cases[] = {
      {701, 256},  // the 44-sector chunk reaches one sector past the end
      {745, 128},  // the second chunk reaches one sector past the end
      {800, 128},  // 200 sectors are there: one whole chunk
      {873, 0},    // the first chunk ends one sector past the end
      {1000, 0},   // nothing is there
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sector);
    Buffer buf(300);
    EXPECT_FALSE(ReadSectors(source_, c.sector, 300, buf.bytes.data()));
    for (int i = 0; i < c.arrived; ++i) ASSERT_TRUE(HasStamp(buf.slot(i), c.sector + i)) << i;
    EXPECT_TRUE(buf.Untouched(c.arrived, 300));
  }
}

TEST_P(ReadSectorsTest, NothingIsShortenedWhenTheEndIsZeroOrNegative) {
  for (const int64_t end : {int64_t{0}, int64_t{-7}}) {
    SCOPED_TRACE(end);
    source_.sourceEnd = end;
    Buffer inside(16);
    EXPECT_TRUE(ReadSectors(source_, 984, 16, inside.bytes.data()));
    EXPECT_TRUE(HasStamp(inside.slot(15), 999));
    // Not shortened to 15: the read runs past the file and its one chunk fails.
    Buffer past(16);
    EXPECT_FALSE(ReadSectors(source_, 985, 16, past.bytes.data()));
    EXPECT_TRUE(past.Untouched(0, 16));
  }
}

TEST_P(ReadSectorsTest, CountsOutsideOneTo65535AndImpossibleSectorsFail) {
  source_.sourceEnd = 0;  // nothing shortened, so the raw layer sees every request
  struct Case {
    int64_t sector;
    int32_t count;
  };
  const Case cases[] = {
      {0, 0}, {0, -1}, {0, 65536}, {0, INT32_MAX}, {-1, 1}, {-15, 15}, {INT64_MIN, 1},
      {INT64_MAX / 512, 1}, {INT64_MAX, 16},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "sector " << c.sector << " count " << c.count);
    Buffer buf(16);
    EXPECT_FALSE(ReadSectors(source_, c.sector, c.count, buf.bytes.data()));
    EXPECT_TRUE(buf.Untouched(0, 16));
  }
}

TEST_P(ReadSectorsTest, LargestCountIsAccepted) {
  ASSERT_TRUE(testing::WriteStampedImage(path_, 70000));
  source_.sourceEnd = GetParam() ? 69999 : 70000;
  std::vector<uint8_t> buf(65535 * 512);
  ASSERT_TRUE(ReadSectors(source_, 4000, 65535, buf.data()));
  EXPECT_TRUE(HasStamp(buf.data(), 4000));
  EXPECT_TRUE(HasStamp(buf.data() + 65534 * 512, 4000 + 65534));
}

INSTANTIATE_TEST_SUITE_P(ImageAndPartition, ReadSectorsTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Partition" : "Image"; });

TEST(ReadSectorsSourceTest, NoSourceChosenFails) {
  const DataSource none;
  Buffer buf(16);
  EXPECT_FALSE(ReadSectors(none, 0, 16, buf.bytes.data()));
  EXPECT_TRUE(buf.Untouched(0, 16));
  DataSource partition;
  partition.isPartition = true;
  EXPECT_FALSE(ReadSectors(partition, 0, 1, buf.bytes.data()));
}

// A partition of more than 2^32 sectors (a sparse file of 2 TiB and a little more): sectors at
// and above 2^32 are read where they are, not wrapped to 32 bits.
TEST(ReadSectorsSourceTest, PartitionSectorsBeyond32BitsAreRead) {
  TempDir dir;
  const int64_t k2To32 = int64_t{1} << 32;
  const int64_t sectors = k2To32 + 64;
  const std::string path = dir.File("big-partition.img");
  if (!testing::WriteSparseImage(path, sectors, {0, k2To32 - 1, k2To32, k2To32 + 63}))
    GTEST_SKIP() << "the temp folder's file system holds no sparse file of 2 TiB";
  DataSource source;
  source.sourceChosen = true;
  source.isPartition = true;
  source.devicePath = path;
  source.sourceSectors = sectors - 1;
  source.sourceEnd = sectors - 1;

  Buffer across(2);
  ASSERT_TRUE(ReadSectors(source, k2To32 - 1, 2, across.bytes.data()));
  EXPECT_TRUE(HasStamp(across.slot(0), k2To32 - 1));
  EXPECT_TRUE(HasStamp(across.slot(1), k2To32));

  Buffer tail(16);  // starts 4 sectors before the end: shortened to 4
  ASSERT_TRUE(ReadSectors(source, k2To32 + 60, 16, tail.bytes.data()));
  EXPECT_TRUE(HasStamp(tail.slot(3), k2To32 + 63));
  EXPECT_TRUE(tail.Untouched(4, 16));

  Buffer low(1);  // sector 0 is still sector 0
  ASSERT_TRUE(ReadSectors(source, 0, 1, low.bytes.data()));
  EXPECT_TRUE(HasStamp(low.slot(0), 0));
}

}  // namespace
}  // namespace pagerake
