// Collation ids as real databases record them and the code pages they mean; each code page table
// checked on a letter of its own script; UTF-8 and UTF-16 edge cases.
#include "database/code_pages.h"

#include <gtest/gtest.h>

#include <vector>

namespace pagerake {
namespace {

TEST(CodePageOfCollation, SortOrdersAndLocaleOrdinals) {
  const struct {
    uint32_t collationId;
    std::optional<int> codePage;
    const char* what;
  } cases[] = {
      // SQL collations: the sort order id in the top byte decides.
      {0x3400D008, 1252, "SQL_Latin1_General_CP1_CI_AS (the corpus's usual one)"},
      {0x3600D008, 1252, "SQL_Latin1_General_CP1_CI_AI"},
      {0x1E00D008, 437, "SQL_Latin1_General_CP437_BIN"},
      {0x2A00D008, 850, "SQL_Latin1_General_CP850_CI_AS"},
      {0x3C00D008, 850, "SQL_Scandinavian_CP850_CI_AS"},
      {0x5800D013, 1250, "SQL_Polish_CP1250_CI_AS"},
      {0x6A00D015, 1251, "SQL_Latin1_General_CP1251_CI_AS"},
      {0x7200D007, 1253, "SQL_Latin1_General_CP1253_CI_AS"},
      {0x8200D01A, 1254, "SQL_Latin1_General_CP1254_CI_AS"},
      {0x8A00D00C, 1255, "SQL_Latin1_General_CP1255_CI_AS"},
      {0x9200D001, 1256, "SQL_Latin1_General_CP1256_CI_AS"},
      {0xA000D01F, 1257, "SQL_Lithuanian_CP1257_CI_AS"},
      {0xB900D008, 1252, "SQL_SwedishStd_Pref_CP1_CI_AS"},
      {0xD900D008, 1252, "SQL_EBCDIC297_CP1_CS_AS"},
      {0x0100D008, std::nullopt, "sort order 1 names no code page"},
      {0xFF00D008, std::nullopt, "sort order 255 names no code page"},
      // Windows collations: the locale ordinal in the low 12 bits decides, whatever the flags.
      {0x0000D008, 1252, "Latin1_General_CI_AS"},
      {0x0000F008, 1252, "Latin1_General_CI_AI (corpus)"},
      {0x00001008, 1252, "Latin1_General_CI_AS_KS_WS (the catalog's)"},
      {0x00010008, 1252, "Latin1_General_BIN"},
      {0x00020008, 1252, "Latin1_General_BIN2"},
      {0x0020D008, 1252, "Latin1_General_CI_AS with version bits set"},
      {0x0000D003, 950, "Chinese_Taiwan_Stroke_CI_AS (corpus)"},
      {0x0000D007, 1253, "Greek_CI_AS"},
      {0x0000D014, 1250, "Romanian_CI_AS (corpus, Romanian text)"},
      {0x0000D015, 1251, "Cyrillic_General_CI_AS (corpus)"},
      {0x0000D010, 932, "Japanese_CI_AS"},
      {0x0000D019, 874, "Thai_CI_AS"},
      {0x0000D020, 1258, "Vietnamese_CI_AS"},
      {0x0000D024, 936, "Chinese_PRC_CI_AS"},
      {0x0000D029, 1252, "German_PhoneBook_CI_AS"},
      {0x0000D054, std::nullopt, "Nepali: Unicode only"},
      {0x0000D022, std::nullopt, "Hindi: Unicode only"},
      {0x0000D055, std::nullopt, "past the last known ordinal"},
      {0x0004D008, 65001, "Latin1_General_CI_AS with the UTF-8 flag"},
      {0, std::nullopt, "no collation"},
  };
  for (const auto& c : cases) EXPECT_EQ(CodePageOfCollation(c.collationId), c.codePage) << c.what;
}

std::optional<std::string> Convert(int codePage, std::vector<uint8_t> bytes) {
  return CodePageToUtf8(codePage, bytes);
}

TEST(CodePageToUtf8, EachSingleByteTableOnItsOwnScript) {
  const struct {
    int codePage;
    uint8_t byte;
    const char* utf8;
  } cases[] = {
      {1252, 0x80, "\xE2\x82\xAC"},      // euro sign
      {1252, 0xE9, "\xC3\xA9"},          // e acute
      {1250, 0x8A, "\xC5\xA0"},          // S caron
      {1250, 0xBA, "\xC5\x9F"},          // s cedilla
      {1251, 0xC0, "\xD0\x90"},          // Cyrillic A
      {1253, 0xC1, "\xCE\x91"},          // Greek Alpha
      {1254, 0xD0, "\xC4\x9E"},          // G breve
      {1255, 0xE0, "\xD7\x90"},          // alef
      {1256, 0xC7, "\xD8\xA7"},          // Arabic alef
      {1257, 0xE0, "\xC4\x85"},          // a ogonek
      {1258, 0xD0, "\xC4\x90"},          // D stroke
      {874, 0xA1, "\xE0\xB8\x81"},       // Thai ko kai
      {437, 0x82, "\xC3\xA9"},           // e acute
      {850, 0x9B, "\xC3\xB8"},           // o stroke
      {1252, 0x81, "\xC2\x81"},          // undefined in 1252: the server reads U+0081
      {1253, 0xAA, "\xC2\xAA"},          // undefined in 1253
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Convert(c.codePage, {'x', c.byte, 'y'}), std::string("x") + c.utf8 + "y")
        << c.codePage << " byte " << int(c.byte);
  }
}

// Every byte of every single-byte table is one code point: ASCII below 0x80, never ASCII above
// (a table shifted by one row or filled from the wrong code page fails here).
TEST(CodePageToUtf8, SingleByteTablesMapEveryByteToOneCodePoint) {
  for (int codePage : {437, 850, 874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258}) {
    const uint16_t* upper = SingleByteUpperHalf(codePage);
    ASSERT_NE(upper, nullptr) << codePage;
    for (int b = 0; b < 256; ++b) {
      const std::optional<std::string> text = Convert(codePage, {static_cast<uint8_t>(b)});
      ASSERT_TRUE(text) << codePage;
      if (b < 0x80) {
        EXPECT_EQ(*text, std::string(1, static_cast<char>(b))) << codePage;
      } else {
        EXPECT_GE(upper[b - 0x80], 0x80) << codePage << " byte " << b;
        std::string expected;
        AppendUtf8(expected, upper[b - 0x80]);
        EXPECT_EQ(*text, expected) << codePage << " byte " << b;
      }
    }
  }
  EXPECT_EQ(SingleByteUpperHalf(932), nullptr);
  EXPECT_EQ(SingleByteUpperHalf(1200), nullptr);
}

TEST(CodePageToUtf8, DoubleByteUtf8AndUnknownPages) {
  const struct {
    int codePage;
    std::vector<uint8_t> bytes;
    std::optional<std::string> utf8;
  } cases[] = {
      {932, {'a', 'b'}, "ab"},
      {936, {'a', 0xB0, 0xA1}, "a\xE5\x95\x8A"},                         // a, U+554A
      {936, {0x80, 0xB0}, "\xE2\x82\xAC\xEF\xBF\xBD"},                  // euro; lead at end
      {950, {0xA4, 0x70, 0xA9, 0xFA}, "\xE5\xB0\x8F\xE6\x98\x8E"},      // U+5C0F U+660E
      {950, {0xA4, 0x20}, "\xEF\xBF\xBD "},                                // no such pair
      {949, {}, ""},
      {1234, {'a'}, std::nullopt},
      {65001, {'a', 0xE2, 0x82, 0xAC}, "a\xE2\x82\xAC"},
      {65001, {0xF0, 0x9F, 0x98, 0x80}, "\xF0\x9F\x98\x80"},
      {65001, {0xC3}, "\xEF\xBF\xBD"},                                    // cut short
      {65001, {0xE2, 0x82}, "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // cut short
      {65001, {0xC0, 0x80}, "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong
      {65001, {0xED, 0xA0, 0x80}, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
      {65001, {0xF4, 0x90, 0x80, 0x80, 'a'},
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" "a"},            // above U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(CodePageToUtf8(c.codePage, c.bytes), c.utf8) << c.codePage;
}

TEST(CodePageUtf16, PairsJoinedAndStrayHalvesReplaced) {
  const struct {
    std::vector<uint8_t> bytes;
    std::optional<std::string> utf8;
  } cases[] = {
      {{'V', 0, 'I', 0}, "VI"},
      {{0xE9, 0x00}, "\xC3\xA9"},
      {{0xAC, 0x20}, "\xE2\x82\xAC"},
      {{0x3D, 0xD8, 0x00, 0xDE}, "\xF0\x9F\x98\x80"},
      {{0xFF, 0xDB, 0xFF, 0xDF}, "\xF4\x8F\xBF\xBF"},  // U+10FFFF
      {{0x3D, 0xD8}, "\xEF\xBF\xBD"},
      {{0x3D, 0xD8, 0x3D, 0xD8, 0x00, 0xDE}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {{0x00, 0xDE, 0x3D, 0xD8}, "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {{'a', 0, 'b'}, std::nullopt},
      {{}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf16LeToUtf8(c.bytes), c.utf8);
}

}  // namespace
}  // namespace pagerake
