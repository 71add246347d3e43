#include "source/chunked_read.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace pagerake {
namespace {

constexpr uint8_t kSentinel = 0xEE;

// A source in memory whose sectors are stamped with their number, with the faults a real device
// shows: a bad sector that fails every read reaching it, transfers cut short, and a bad sector
// that fails only the first time.
class FakeSource final : public PositionedReader {
 public:
  explicit FakeSource(int64_t sectors) : bytes_(static_cast<size_t>(sectors) * kSectorSize) {
    for (size_t i = 0; i < bytes_.size(); ++i)
      bytes_[i] = static_cast<uint8_t>((i / kSectorSize) * 7 + i % 251);
  }

  int64_t badSector = -1;    // reads reaching it deliver what lies in front of it, then fail
  bool badOnlyOnce = false;  // the bad sector reads fine after its first failure
  size_t maxTransfer = 0;    // a read delivers at most this many bytes (0: no limit)

  struct Call {
    const uint8_t* dst;
    int64_t offset;
    size_t bytes;
  };
  std::vector<Call> calls;

  int64_t ReadAt(void* dst, size_t bytes, int64_t offset) override {
    calls.push_back({static_cast<const uint8_t*>(dst), offset, bytes});
    const int64_t size = static_cast<int64_t>(bytes_.size());
    if (offset >= size) return 0;
    int64_t n = std::min<int64_t>(static_cast<int64_t>(bytes), size - offset);
    if (maxTransfer > 0) n = std::min<int64_t>(n, static_cast<int64_t>(maxTransfer));
    if (badSector >= 0) {
      const int64_t badByte = badSector * kSectorSize;
      if (offset >= badByte && offset < badByte + kSectorSize) {
        if (badOnlyOnce) badSector = -1;
        return -1;
      }
      if (offset < badByte) n = std::min(n, badByte - offset);
    }
    std::memcpy(dst, bytes_.data() + offset, static_cast<size_t>(n));
    return n;
  }

  int64_t sectors() const { return static_cast<int64_t>(bytes_.size() / kSectorSize); }
  const uint8_t* SectorData(int64_t sector) const { return bytes_.data() + sector * kSectorSize; }

