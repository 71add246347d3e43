// ReadSectorsBulk against ReadSectors: the same outcome and bytes whether or not a request suits
// a direct transfer, at the source's end, past the file's end, and on a file system that refuses
// direct transfers; and the direct layer's own alignment rule.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "source/data_source.h"
#include "source/raw_disk.h"
#include "tests/support/run_cli.h"
#include "tests/support/sector_image.h"

namespace pagerake {
namespace {

using testing::TempDir;

constexpr int64_t kImageSectors = 3000;
constexpr size_t kBufferBytes = 4200 * 512;  // the largest request plus room to misalign it

// A 4096-aligned buffer filled with `fill`.
struct AlignedBuffer {
  explicit AlignedBuffer(uint8_t fill)
      : data(static_cast<uint8_t*>(::operator new[](kBufferBytes, std::align_val_t{4096}))) {
    std::fill(data, data + kBufferBytes, fill);
  }
  ~AlignedBuffer() { ::operator delete[](data, std::align_val_t{4096}); }
  uint8_t* data;
};

DataSource ImageSource(const std::string& path, int64_t sourceEnd) {
  DataSource s;
  s.sourceChosen = true;
  s.devicePath = path;
  s.sourceSectors = kImageSectors;
  s.sourceEnd = sourceEnd;
  return s;
}

struct Case {
  const char* what;
  int64_t sector;
  int32_t count;
  size_t bufferOffset;  // from the aligned start of the buffer
  int64_t sourceEnd;
};

// Both reads start from buffers of different fill bytes, so the bytes they leave untouched
// differ: only the sectors the outcome says arrived are compared, and they must be the image's.
void ExpectSameAsReadSectors(const std::string& path, const Case& c) {
  SCOPED_TRACE(c.what);
  const DataSource bulkSource = ImageSource(path, c.sourceEnd);
  const DataSource plainSource = ImageSource(path, c.sourceEnd);
  AlignedBuffer bulk(0xAA), plain(0x55);
  const bool bulkOk = ReadSectorsBulk(bulkSource, c.sector, c.count, bulk.data + c.bufferOffset);
  const bool plainOk = ReadSectors(plainSource, c.sector, c.count, plain.data + c.bufferOffset);
  ASSERT_EQ(bulkOk, plainOk);
  // What arrived: with success, the run up to the image's (or the source's) end; on failure,
  // the whole 128-sector chunks in front of the image's end.
  int64_t end = c.sector + c.count;
  if (c.sourceEnd > 0) end = std::min(end, c.sourceEnd);
  end = std::min(end, bulkOk ? kImageSectors : kImageSectors / 128 * 128);
  for (int64_t s = c.sector; s < end; ++s) {
    const size_t at = c.bufferOffset + static_cast<size_t>(s - c.sector) * 512;
    ASSERT_TRUE(testing::HasStamp(bulk.data + at, s)) << "sector " << s;
    ASSERT_TRUE(testing::HasStamp(plain.data + at, s)) << "sector " << s;
  }
  if (bulkOk) {  // a successful read leaves the part behind the shortened run alone
    const size_t behind = c.bufferOffset + static_cast<size_t>(end - c.sector) * 512;
    EXPECT_EQ(bulk.data[behind], 0xAA);
  }
}

const Case kCases[] = {
    {"aligned", 8, 2048, 0, kImageSectors},
    {"unaligned position", 1, 2048, 0, kImageSectors},
    {"unaligned length", 0, 2047, 0, kImageSectors},
    {"unaligned buffer", 0, 2048, 512, kImageSectors},
    {"shortened to an aligned run at the end", 2000, 4096, 0, kImageSectors - 1000 + 8},
    {"shortened to an unaligned run at the end", 2048, 4096, 0, kImageSectors - 3},
    {"starting past the end", 3000, 8, 0, kImageSectors},
    {"direct transfer cut short by the file's end", 2048, 2048, 0, 0},
    {"count out of range", 0, 0, 0, kImageSectors},
};

TEST(ReadSectorsBulkTest, SameOutcomeAndBytesAsReadSectors) {
  TempDir dir;
  const std::string path = dir.File("disk.img");
  ASSERT_TRUE(testing::WriteStampedImage(path, kImageSectors));
  for (const Case& c : kCases) ExpectSameAsReadSectors(path, c);
}

// tmpfs refuses direct transfers on older kernels and takes them on newer ones: the same either way.
TEST(ReadSectorsBulkTest, SameOnTmpfs) {
  struct stat st {};
  if (::stat("/dev/shm", &st) != 0 || !S_ISDIR(st.st_mode)) GTEST_SKIP() << "no /dev/shm";
  const std::string path = "/dev/shm/pagerake-bulk-" + std::to_string(::getpid()) + ".img";
  ASSERT_TRUE(testing::WriteStampedImage(path, kImageSectors));
  for (const Case& c : kCases) ExpectSameAsReadSectors(path, c);
  ::unlink(path.c_str());
}

TEST(ReadDirectTest, ReadsOnlyAlignedRequestsWhole) {
  TempDir dir;
  const std::string path = dir.File("disk.img");
  ASSERT_TRUE(testing::WriteStampedImage(path, kImageSectors));
  DeviceFile probe;
  if (!probe.OpenDirect(path)) GTEST_SKIP() << "the temporary folder refuses direct transfers";
  ASSERT_GT(probe.directAlign(), 0u);
  ASSERT_LE(probe.directAlign(), kBulkReadAlign);
  RawDiskAccess raw;
  AlignedBuffer buffer(0);
  EXPECT_TRUE(raw.ReadDirect(path, 8, 2048, buffer.data));
  EXPECT_TRUE(testing::HasStamp(buffer.data, 8));
  EXPECT_TRUE(testing::HasStamp(buffer.data + 2047 * 512, 2055));
  // Refused: misaligned buffer, position or length (when 512 is not enough), and a short read.
  EXPECT_FALSE(raw.ReadDirect(path, 0, 8, buffer.data + 1));
  if (probe.directAlign() > 512) {
    EXPECT_FALSE(raw.ReadDirect(path, 1, 8, buffer.data));
    EXPECT_FALSE(raw.ReadDirect(path, 0, 9, buffer.data));
  }
  EXPECT_FALSE(raw.ReadDirect(path, 2048, 2048, buffer.data));
  EXPECT_FALSE(raw.ReadDirect(dir.File("missing.img"), 0, 8, buffer.data));
}

}  // namespace
}  // namespace pagerake
