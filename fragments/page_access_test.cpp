#include "fragments/page_access.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "fragments/content_file_writer.h"
#include "fragments/scan_info_codec.h"
#include "page/byte_order.h"
#include "tests/support/disk_image.h"
#include "tests/support/mdf_builder.h"
#include "tests/support/run_cli.h"
#include "tests/support/scripted_host.h"

namespace pagerake {
namespace {

using testing::DiskImage;
using testing::ScriptedHost;
using testing::TempDir;
using Page = std::array<uint8_t, kPageSize>;

constexpr uint32_t kKey = 0x2468ACE1;

// An image of random bytes with a content file saved from it for `table`.
struct SavedScan {
  TempDir dir;
  DiskImage image{4096, 3};
  DataSource source;
  FragmentTable table;
  std::string contentPath;

  explicit SavedScan(FragmentTable t, int16_t sectorsPerCluster = 8) : table(std::move(t)) {
    const std::string imagePath = dir.File("disk.img");
    EXPECT_TRUE(image.Write(imagePath));
    source = testing::WholeDiskImageSource(imagePath);
    contentPath = dir.File("spcontent");
    std::ofstream out(contentPath, std::ios::binary);
    ScriptedHost host;
    EXPECT_EQ(WriteFragmentContent(out, table, source, kKey, sectorsPerCluster, host),
              ContentWriteStatus::kDone);
  }
  const uint8_t* SourceSector(int64_t sector) { return image.bytes().data() + sector * 512; }
};

FragmentTable TwoFragments(int32_t pages1, int64_t fsec1, int32_t pages2, int64_t fsec2) {
  FragmentTable table;
  table.Append(MakeFragmentRecord(1, fsec1, pages1, 100, " ", 1));
  table.Append(MakeFragmentRecord(2, fsec2, pages2, 300, " ", 1));
  return table;
}

std::vector<uint8_t> FileBytesAt(const std::string& path, int64_t offset, size_t count) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(offset);
  std::vector<uint8_t> bytes(count);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
  return bytes;
}

TEST(PageAccess, LiveModeReadsTheSourceAtAbsoluteSectors) {
  SavedScan saved(TwoFragments(2, 100, 3, 400));
  PageAccess pages;
  ASSERT_TRUE(pages.LiveSourceMode());
  Page page{};
  ASSERT_TRUE(pages.ReadFragmentSectors(saved.source, 400, 16, 16, page.data()));
  EXPECT_EQ(0, std::memcmp(page.data(), saved.SourceSector(416), kPageSize));
}

TEST(PageAccess, SecondFragmentOfTwoThenThreePagesStartsAt24064) {
  SavedScan saved(TwoFragments(2, 100, 3, 400));
  EXPECT_EQ(ExpectedContentFileSize(saved.table), 7680 + 2 * 8192 + 7680 + 3 * 8192 + 6);
  const auto lead = FileBytesAt(saved.contentPath, 24064, 7680);
  EXPECT_EQ(0, std::memcmp(lead.data(), saved.SourceSector(400 - 15), 7680));
}

TEST(PageAccess, ContentModeFindsSecondFragmentAt146432AndUnscrambles) {
  // Fragments of 128 KB and 64 KB: page 0 of the second lies at 7680 + 16 × 8192 + 7680.
  SavedScan saved(TwoFragments(16, 100, 8, 1000));
  PageAccess pages;
  const ContentOpenResult opened = pages.OpenContentFile(saved.contentPath, saved.table);
  ASSERT_EQ(opened.status, ContentOpenStatus::kOpened);
  EXPECT_FALSE(pages.LiveSourceMode());
  EXPECT_EQ(pages.ContentFileKey(), kKey);
  EXPECT_EQ(opened.sectorsPerCluster, 8);

  auto stored = FileBytesAt(saved.contentPath, 146432, kPageSize);
  UnscramblePage(stored.data(), kKey);
  EXPECT_EQ(0, std::memcmp(stored.data(), saved.SourceSector(1000), kPageSize));

  // Reads come from the file: the source may be gone.
  saved.source.devicePath = saved.dir.File("gone.img");
  Page page{};
  for (int p = 0; p < 8; ++p) {
    ASSERT_TRUE(pages.ReadFragmentSectors(saved.source, 1000, 16 * p, 16, page.data()));
    EXPECT_EQ(0, std::memcmp(page.data(), saved.SourceSector(1000 + 16 * p), kPageSize)) << p;
  }
  ASSERT_TRUE(pages.ReadFragmentSectors(saved.source, 100, 16 * 15, 16, page.data()));
  EXPECT_EQ(0, std::memcmp(page.data(), saved.SourceSector(100 + 16 * 15), kPageSize));
}

TEST(PageAccess, LeadSectorsComeBackAsStored) {
  SavedScan saved(TwoFragments(16, 100, 8, 1000));
  PageAccess pages;
  ASSERT_EQ(pages.OpenContentFile(saved.contentPath, saved.table).status,
            ContentOpenStatus::kOpened);
  std::vector<uint8_t> lead(7680);
  ASSERT_TRUE(pages.ReadFragmentSectors(saved.source, 1000, -15, 15, lead.data()));
  EXPECT_EQ(0, std::memcmp(lead.data(), saved.SourceSector(985), 7680));
  std::vector<uint8_t> viaBlock(7680);
  ASSERT_TRUE(pages.ReadLeadBlock(saved.source, 1000, viaBlock.data()));
  EXPECT_EQ(lead, viaBlock);
}

TEST(PageAccess, UnknownStartSectorFailsWithBufferUntouched) {
  SavedScan saved(TwoFragments(2, 100, 3, 400));
  PageAccess pages;
  ASSERT_EQ(pages.OpenContentFile(saved.contentPath, saved.table).status,
            ContentOpenStatus::kOpened);
  Page page;
  page.fill(0xA5);
  EXPECT_FALSE(pages.ReadFragmentSectors(saved.source, 101, 0, 16, page.data()));
  for (uint8_t b : page) ASSERT_EQ(b, 0xA5);
  // Past the fragment's data and the trailer: a short read fails too.
  EXPECT_FALSE(pages.ReadFragmentSectors(saved.source, 400, 16 * 3, 16, page.data()));
  EXPECT_FALSE(pages.ReadFragmentSectors(saved.source, 100, -16, 1, page.data()));
}

TEST(PageAccess, FirstLineWithAStartSectorWins) {
  FragmentTable table = TwoFragments(2, 100, 3, 400);
  table.Append(MakeFragmentRecord(3, 100, 1, 900, " ", 1));  // same start sector again
  SavedScan saved(table);
  PageAccess pages;
  ASSERT_EQ(pages.OpenContentFile(saved.contentPath, saved.table).status,
            ContentOpenStatus::kOpened);
  Page page{};
  ASSERT_TRUE(pages.ReadFragmentSectors(saved.source, 100, 16, 16, page.data()));
  EXPECT_EQ(0, std::memcmp(page.data(), saved.SourceSector(116), kPageSize));
}

TEST(FragmentOffsetIndex, FindsEveryStartSectorAmongManyAndNothingElse) {
  FragmentTable table;
  for (int32_t i = 0; i < 5000; ++i) {
    // Neighbouring and far-apart start sectors, 1 to 3 pages each, beyond 2^32 too.
    const int64_t fsec = (i % 2 == 0 ? 16 * int64_t{i} : (int64_t{1} << 33) + 4096 * int64_t{i});
    table.Append(MakeFragmentRecord(i + 1, fsec, 1 + i % 3, 0, " ", 1));
  }
  FragmentOffsetIndex index;
  index.Build(table);
  int64_t offset = 0;
  for (const FragmentRecord& r : table) {
    ASSERT_EQ(index.Find(r.fsec), offset + 7680) << r.fsec;
    ASSERT_EQ(index.Find(r.fsec + 1), -1) << r.fsec;
    offset += 7680 + int64_t{r.Pages()} * 8192;
  }
  EXPECT_EQ(index.Find(-16), -1);
  EXPECT_EQ(FragmentOffsetIndex().Find(0), -1);
}

TEST(PageAccess, RefusesContentFileOfTheWrongSizeAndStaysAsItWas) {
  SavedScan saved(TwoFragments(2, 100, 3, 400));
  // Cut short, as a SAVE that failed on a read leaves it: no trailer.
  const std::string cut = saved.dir.File("cut");
  std::filesystem::copy_file(saved.contentPath, cut);
  std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 6);
  PageAccess pages;
  ContentOpenResult r = pages.OpenContentFile(cut, saved.table);
  EXPECT_EQ(r.status, ContentOpenStatus::kSizeMismatch);
  EXPECT_EQ(r.expectedSize, 7680 + 2 * 8192 + 7680 + 3 * 8192 + 6);
  EXPECT_EQ(r.actualSize, r.expectedSize - 6);
  EXPECT_TRUE(pages.LiveSourceMode());
  // Saved with another table.
  FragmentTable other = saved.table;
  other.Append(MakeFragmentRecord(3, 2000, 1, 0, " ", 1));
  EXPECT_EQ(pages.OpenContentFile(saved.contentPath, other).status,
            ContentOpenStatus::kSizeMismatch);
  // Missing.
  EXPECT_EQ(pages.OpenContentFile(saved.dir.File("none"), saved.table).status,
            ContentOpenStatus::kCannotOpen);
  EXPECT_TRUE(pages.LiveSourceMode());
  // A refused file leaves an opened one in use.
  ASSERT_EQ(pages.OpenContentFile(saved.contentPath, saved.table).status,
            ContentOpenStatus::kOpened);
  EXPECT_EQ(pages.OpenContentFile(cut, saved.table).status, ContentOpenStatus::kSizeMismatch);
  EXPECT_EQ(pages.ContentFilePath(), saved.contentPath);
  Page page{};
  EXPECT_TRUE(pages.ReadFragmentSectors(saved.source, 400, 0, 16, page.data()));
}

TEST(ReadLeadSectors, SectorsBeforeTheStartOfTheSourceAreZeros) {
  SavedScan saved(TwoFragments(1, 5, 1, 400));
  std::vector<uint8_t> lead(7680, 0xEE);
  ASSERT_TRUE(ReadLeadSectors(saved.source, 5, lead.data()));
  for (int i = 0; i < 10 * 512; ++i) ASSERT_EQ(lead[i], 0) << i;
  EXPECT_EQ(0, std::memcmp(lead.data() + 10 * 512, saved.SourceSector(0), 5 * 512));
  ASSERT_TRUE(ReadLeadSectors(saved.source, 0, lead.data()));
  for (uint8_t b : lead) ASSERT_EQ(b, 0);
}

}  // namespace
}  // namespace pagerake
