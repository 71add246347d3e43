#include "page/page_content.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "page/byte_order.h"
#include "tests/support/page_builder.h"

namespace pagerake {
namespace {

using testing::Page;
using testing::PageBuilder;

// A data page with varied bytes everywhere, so that sector ends differ.
Page BusyPage(PageProtection protection) {
  PageBuilder b;
  b.Id(77).Protect(protection);
  std::vector<uint8_t> record(7000);
  for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<uint8_t>(i * 13 + 5);
  b.AddRecord(record);
  return b.Build();
}

// A page whose first record (at offset `first`) holds `bytes`; slotCount 1.
Page PageWithRecordAt(int first, const std::vector<uint8_t>& bytes) {
  Page page{};
  StoreLe16(page.data() + header_offset::kSlotCount, 1);
  if (!bytes.empty()) std::memcpy(page.data() + first, bytes.data(), bytes.size());
  StoreLe16(page.data() + 8190, static_cast<uint16_t>(first));
  return page;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(VerifyPage, ZeroPageVerifiesAndRestoreLeavesItAlone) {
  Page page{};
  EXPECT_TRUE(VerifyPage(page.data()));
  RestoreTornBits(page.data());
  EXPECT_TRUE(IsZeroPage(page.data()));
}

TEST(VerifyPage, UnprotectedOrUnknownModeIsNotVerified) {
  for (uint8_t mode : {0, 3, 4, 0x0F}) {
    Page page = BusyPage(PageProtection::kNone);
    page[5] = static_cast<uint8_t>((page[5] & 0xF0) | mode);
    EXPECT_FALSE(VerifyPage(page.data())) << int(mode);
  }
}

TEST(VerifyPage, TornBitsIgnoreSectorZeroAndCheckSectorsOneToFifteen) {
  Page page = BusyPage(PageProtection::kTornBits);
  ASSERT_TRUE(VerifyPage(page.data()));
  page[511] ^= 3;  // last byte of sector 0 is not tested
  EXPECT_TRUE(VerifyPage(page.data()));
  for (int s = 1; s < kSectorsPerPage; ++s) {
    Page torn = page;
    torn[512 * s + 511] ^= 1;
    EXPECT_FALSE(VerifyPage(torn.data())) << "sector " << s;
  }
  Page highBits = page;
  highBits[512 * 7 + 511] ^= 0xFC;  // only the two low bits are compared
  EXPECT_TRUE(VerifyPage(highBits.data()));
}

TEST(VerifyPage, ChecksumCoversEveryByteButTheStoredWord) {
  Page page = BusyPage(PageProtection::kChecksum);
  ASSERT_EQ(page[5] & 0x0F, 2);
  ASSERT_TRUE(VerifyPage(page.data()));
  for (int offset : {0, 1, 4, 59, 64, 95, 96, 511, 512, 4000, 8191}) {
    Page changed = page;
    changed[offset] ^= 0x10;
    EXPECT_FALSE(VerifyPage(changed.data())) << "offset " << offset;
  }
  // Word 15 is the stored checksum itself: the sum over the page does not include it.
  Page other = page;
  StoreLe32(other.data() + 60, 0x12345678);
  EXPECT_EQ(ComputePageChecksum(other.data()), ComputePageChecksum(page.data()));
  EXPECT_FALSE(VerifyPage(other.data()));
}

TEST(VerifyPage, ChecksumRotatesEachSectorByItsOwnAmount) {
  // Swapping two equal-length words between sectors changes the sum because each sector's words
  // rotate by a different amount; a plain XOR would not notice.
  Page page = BusyPage(PageProtection::kChecksum);
  Page swapped = page;
  std::memcpy(swapped.data() + 1024, page.data() + 2052, 4);
  std::memcpy(swapped.data() + 2052, page.data() + 1024, 4);
  ASSERT_NE(0, std::memcmp(page.data() + 1024, page.data() + 2052, 4));
  EXPECT_FALSE(VerifyPage(swapped.data()));
}

TEST(RestoreTornBits, PutsBackTheOriginalSectorEnds) {
  PageBuilder b;
  b.Id(12);
  std::vector<uint8_t> record(8000);
  for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<uint8_t>(i * 29 + 3);
  b.AddRecord(record);
  const Page original = b.Build();
  Page protectedPage = original;
  testing::ApplyProtection(protectedPage, PageProtection::kTornBits);
  ASSERT_NE(original, protectedPage);
  ASSERT_TRUE(VerifyPage(protectedPage.data()));

  Page restored = protectedPage;
  RestoreTornBits(restored.data());
  for (int s = 1; s < kSectorsPerPage; ++s) {
    EXPECT_EQ(restored[512 * s + 511], original[512 * s + 511]) << "sector " << s;
  }
  // Only the sector ends changed.
  for (int i = 96; i < kPageSize; ++i) {
    if (i % 512 != 511) {
      ASSERT_EQ(restored[i], protectedPage[i]) << i;
    }
  }
}

TEST(RestoreTornBits, LeavesPagesWithoutTornProtectionUnchanged) {
  const Page checksum = BusyPage(PageProtection::kChecksum);
  Page copy = checksum;
  RestoreTornBits(copy.data());
  EXPECT_EQ(copy, checksum);

  // Flag set but a torn pattern of 0 or 3 is not a torn-bit page.
  for (uint32_t pattern : {0u, 3u}) {
    Page page = BusyPage(PageProtection::kTornBits);
    StoreLe32(page.data() + 60, (LoadLe32(page.data() + 60) & ~3u) | pattern);
    Page before = page;
    RestoreTornBits(page.data());
    EXPECT_EQ(page, before) << pattern;
  }
}

TEST(CopyPageBytes, CopiesInsideThePageOnly) {
  const Page page = BusyPage(PageProtection::kNone);
  uint8_t out[8] = {};
  ASSERT_TRUE(CopyPageBytes(page.data(), 32, 4, out));
  EXPECT_EQ(LoadLe32(out), 77u);
  EXPECT_TRUE(CopyPageBytes(page.data(), 8190, 2, out));
  EXPECT_TRUE(CopyPageBytes(page.data(), 8192, 0, out));
  std::memset(out, 0xAB, sizeof out);
  EXPECT_FALSE(CopyPageBytes(page.data(), 8190, 4, out));
  EXPECT_FALSE(CopyPageBytes(page.data(), -1, 2, out));
  EXPECT_FALSE(CopyPageBytes(page.data(), 0, -2, out));
  EXPECT_FALSE(CopyPageBytes(page.data(), 0x7FFFFFF0, 0x20, out));
  EXPECT_EQ(out[0], 0xAB);
}

TEST(ReadFileSizePages, ReadsTheSizeInFrontOfTheFirstFFRun) {
  const Page header = testing::MakeFileHeaderPage(1, 2560);
  EXPECT_EQ(ReadFileSizePages(header.data()), 2560);

  const std::vector<uint8_t> ff = {0xFF, 0xFF, 0xFF, 0xFF};
  Page negative = PageWithRecordAt(100, Concat({{1, 2, 3}, {0x00, 0x00, 0x00, 0x80}, ff}));
  EXPECT_EQ(ReadFileSizePages(negative.data()), INT32_MIN);
  Page none = PageWithRecordAt(100, {1, 2, 3, 4, 5, 6, 0xFF, 0xFF, 0xFF, 7});
  EXPECT_EQ(ReadFileSizePages(none.data()), std::nullopt);
}

TEST(ReadFileSizePages, StopsBeforeTheSlotArray) {
  // Four FF bytes ending at 8189 are found; ending at 8190 they would overlap the slot.
  Page last = PageWithRecordAt(8000, {});
  std::memset(last.data() + 8186, 0xFF, 4);
  StoreLe32(last.data() + 8182, 321);
  StoreLe16(last.data() + 22, 1);
  EXPECT_EQ(ReadFileSizePages(last.data()), 321);

  // First record at 0x1EFF: the slot's low byte is FF, so FF bytes at 8187..8189 would make four
  // with it. The slot is not part of the record.
  Page overlap = PageWithRecordAt(0x1EFF, {});
  std::memset(overlap.data() + 8187, 0xFF, 3);
  ASSERT_EQ(overlap[8190], 0xFF);
  EXPECT_EQ(ReadFileSizePages(overlap.data()), std::nullopt);
}

TEST(FirstRecordOffset, RejectsNegativeAndSlotArrayOffsets) {
  struct Case { uint16_t first; uint16_t slots; bool usable; };
  for (const Case c : {Case{96, 1, true}, Case{8189, 1, true}, Case{8190, 1, false},
                       Case{0x8000, 1, false}, Case{0xFFFF, 1, false}, Case{8100, 50, false},
                       Case{8091, 50, true}, Case{200, 8096, false}, Case{0, 1, true}}) {
    Page page{};
    StoreLe16(page.data() + 8190, c.first);
    StoreLe16(page.data() + 22, c.slots);
    EXPECT_EQ(FirstRecordOffset(page.data()).has_value(), c.usable)
        << c.first << " with " << c.slots << " slots";
    EXPECT_FALSE(ReadFileSizePages(page.data()).has_value());
    EXPECT_FALSE(ReadRecordedFileName(page.data()).has_value());
  }
}

TEST(ReadFileSizePages, NeverReadsBeforeThePage) {
  Page page = PageWithRecordAt(0, {0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(ReadFileSizePages(page.data()), std::nullopt);
}

TEST(ReadRecordedFileName, ReadsThePathBetweenDoubleSpaceAndSuffix) {
  const Page page = testing::MakeNamePage(1, "D:\\DATA\\SALES.MDF");
  EXPECT_EQ(ReadRecordedFileName(page.data()), "D:\\DATA\\SALES.mdf");
}

TEST(ReadRecordedFileName, HandlesCaseNulsControlsAndNonAscii) {
  using testing::Utf16Le;
  const auto name = [](const std::vector<uint8_t>& record) {
    Page page = PageWithRecordAt(120, record);
    return ReadRecordedFileName(page.data());
  };
  EXPECT_EQ(name(Concat({{0x30, 0}, Utf16Le("x  C:\\a\\b.mDf")})), "C:\\a\\b.mdf");
  EXPECT_EQ(name(Concat({Utf16Le("    C:\\Users\\Ян\\db.mdf")})), "C:\\Users\\Ян\\db.mdf");
  // The nearest double space wins; spaces inside the text are kept.
  EXPECT_EQ(name(Concat({Utf16Le("  first  E:\\My Data\\x.MDF")})), "E:\\My Data\\x.mdf");
  // A NUL ends the text early.
  EXPECT_EQ(name(Concat({Utf16Le("  C:\\db"), {0, 0}, Utf16Le("junk.mdf")})), "C:\\db.mdf");
  // Control characters and spaces at either end are removed.
  EXPECT_EQ(name(Concat({Utf16Le("  "), {0x09, 0}, Utf16Le("C:\\t.mdf")})), "C:\\t.mdf");
  // An astral character survives as one UTF-8 sequence.
  EXPECT_EQ(name(Concat({Utf16Le("  C:\\\xF0\x9F\x98\x80.mdf")})), "C:\\\xF0\x9F\x98\x80.mdf");
  // A lone surrogate is replaced, not passed on as broken UTF-8.
  EXPECT_EQ(name(Concat({Utf16Le("  C:\\"), {0x00, 0xD8}, Utf16Le(".mdf")})), "C:\\\xEF\xBF\xBD.mdf");
}

TEST(ReadRecordedFileName, FailsWithoutDoubleSpaceOrSuffix) {
  using testing::Utf16Le;
  Page noSpaces = PageWithRecordAt(120, Utf16Le("D:\\DATA\\SALES.MDF"));
  EXPECT_EQ(ReadRecordedFileName(noSpaces.data()), std::nullopt);
  Page single = PageWithRecordAt(120, Utf16Le(" D:\\DATA\\SALES.MDF"));
  EXPECT_EQ(ReadRecordedFileName(single.data()), std::nullopt);
  Page noSuffix = PageWithRecordAt(120, Utf16Le("  D:\\DATA\\SALES.LDF"));
  EXPECT_EQ(ReadRecordedFileName(noSuffix.data()), std::nullopt);
  // A double space before the first record is not looked at.
  Page before = PageWithRecordAt(124, Utf16Le("D:\\x.mdf"));
  std::vector<uint8_t> spaces = Utf16Le("  ");
  std::memcpy(before.data() + 120, spaces.data(), spaces.size());
  EXPECT_EQ(ReadRecordedFileName(before.data()), std::nullopt);
  // ...but one that starts exactly at the first record is.
  Page at = PageWithRecordAt(120, Utf16Le("  D:\\x.mdf"));
  EXPECT_EQ(ReadRecordedFileName(at.data()), "D:\\x.mdf");
}

TEST(ReadRecordedFileName, SuffixAtTheVeryEndOfTheRecordArea) {
  using testing::Utf16Le;
  // ".mdf" occupies 8182..8189, the last place before the slot.
  Page page{};
  StoreLe16(page.data() + 22, 1);
  const std::vector<uint8_t> text = Utf16Le("  Z:\\q.mdf");
  const int start = 8190 - static_cast<int>(text.size());
  std::memcpy(page.data() + start, text.data(), text.size());
  StoreLe16(page.data() + 8190, static_cast<uint16_t>(start));
  EXPECT_EQ(ReadRecordedFileName(page.data()), "Z:\\q.mdf");
}

TEST(ReadRecordedFileName, KeepsAtMost4001Characters) {
  using testing::Utf16Le;
  const std::string longText(4020, 'a');
  Page page = PageWithRecordAt(96, Utf16Le("  " + longText + ".mdf"));
  const auto name = ReadRecordedFileName(page.data());
  ASSERT_TRUE(name.has_value());
  EXPECT_EQ(*name, std::string(4001, 'a') + ".mdf");
}

}  // namespace
}  // namespace pagerake
