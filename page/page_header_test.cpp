#include "page/page_header.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "page/byte_order.h"
#include "tests/support/page_builder.h"

namespace pagerake {
namespace {

using testing::Page;
using testing::PageBuilder;
namespace off = header_offset;

struct HeaderCase {
  std::string name;
  std::function<void(uint8_t*)> mutate;
  bool accepted;
};

bool Plausible(const uint8_t* h) {
  int16_t fileId = -7;
  return IsPlausiblePage(h, PlausibleMode::kKeepFileId, fileId);
}

TEST(PageHeader, EncodeDecodeRoundTripKeepsEveryField) {
  PageHeader h;
  h.headerVersion = 1; h.pageType = 2; h.typeFlagBits = 4; h.level = 3; h.flagBits = 0x8201;
  h.indexId = 0x1234; h.prevPageId = 0xDEADBEEF; h.prevFileId = 3; h.minLen = 17;
  h.nextPageId = 0x01020304; h.nextFileId = 4; h.slotCount = 77; h.objectId = 0xCAFEBABE;
  h.freeCount = 8000; h.freeData = 500; h.pageId = 0x7FFFFFFF; h.fileId = 0xFFFE;
  h.reservedCount = 9; h.lsn = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}; h.xactReserved = 11;
  h.xdesId = {6, 5, 4, 3, 2, 1}; h.ghostRecordCount = 12; h.tornBits = 0x89ABCDEF;
  h.reservedZero[31] = 0x42;
  uint8_t raw[kPageHeaderSize] = {};
  EncodePageHeader(h, raw);
  EXPECT_EQ(LoadLe16(raw + off::kFlagBits), 0x8201);
  EXPECT_EQ(LoadLe32(raw + off::kPageId), 0x7FFFFFFFu);
  EXPECT_EQ(raw[95], 0x42);
  const PageHeader back = DecodePageHeader(raw);
  uint8_t again[kPageHeaderSize] = {};
  EncodePageHeader(back, again);
  EXPECT_EQ(0, std::memcmp(raw, again, kPageHeaderSize));
}

// Each limit of a plausible page at its boundary, on an otherwise valid data page.
TEST(IsPlausiblePage, AcceptsAndRejectsAtEachLimit) {
  auto set16 = [](int offset, uint16_t v) { return [=](uint8_t* h) { StoreLe16(h + offset, v); }; };
  auto set8 = [](int offset, uint8_t v) { return [=](uint8_t* h) { h[offset] = v; }; };
  const std::vector<HeaderCase> cases = {
      {"valid", [](uint8_t*) {}, true},
      {"freeData 95", set16(off::kFreeData, 95), false},
      {"freeData 96", set16(off::kFreeData, 96), true},
      {"freeData 8192", set16(off::kFreeData, 8192), true},
      {"freeData 8193", set16(off::kFreeData, 8193), false},
      {"freeCount 8096", set16(off::kFreeCount, 8096), true},
      {"freeCount 8097", set16(off::kFreeCount, 8097), false},
      {"slotCount 8096", set16(off::kSlotCount, 8096), true},
      {"slotCount 8097", set16(off::kSlotCount, 8097), false},
      {"reservedCount 8192", set16(off::kReservedCount, 8192), true},
      {"reservedCount 8193", set16(off::kReservedCount, 8193), false},
      {"ghostRecordCount 8096", set16(off::kGhostRecordCount, 8096), true},
      {"ghostRecordCount 8097", set16(off::kGhostRecordCount, 8097), false},
      {"version 0", set8(off::kHeaderVersion, 0), false},
      {"version 2", set8(off::kHeaderVersion, 2), false},
      {"pageType 0", set8(off::kPageType, 0), false},
      {"pageType 19", set8(off::kPageType, 19), true},
      {"pageType 20", set8(off::kPageType, 20), false},
      {"typeFlagBits 1", set8(off::kTypeFlagBits, 1), true},
      {"typeFlagBits 4", set8(off::kTypeFlagBits, 4), true},
      {"typeFlagBits 2", set8(off::kTypeFlagBits, 2), false},
      {"typeFlagBits 5", set8(off::kTypeFlagBits, 5), false},
      {"level 3 on a data page", set8(off::kLevel, 3), false},
      {"level 3 on an index page",
       [](uint8_t* h) { h[off::kPageType] = kPageTypeIndex; h[off::kLevel] = 3; }, true},
      {"pageId 0", [](uint8_t* h) { StoreLe32(h + off::kPageId, 0); }, false},
      {"pageId 1", [](uint8_t* h) { StoreLe32(h + off::kPageId, 1); }, true},
      {"pageId 2^31-1", [](uint8_t* h) { StoreLe32(h + off::kPageId, 0x7FFFFFFF); }, true},
      {"pageId 2^31", [](uint8_t* h) { StoreLe32(h + off::kPageId, 0x80000000u); }, false},
      {"flagBits are not looked at", set16(off::kFlagBits, 0xFFFF), true},
  };
  const Page base = PageBuilder().Id(5).Build();
  for (const HeaderCase& c : cases) {
    Page page = base;
    c.mutate(page.data());
    EXPECT_EQ(Plausible(page.data()), c.accepted) << c.name;
  }
}

// One non-zero byte anywhere in the reserved area fails every test.
TEST(PageHeaderTests, NonZeroReservedByteFailsEveryTest) {
  const Page data = PageBuilder().Id(5).Build();
  const Page fileHeader = testing::MakeFileHeaderPage(1, 100);
  const Page pfs = testing::MakePfsPage(1);
  for (int i = off::kReservedZero; i < kPageHeaderSize; ++i) {
    Page d = data, f = fileHeader, p = pfs;
    d[i] = f[i] = p[i] = 0x01;
    int16_t fileId = 1;
    EXPECT_FALSE(IsPlausiblePage(d.data(), PlausibleMode::kTakeFileId, fileId)) << i;
    EXPECT_FALSE(IsNextPage(d.data(), 5, 1)) << i;
    EXPECT_FALSE(IsFileHeaderPage(f.data(), fileId)) << i;
    EXPECT_FALSE(IsPfsPage(p.data(), 1)) << i;
  }
}

TEST(IsPlausiblePage, TakesFileIdOnlyInModeOneAndOnlyOnSuccess) {
  Page page = PageBuilder().Id(9, 0xFFFF).Build();  // file id -1 as a signed 16-bit value
  int16_t fileId = 3;
  EXPECT_TRUE(IsPlausiblePage(page.data(), PlausibleMode::kKeepFileId, fileId));
  EXPECT_EQ(fileId, 3);
  EXPECT_TRUE(IsPlausiblePage(page.data(), PlausibleMode::kTakeFileId, fileId));
  EXPECT_EQ(fileId, -1);

  page[off::kHeaderVersion] = 2;
  fileId = 3;
  EXPECT_FALSE(IsPlausiblePage(page.data(), PlausibleMode::kTakeFileId, fileId));
  EXPECT_EQ(fileId, 3);
}

TEST(IsFileHeaderPage, AcceptsPageZeroAndTakesItsFileId) {
  const Page page = testing::MakeFileHeaderPage(7, 2560);
  int16_t fileId = 0;
  EXPECT_TRUE(IsFileHeaderPage(page.data(), fileId));
  EXPECT_EQ(fileId, 7);
  // Page 0 never starts a run through the plausibility test.
  int16_t other = 0;
  EXPECT_FALSE(IsPlausiblePage(page.data(), PlausibleMode::kTakeFileId, other));
}

TEST(IsFileHeaderPage, LooksOnlyAtTheLowByteOfFlagBits) {
  struct FlagCase { uint16_t flags; bool accepted; };
  for (const FlagCase c : {FlagCase{0x0000, true}, FlagCase{0x0008, true},
                           FlagCase{0x0200, true}, FlagCase{0xFF08, true},
                           FlagCase{0x0001, false}, FlagCase{0x0010, false}}) {
    Page page = testing::MakeFileHeaderPage(1, 100);
    StoreLe16(page.data() + off::kFlagBits, c.flags);
    int16_t fileId = 0;
    EXPECT_EQ(IsFileHeaderPage(page.data(), fileId), c.accepted) << std::hex << c.flags;
  }
}

// Each field that the file header and PFS tests require, broken one at a time.
TEST(AllocationPageTests, RejectEachBrokenField) {
  const std::vector<HeaderCase> cases = {
      {"intact", [](uint8_t*) {}, true},
      {"index id", [](uint8_t* h) { h[off::kIndexId] = 1; }, false},
      {"prev page", [](uint8_t* h) { h[off::kPrevPageId + 3] = 1; }, false},
      {"minLen", [](uint8_t* h) { h[off::kMinLen] = 1; }, false},
      {"next file id", [](uint8_t* h) { h[off::kNextFileId + 1] = 1; }, false},
      {"two slots", [](uint8_t* h) { StoreLe16(h + off::kSlotCount, 2); }, false},
      {"object 98", [](uint8_t* h) { StoreLe32(h + off::kObjectId, 98); }, false},
      {"level 1", [](uint8_t* h) { h[off::kLevel] = 1; }, false},
      {"version 2", [](uint8_t* h) { h[off::kHeaderVersion] = 2; }, false},
      {"freeData 95", [](uint8_t* h) { StoreLe16(h + off::kFreeData, 95); }, false},
      {"freeCount 8097", [](uint8_t* h) { StoreLe16(h + off::kFreeCount, 8097); }, false},
      {"reservedCount 8193", [](uint8_t* h) { StoreLe16(h + off::kReservedCount, 8193); }, false},
      {"ghosts 8097", [](uint8_t* h) { StoreLe16(h + off::kGhostRecordCount, 8097); }, false},
      {"typeFlagBits ignored", [](uint8_t* h) { h[off::kTypeFlagBits] = 0x77; }, true},
  };
  for (const HeaderCase& c : cases) {
    Page fileHeader = testing::MakeFileHeaderPage(1, 100);
    Page pfs = testing::MakePfsPage(1);
    c.mutate(fileHeader.data());
    c.mutate(pfs.data());
    int16_t fileId = 1;
    EXPECT_EQ(IsFileHeaderPage(fileHeader.data(), fileId), c.accepted) << "file header: " << c.name;
    EXPECT_EQ(IsPfsPage(pfs.data(), 1), c.accepted) << "pfs: " << c.name;
  }
  // Each needs its own type and page id.
  Page fileHeader = testing::MakeFileHeaderPage(1, 100);
  StoreLe32(fileHeader.data() + off::kPageId, 1);
  int16_t fileId = 1;
  EXPECT_FALSE(IsFileHeaderPage(fileHeader.data(), fileId));
  Page pfs = testing::MakePfsPage(1);
  StoreLe32(pfs.data() + off::kPageId, 8088);  // a later PFS page does not open a file
  EXPECT_FALSE(IsPfsPage(pfs.data(), 1));
  EXPECT_FALSE(IsFileHeaderPage(testing::MakePfsPage(1).data(), fileId));
}

TEST(IsPfsPage, RequiresTheFileIdOfTheFileHeaderJustAccepted) {
  const Page fileHeader = testing::MakeFileHeaderPage(3, 100);
  const Page pfsSameFile = testing::MakePfsPage(3);
  const Page pfsOtherFile = testing::MakePfsPage(4);
  int16_t fileId = 0;
  ASSERT_TRUE(IsFileHeaderPage(fileHeader.data(), fileId));
  EXPECT_TRUE(IsPfsPage(pfsSameFile.data(), fileId));
  EXPECT_FALSE(IsPfsPage(pfsOtherFile.data(), fileId));
  // Both bytes of the file id count.
  EXPECT_FALSE(IsPfsPage(testing::MakePfsPage(0x0103).data(), 0x0003));
  EXPECT_TRUE(IsPfsPage(testing::MakePfsPage(0xFFFF).data(), -1));
  // Flag bits are not looked at on the PFS page.
  Page flagged = pfsSameFile;
  StoreLe16(flagged.data() + off::kFlagBits, 0x0001);
  EXPECT_TRUE(IsPfsPage(flagged.data(), 3));
}

TEST(IsNextPage, MatchesPageAndFileIdOfAPlausiblePage) {
  const Page page = PageBuilder().Id(41, 2).Build();
  EXPECT_TRUE(IsNextPage(page.data(), 41, 2));
  EXPECT_FALSE(IsNextPage(page.data(), 42, 2));
  EXPECT_FALSE(IsNextPage(page.data(), 41, 1));
  EXPECT_FALSE(IsNextPage(page.data(), 41, 0x0102));  // 16-bit compare, not the low byte only

  Page broken = page;
  StoreLe16(broken.data() + off::kFreeData, 95);
  EXPECT_FALSE(IsNextPage(broken.data(), 41, 2));
}

}  // namespace
}  // namespace pagerake
