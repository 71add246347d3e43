#include "database/allocation_pages.h"

#include <vector>

#include <gtest/gtest.h>

#include "database/page_relations.h"
#include "page/byte_order.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

using Page = std::vector<uint8_t>;

Page Blank() { return Page(kPageSize, 0); }
void SetSlot(Page& p, int slot, int offset) { StoreLe16(&p[kPageSize - 2 - 2 * slot], offset); }
void SetRecordLength(Page& p, int record, int length) { StoreLe16(&p[record + 2], length); }

TEST(AllocationPages, PfsAndGamPositions) {
  struct Case {
    int64_t page;
    bool pfs, gam, sgam;
    int64_t pfsFor;
  } cases[] = {
      {0, false, false, false, 1},         {1, true, false, false, 1},
      {2, false, true, false, 1},          {3, false, false, true, 1},
      {8087, false, false, false, 1},      {8088, true, false, false, 8088},
      {16176, true, false, false, 16176},  {16177, false, false, false, 16176},
      {511234, false, true, false, 509544}, {511235, false, false, true, 509544},
      {-8088, false, false, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    EXPECT_EQ(IsPfsPosition(c.page), c.pfs);
    EXPECT_EQ(IsGamPosition(c.page), c.gam);
    EXPECT_EQ(IsSgamPosition(c.page), c.sgam);
    if (c.page >= 0) {
      EXPECT_EQ(PfsPageFor(c.page), c.pfsFor);
    }
  }
}

TEST(AllocationPages, SlotOffsetsCountOnlyWhereRecordsMayStart) {
  for (const auto& [offset, counts] :
       std::vector<std::pair<int, bool>>{{95, false}, {96, true}, {8095, true}, {8096, false}}) {
    Page p = Blank();
    SetSlot(p, 0, offset);
    EXPECT_EQ(AllocationRecordAt(p.data(), 0).has_value(), counts) << offset;
  }
}

TEST(AllocationPages, PfsRecordLengthIsSignedAndBoundedByThePage) {
  struct Case {
    int record, length, limit, bytes;
  } cases[] = {
      {96, 8092, 8088, 8088},  // a whole PFS record
      {96, 8092, 3996, 3996},  // the caller's limit
      {96, -4, 8088, 0},       // a negative length is no record
      {8000, 8092, 8088, 188}, // never past the page
      {96, 3, 8088, 0},        // shorter than its own header
  };
  for (const Case& c : cases) {
    Page p = Blank();
    SetRecordLength(p, c.record, c.length);
    p[c.record + 4] = 0x44;
    const PfsBytes pfs = DecodePfsRecord(p.data(), c.record, c.limit, 8088);
    EXPECT_EQ(pfs.count, c.bytes) << c.record << " " << c.length;
    EXPECT_EQ(pfs.firstPage, 8088);
    if (c.bytes > 0) {
      EXPECT_EQ(pfs.bytes[0], 0x44);
    }
  }
  EXPECT_EQ(DecodePfsRecord(Blank().data(), 96, 8088, 1).firstPage, 0);
}

TEST(AllocationPages, GamBitsAreLeastSignificantFirstOnePerExtent) {
  Page p = Blank();
  SetSlot(p, 1, 190);
  SetRecordLength(p, 190, 4 + 2);
  p[194] = 0x05;  // extents 0 and 2 (pages 0 and 16)
  p[195] = 0x80;  // extent 15 (page 120)
  const std::optional<ExtentBitmap> map = DecodeExtentBitmapPage(p.data(), 2);
  ASSERT_TRUE(map);
  for (const auto& [page, bit] : std::vector<std::pair<int64_t, std::optional<bool>>>{
           {0, true}, {7, true}, {8, false}, {16, true}, {119, false}, {127, true}, {128, {}}}) {
    EXPECT_EQ(map->BitFor(page), bit) << page;
  }
}

TEST(AllocationPages, IamPageGivesRangeSinglesAndExtents) {
  Page p = Blank();
  SetSlot(p, 0, 96);
  SetSlot(p, 1, 190);
  StoreLe32(&p[96 + 40], 511232);
  StoreLe32(&p[96 + 46], 77);
  StoreLe32(&p[96 + 46 + 6 * 7], 99);
  SetRecordLength(p, 190, 4 + 2);
  p[194] = 0x02;  // extent at range + 8
  p[195] = 0x01;  // extent at range + 64
  const std::optional<IamPageView> iam = DecodeIamPage(p.data());
  ASSERT_TRUE(iam);
  EXPECT_EQ(iam->rangeStart, 511232);
  EXPECT_EQ(iam->singles[0], 77);
  EXPECT_EQ(iam->singles[7], 99);
  std::vector<int64_t> extents;
  ForEachIamExtent(*iam, [&](int64_t x) { extents.push_back(x); });
  EXPECT_EQ(extents, (std::vector<int64_t>{511240, 511296}));
  SetSlot(p, 0, 40);  // inside the header: no IAM record
  EXPECT_FALSE(DecodeIamPage(p.data()));
}

TEST(PageRelations, IndexChildSitsAtTheEndOfTheFixedPart) {
  Page p = Blank();
  StoreLe16(&p[header_offset::kSlotCount], 2);
  StoreLe16(&p[header_offset::kMinLen], 11);  // status, 4-byte key, 6-byte child
  SetSlot(p, 0, 96);
  SetSlot(p, 1, 107);
  StoreLe32(&p[96 + 5], 1234);
  StoreLe16(&p[96 + 9], 1);
  StoreLe32(&p[107 + 5], 55);
  StoreLe16(&p[107 + 9], 3);
  const auto first = IndexChildAt(p.data(), 0);
  const auto second = IndexChildAt(p.data(), 1);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->pageId, 1234u);
  EXPECT_EQ(first->fileId, 1);
  EXPECT_EQ(second->pageId, 55u);
  EXPECT_EQ(second->fileId, 3);
  EXPECT_FALSE(IndexChildAt(p.data(), 2));  // past the slot count
  SetSlot(p, 1, 8095);
  StoreLe16(&p[header_offset::kMinLen], 200);  // the pointer would leave the page
  EXPECT_FALSE(IndexChildAt(p.data(), 1));
  StoreLe16(&p[header_offset::kMinLen], 6);  // no room for a status byte and a child
  EXPECT_FALSE(IndexChildAt(p.data(), 0));
}

}  // namespace
}  // namespace pagerake