 private:
  std::vector<uint8_t> bytes_;
};

bool SectorMatches(const std::vector<uint8_t>& buf, int slot, const FakeSource& src,
                   int64_t sector) {
  return sector < src.sectors() &&
         std::memcmp(buf.data() + static_cast<size_t>(slot) * kSectorSize,
                     src.SectorData(sector), kSectorSize) == 0;
}

bool SectorUntouched(const std::vector<uint8_t>& buf, int slot) {
  for (int i = 0; i < kSectorSize; ++i)
    if (buf[static_cast<size_t>(slot) * kSectorSize + i] != kSentinel) return false;
  return true;
}

// How many leading sectors of the buffer hold the source's data; all the rest must be untouched.
int ArrivedSectors(const std::vector<uint8_t>& buf, int count, const FakeSource& src,
                   int64_t first) {
  int arrived = 0;
  while (arrived < count && SectorMatches(buf, arrived, src, first + arrived)) ++arrived;
  for (int slot = arrived; slot < count; ++slot)
    if (!SectorUntouched(buf, slot)) return -1;
  return arrived;
}

TEST(ChunkedReadTest, SuccessfulReadGoesStraightIntoTheCallersBufferInOneRead) {
  FakeSource src(1000);
  TransferBuffer transfer;
  std::vector<uint8_t> buf(300 * kSectorSize, kSentinel);
  ASSERT_TRUE(ReadInChunks(src, 100 * kSectorSize, buf.size(), 1000 * kSectorSize, buf.data(),
                           transfer));
  EXPECT_EQ(ArrivedSectors(buf, 300, src, 100), 300);
  ASSERT_EQ(src.calls.size(), 1u);
  EXPECT_EQ(src.calls[0].dst, buf.data());
  EXPECT_EQ(src.calls[0].bytes, buf.size());
}

// The source ends (its known size) inside a 300-sector read at sector 0: the read is made of
// chunks of 128, 128 and 44 sectors, and only the whole chunks in front of the end arrive.
TEST(ChunkedReadTest, ThreeHundredSectorsSucceedOrFailAs128And128And44) {
  struct Case {
    int64_t sourceSectors;
    int arrived;
    bool ok;
  };
  const Case cases[] = {
      {300, 300, true}, {299, 256, false}, {257, 256, false}, {256, 256, false},
      {255, 128, false}, {129, 128, false}, {128, 128, false}, {127, 0, false}, {1, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sourceSectors);
    FakeSource src(c.sourceSectors);
    TransferBuffer transfer;
    std::vector<uint8_t> buf(300 * kSectorSize, kSentinel);
    EXPECT_EQ(ReadInChunks(src, 0, buf.size(), c.sourceSectors * kSectorSize, buf.data(),
                           transfer),
              c.ok);
    EXPECT_EQ(ArrivedSectors(buf, 300, src, 0), c.arrived);
  }
}

// The same when the platform does not tell the size: the end shows up as a short read.
TEST(ChunkedReadTest, UnknownEndFoundByShortReadKeepsWholeChunksOnly) {
  for (const int64_t sectors : {299, 200, 128, 100}) {
    SCOPED_TRACE(sectors);
    FakeSource src(sectors);
    TransferBuffer transfer;
    std::vector<uint8_t> buf(300 * kSectorSize, kSentinel);
    EXPECT_FALSE(ReadInChunks(src, 0, buf.size(), -1, buf.data(), transfer));
    const int whole = static_cast<int>(sectors / kChunkSectors * kChunkSectors);
    for (int slot = 0; slot < whole; ++slot) ASSERT_TRUE(SectorMatches(buf, slot, src, slot));
    // Behind the failing chunk nothing was touched.
    const int failingChunkEnd = std::min(300, whole + kChunkSectors);
    for (int slot = failingChunkEnd; slot < 300; ++slot) ASSERT_TRUE(SectorUntouched(buf, slot));
  }
}

// A bad sector inside the source: the chunks in front of its chunk arrive, nothing behind its
// chunk is touched, and the bad sector itself never reaches the buffer.
TEST(ChunkedReadTest, BadSectorFailsItsChunkAndLeavesLaterChunksUntouched) {
  for (const int bad : {0, 5, 127, 128, 200, 256, 299}) {
    SCOPED_TRACE(bad);
    FakeSource src(1000);
    src.badSector = bad;
    TransferBuffer transfer;
    std::vector<uint8_t> buf(300 * kSectorSize, kSentinel);
    EXPECT_FALSE(ReadInChunks(src, 0, buf.size(), 1000 * kSectorSize, buf.data(), transfer));
    const int chunkStart = bad / kChunkSectors * kChunkSectors;
    for (int slot = 0; slot < chunkStart; ++slot) ASSERT_TRUE(SectorMatches(buf, slot, src, slot));
    for (int slot = bad; slot < 300; ++slot) ASSERT_TRUE(SectorUntouched(buf, slot));
  }
}

TEST(ChunkedReadTest, TransfersCutShortAreContinued) {
  FakeSource src(1000);
  src.maxTransfer = 100 * kSectorSize + 17;  // not even a whole sector
  TransferBuffer transfer;
  std::vector<uint8_t> buf(300 * kSectorSize, kSentinel);
  ASSERT_TRUE(ReadInChunks(src, 10 * kSectorSize, buf.size(), 1000 * kSectorSize, buf.data(),
                           transfer));
  EXPECT_EQ(ArrivedSectors(buf, 300, src, 10), 300);
}

TEST(ChunkedReadTest, ErrorThatClearsOnRetryStillDeliversEverything) {
  FakeSource src(1000);
  src.badSector = 140;
  src.badOnlyOnce = true;
  TransferBuffer transfer;
  std::vector<uint8_t> buf(300 * kSectorSize, kSentinel);
  ASSERT_TRUE(ReadInChunks(src, 0, buf.size(), 1000 * kSectorSize, buf.data(), transfer));
  EXPECT_EQ(ArrivedSectors(buf, 300, src, 0), 300);
}

}  // namespace
}  // namespace pagerake
