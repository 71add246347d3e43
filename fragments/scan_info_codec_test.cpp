#include "fragments/scan_info_codec.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "page/byte_order.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr std::string_view kLine = "1|0|32|16|0|2| |Y|1|";

TEST(EncodeLine, KnownAnswerWithFixedStartValue) {
  ASSERT_EQ(kLine.size(), 20u);
  EXPECT_EQ(EncodeLine(kLine, kScanInfoKey, 0x5A), "5ADA017AAC8BEC3F3B2BF375A7925521CC70A782AA");
  EXPECT_EQ(EncodeLine(kLine, kScanInfoKey, 0xFF), "FF608AF1343334E653D30465B7A24531FC003732FA");
}

TEST(EncodeLine, RoundTripsWhateverTheStartValue) {
  for (int start = 0; start < 256; ++start) {
    const std::string encoded = EncodeLine(kLine, kScanInfoKey, static_cast<uint8_t>(start));
    EXPECT_EQ(encoded.size(), 42u);
    EXPECT_EQ(DecodeLine(encoded, kScanInfoKey), std::string(kLine)) << start;
  }
}

TEST(EncodeLine, RoundTripsEveryByteButZeroIncludingUtf8Memos) {
  // Every byte value a line can hold (1 to 254; UTF-8 text never holds 255), after every
  // possible previous value.
  std::mt19937 rng(7);
  for (int trial = 0; trial < 200; ++trial) {
    std::string text;
    for (int i = 0; i < 64; ++i) text += static_cast<char>(1 + rng() % 254);
    const std::string encoded = EncodeLine(text, kScanInfoKey, static_cast<uint8_t>(rng()));
    EXPECT_EQ(DecodeLine(encoded, kScanInfoKey), text);
  }
  const std::string memo = "7|2048|2560|256|0|32|D:\\数据\\销售.mdf(20.00 MB)|Y|1|";
  EXPECT_EQ(DecodeLine(EncodeLine(memo, kScanInfoKey, 200), kScanInfoKey), memo);
}

TEST(DecodeLine, AcceptsLowerCaseDigits) {
  EXPECT_EQ(DecodeLine("5ada017aac8bec3f3b2bf375a7925521cc70a782aa", kScanInfoKey),
            std::string(kLine));
}

TEST(DecodeLine, RefusesWhatIsNotAnEncodedLine) {
  struct Case {
    std::string text;
    LineFault fault;
  };
  for (const Case& c : std::vector<Case>{{"", LineFault::kEmpty},
                                         {"5ADA0", LineFault::kOddLength},
                                         {"5ADA0G", LineFault::kNotHex},
                                         {"5A DA0", LineFault::kNotHex},
                                         {"\xEF\xBB\xBF" "5A", LineFault::kOddLength}}) {
    LineFault fault = LineFault::kNone;
    EXPECT_FALSE(DecodeLine(c.text, kScanInfoKey, &fault).has_value()) << c.text;
    EXPECT_EQ(fault, c.fault) << c.text;
  }
  // A start value alone is a valid, empty line.
  EXPECT_EQ(DecodeLine("5A", kScanInfoKey), "");
}

TEST(ScramblePage, ZeroPageBecomesCopiesOfTheKey) {
  std::array<uint8_t, kPageSize> page{};
  const uint32_t key = 0x12345678;
  ScramblePage(page.data(), key);
  for (int offset = 0; offset < kPageSize; offset += 4) {
    ASSERT_EQ(LoadLe32(page.data() + offset), key) << offset;
  }
}

TEST(ScramblePage, RotatesRightThenXorsAndUnscrambleUndoesIt) {
  std::array<uint8_t, kPageSize> page{};
  std::mt19937 rng(11);
  for (auto& b : page) b = static_cast<uint8_t>(rng());
  StoreLe32(page.data(), 0x00000003);
  const auto original = page;
  const uint32_t key = 2147483646;
  ScramblePage(page.data(), key);
  EXPECT_EQ(LoadLe32(page.data()), 0x80000001u ^ key);
  EXPECT_NE(page, original);
  UnscramblePage(page.data(), key);
  EXPECT_EQ(page, original);
}

}  // namespace
}  // namespace pagerake
