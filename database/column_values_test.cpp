// Stored bytes of each type, written by hand from the layouts, and the text an export must show.
// Where the corpus holds a value (Northwind's order 10248 and product Chai) its bytes are used.
#include "database/column_values.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace pagerake {
namespace {

using namespace sqltype;

// "01 d2 04" -> {0x01, 0xD2, 0x04}.
std::vector<uint8_t> Bytes(const char* hex) {
  std::vector<uint8_t> out;
  std::string digits;
  for (const char* c = hex; *c; ++c) {
    if (*c == ' ') continue;
    digits += *c;
    if (digits.size() == 2) {
      out.push_back(static_cast<uint8_t>(std::stoi(digits, nullptr, 16)));
      digits.clear();
    }
  }
  return out;
}

ColumnType Type(uint8_t systemType, int16_t maxLength = 0, uint8_t precision = 0,
                uint8_t scale = 0, uint32_t collationId = 0) {
  return ColumnType{systemType, maxLength, precision, scale, collationId, 0};
}

struct Case {
  const char* name;
  ColumnType type;
  const char* bytes;
  ValueStatus status;
  std::string text;
};

void ExpectCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const std::vector<uint8_t> bytes = Bytes(c.bytes);
    const ValueText v = FormatValue(c.type, bytes);
    EXPECT_EQ(v.status, c.status) << c.name;
    EXPECT_EQ(v.text, c.text) << c.name;
  }
}

constexpr ValueStatus kOk = ValueStatus::kOk;
constexpr ValueStatus kBadLength = ValueStatus::kBadLength;
constexpr ValueStatus kBadValue = ValueStatus::kBadValue;
constexpr ValueStatus kNotDecoded = ValueStatus::kNotDecoded;
constexpr ValueStatus kUnknownCodePage = ValueStatus::kUnknownCodePage;

constexpr uint32_t kSqlLatin1 = 0x3400D008;  // SQL_Latin1_General_CP1_CI_AS
constexpr uint32_t kCyrillic = 0xD015;       // Cyrillic_General_CI_AS
constexpr uint32_t kRomanian = 0xD014;       // Romanian_CI_AS
constexpr uint32_t kJapanese = 0xD010;       // Japanese_CI_AS

TEST(ColumnValueNumbers, IntegersMoneyAndFloats) {
  ExpectCases({
      {"tinyint is unsigned", Type(kTinyInt), "ff", kOk, "255"},
      {"smallint", Type(kSmallInt), "00 80", kOk, "-32768"},
      {"int order 10248", Type(kInt), "08 28 00 00", kOk, "10248"},
      {"int -1", Type(kInt), "ff ff ff ff", kOk, "-1"},
      {"bigint min", Type(kBigInt), "00 00 00 00 00 00 00 80", kOk, "-9223372036854775808"},
      {"bit 0", Type(kBit), "00", kOk, "0"},
      {"bit 1", Type(kBit), "01", kOk, "1"},
      {"money Chai", Type(kMoney), "20 bf 02 00 00 00 00 00", kOk, "18.0000"},
      {"money freight", Type(kMoney), "d8 f0 04 00 00 00 00 00", kOk, "32.3800"},
      {"money high half second", Type(kMoney), "00 00 00 00 01 00 00 00", kOk, "429496.7296"},
      {"money -0.0001", Type(kMoney), "ff ff ff ff ff ff ff ff", kOk, "-0.0001"},
      {"money min", Type(kMoney), "00 00 00 00 00 00 00 80", kOk, "-922337203685477.5808"},
      {"smallmoney", Type(kSmallMoney), "a8 d2 02 00", kOk, "18.5000"},
      {"smallmoney negative", Type(kSmallMoney), "ff ff ff ff", kOk, "-0.0001"},
      {"real shortest", Type(kReal), "cd cc cc 3d", kOk, "0.1"},
      {"real 1.5", Type(kReal), "00 00 c0 3f", kOk, "1.5"},
      {"float shortest", Type(kFloat), "9a 99 99 99 99 99 b9 3f", kOk, "0.1"},
      {"float negative", Type(kFloat), "00 00 00 00 00 00 04 c0", kOk, "-2.5"},
      {"float large", Type(kFloat), "9c 75 00 88 3c e4 37 7e", kOk, "1e+300"},
  });
}

TEST(ColumnValueNumbers, DecimalsKeepTheirScale) {
  ExpectCases({
      {"decimal(4,2)", Type(kDecimal, 5, 4, 2), "01 d2 04 00 00", kOk, "12.34"},
      {"negative below one", Type(kDecimal, 5, 4, 2), "00 05 00 00 00", kOk, "-0.05"},
      {"all fraction", Type(kNumeric, 5, 5, 5), "01 01 00 00 00", kOk, "0.00001"},
      {"negative zero", Type(kDecimal, 9, 10, 2), "00 00 00 00 00 00 00 00 00", kOk, "0.00"},
      {"scale 0", Type(kDecimal, 9, 18, 0), "01 4e f3 30 a6 4b 9b b6 01", kOk,
       "123456789012345678"},
      {"carry between limbs", Type(kNumeric, 13, 28, 0), "01 00 00 00 00 00 00 00 00 01 00 00 00",
       kOk, "18446744073709551616"},
      {"widest", Type(kDecimal, 17, 38, 10),
       "01 ff ff ff ff 3f 22 8a 09 7a c4 86 5a a8 4c 3b 4b", kOk,
       "9999999999999999999999999999.9999999999"},
      {"wider than the precision", Type(kDecimal, 5, 4, 2), "01 39 30 00 00", kBadValue, ""},
      {"sign byte 2", Type(kDecimal, 5, 4, 2), "02 01 00 00 00", kBadValue, ""},
      {"size of another precision", Type(kDecimal, 5, 4, 2), "01 00 00 00 00 00 00 00 00",
       kBadLength, ""},
      {"precision 0", Type(kDecimal, 5, 0, 0), "01 00 00 00 00", kNotDecoded, ""},
      {"precision 39", Type(kDecimal, 17, 39, 0), "01 00 00 00 00", kNotDecoded, ""},
      {"scale above precision", Type(kDecimal, 5, 4, 5), "01 00 00 00 00", kNotDecoded, ""},
  });
}

TEST(ColumnValueTimes, DateTimeAndSmallDateTime) {
  ExpectCases({
      {"order date 10248", Type(kDateTime), "00 00 00 00 b0 89 00 00", kOk,
       "1996-07-04T00:00:00.000"},
      {"one tick", Type(kDateTime), "01 00 00 00 00 00 00 00", kOk, "1900-01-01T00:00:00.003"},
      {"two ticks", Type(kDateTime), "02 00 00 00 00 00 00 00", kOk, "1900-01-01T00:00:00.007"},
      {"afternoon", Type(kDateTime), "4a 26 da 00 00 00 00 00", kOk, "1900-01-01T13:14:15.500"},
      {"leap day", Type(kDateTime), "00 00 00 00 e7 8e 00 00", kOk, "2000-02-29T00:00:00.000"},
      {"1900 has no leap day", Type(kDateTime), "00 00 00 00 3b 00 00 00", kOk,
       "1900-03-01T00:00:00.000"},
      {"first day", Type(kDateTime), "00 00 00 00 46 2e ff ff", kOk, "1753-01-01T00:00:00.000"},
      {"last moment", Type(kDateTime), "ff 81 8b 01 7f 24 2d 00", kOk, "9999-12-31T23:59:59.997"},
      {"a day of ticks", Type(kDateTime), "00 82 8b 01 00 00 00 00", kBadValue, ""},
      {"before 1753", Type(kDateTime), "00 00 00 00 45 2e ff ff", kBadValue, ""},
      {"after 9999", Type(kDateTime), "00 00 00 00 80 24 2d 00", kBadValue, ""},
      {"datetime short", Type(kDateTime), "00 00 00 00 b0 89 00", kBadLength, ""},
      {"small first", Type(kSmallDateTime), "00 00 00 00", kOk, "1900-01-01T00:00:00"},
      {"small last", Type(kSmallDateTime), "9f 05 ff ff", kOk, "2079-06-06T23:59:00"},
      {"small minutes past midnight", Type(kSmallDateTime), "a0 05 00 00", kBadValue, ""},
      {"small long", Type(kSmallDateTime), "00 00 00 00 00", kBadLength, ""},
  });
}

TEST(ColumnValueTimes, DateTimeAndTheirScales) {
  ExpectCases({
      {"date first", Type(kDate), "00 00 00", kOk, "0001-01-01"},
      {"date leap day", Type(kDate), "80 46 0b", kOk, "2024-02-29"},
      {"date last", Type(kDate), "da b9 37", kOk, "9999-12-31"},
      {"date after last", Type(kDate), "db b9 37", kBadValue, ""},
      {"date long", Type(kDate), "00 00 00 00", kBadLength, ""},
      {"time(0)", Type(kTime, 3, 8, 0), "4d 0e 00", kOk, "01:01:01"},
      {"time(2)", Type(kTime, 3, 11, 2), "0e 1e 45", kOk, "12:34:56.78"},
      {"time(3)", Type(kTime, 4, 12, 3), "95 2c b3 02", kOk, "12:34:56.789"},
      {"time(7) last", Type(kTime, 5, 16, 7), "ff bf 69 2a c9", kOk, "23:59:59.9999999"},
      {"time(7) midnight", Type(kTime, 5, 16, 7), "00 c0 69 2a c9", kBadValue, ""},
      {"time(7) in 4 bytes", Type(kTime, 5, 16, 7), "00 00 00 00", kBadLength, ""},
      {"time(8)", Type(kTime, 5, 16, 8), "00 00 00 00 00", kNotDecoded, ""},
      {"datetime2(7)", Type(kDateTime2, 8, 27, 7), "00 00 00 00 00 80 46 0b", kOk,
       "2024-02-29T00:00:00.0000000"},
      {"datetime2(0)", Type(kDateTime2, 6, 19, 0), "4d 0e 00 da b9 37", kOk,
       "9999-12-31T01:01:01"},
      {"datetime2(3) in 8 bytes", Type(kDateTime2, 7, 23, 3), "00 00 00 00 00 00 00 00",
       kBadLength, ""},
      {"offset back across new year", Type(kDateTimeOffset, 10, 34, 7),
       "00 34 e2 30 04 90 40 0b c4 ff", kOk, "2019-12-31T23:30:00.0000000-01:00"},
      {"offset forward onto a leap day", Type(kDateTimeOffset, 8, 26, 0),
       "70 43 01 ca 40 0b 4a 01", kOk, "2020-02-29T04:30:00+05:30"},
      {"offset zero", Type(kDateTimeOffset, 8, 26, 0), "00 00 00 00 00 00 00 00", kOk,
       "0001-01-01T00:00:00+00:00"},
      {"offset beyond 14 hours", Type(kDateTimeOffset, 8, 26, 0), "00 00 00 00 00 00 49 03",
       kBadValue, ""},
      {"local before year 1", Type(kDateTimeOffset, 8, 26, 0), "00 00 00 00 00 00 ff ff",
       kBadValue, ""},
      {"local after 9999", Type(kDateTimeOffset, 8, 26, 0), "7f 51 01 da b9 37 01 00",
       kBadValue, ""},
  });
}

TEST(ColumnValueText, CodePagesOfTheCollation) {
  ExpectCases({
      {"latin1", Type(kVarChar, 10, 0, 0, kSqlLatin1), "43 61 66 e9 80", kOk,
       "Caf\xC3\xA9\xE2\x82\xAC"},
      {"char keeps its padding", Type(kChar, 5, 0, 0, kSqlLatin1), "61 62 20 20 20", kOk,
       "ab   "},
      {"cyrillic", Type(kVarChar, 10, 0, 0, kCyrillic), "cf f0 e8", kOk,
       "\xD0\x9F\xD1\x80\xD0\xB8"},
      {"romanian", Type(kText, 16, 0, 0, kRomanian), "ba", kOk, "\xC5\x9F"},
      {"double-byte page, ASCII", Type(kVarChar, 10, 0, 0, kJapanese), "41 42", kOk, "AB"},
      {"double-byte page, kanji", Type(kVarChar, 10, 0, 0, kJapanese), "93 fa", kUnknownCodePage,
       ""},
      {"no collation", Type(kVarChar, 10), "41", kUnknownCodePage, ""},
      {"unknown locale", Type(kVarChar, 10, 0, 0, 0xDFFF), "41", kUnknownCodePage, ""},
      {"char short", Type(kChar, 5, 0, 0, kSqlLatin1), "61 62 20 20", kBadLength, ""},
      {"varchar over its length", Type(kVarChar, 3, 0, 0, kSqlLatin1), "61 62 63 64",
       kBadLength, ""},
      {"varchar(max)", Type(kVarChar, -1, 0, 0, kSqlLatin1), "61 62 63 64", kOk, "abcd"},
  });
}

TEST(ColumnValueText, Utf16OfTheNTypes) {
  ExpectCases({
      {"customer", Type(kNChar, 10), "56 00 49 00 4e 00 45 00 54 00", kOk, "VINET"},
      {"pair joined", Type(kNVarChar, 80), "3d d8 00 de", kOk, "\xF0\x9F\x98\x80"},
      {"high alone", Type(kNVarChar, 80), "41 00 3d d8", kOk, "A\xEF\xBF\xBD"},
      {"low alone", Type(kNVarChar, 80), "00 de 41 00", kOk, "\xEF\xBF\xBD" "A"},
      {"odd length", Type(kNVarChar, 80), "41 00 42", kBadLength, ""},
      {"nchar short", Type(kNChar, 4), "41 00", kBadLength, ""},
      {"nvarchar over its length", Type(kNVarChar, 2), "41 00 42 00", kBadLength, ""},
      {"ntext any length", Type(kNText, 16),
       "41 00 42 00 43 00 44 00 45 00 46 00 47 00 48 00 49 00", kOk, "ABCDEFGHI"},
  });
}

TEST(ColumnValueBinary, HexGuidsAndTheUndecoded) {
  ExpectCases({
      {"binary", Type(kBinary, 4), "00 ab cd ef", kOk, "0x00ABCDEF"},
      {"binary short", Type(kBinary, 4), "00 ab cd", kBadLength, ""},
      {"varbinary empty", Type(kVarBinary, 8), "", kOk, "0x"},
      {"varbinary over its length", Type(kVarBinary, 2), "01 02 03", kBadLength, ""},
      {"varbinary(max)", Type(kVarBinary, -1), "01 02 03", kOk, "0x010203"},
      {"image", Type(kImage, 16), "ff d8 ff e0", kOk, "0xFFD8FFE0"},
      {"timestamp", Type(kTimestamp, 8), "00 00 00 00 00 00 07 d1", kOk, "0x00000000000007D1"},
      {"timestamp short", Type(kTimestamp, 8), "00 00 00 00 00 00 07", kBadLength, ""},
      {"guid", Type(kUniqueIdentifier, 16), "33 22 11 00 55 44 77 66 88 99 aa bb cc dd ee ff",
       kOk, "00112233-4455-6677-8899-AABBCCDDEEFF"},
      {"guid short", Type(kUniqueIdentifier, 16), "33 22 11 00", kBadLength, ""},
      {"xml", Type(kXml, -1), "df ff 01 b0 04", kNotDecoded, ""},
      {"sql_variant", Type(kSqlVariant, 8016), "38 01 05 00 00 00", kNotDecoded, ""},
      {"hierarchyid", Type(kClr, 892), "58", kNotDecoded, ""},
      {"unknown id", Type(200, 4), "00 00 00 00", kNotDecoded, ""},
  });
}

// FormatValue takes exactly the bytes FixedStorageBytes names and refuses every other count. Each
// buffer is a heap block of exactly that size, so a sanitizer build catches a read past it.
TEST(ColumnValueNumbers, FixedTypesTakeExactlyTheirStorageBytes) {
  const ColumnType fixed[] = {
      Type(kTinyInt), Type(kSmallInt), Type(kInt), Type(kBigInt), Type(kBit), Type(kReal),
      Type(kFloat), Type(kMoney), Type(kSmallMoney), Type(kDateTime), Type(kSmallDateTime),
      Type(kDate), Type(kTime, 3, 8, 0), Type(kTime, 4, 12, 3), Type(kTime, 5, 16, 7),
      Type(kDateTime2, 6, 19, 0), Type(kDateTime2, 8, 27, 7), Type(kDateTimeOffset, 8, 26, 0),
      Type(kDateTimeOffset, 10, 34, 7), Type(kDecimal, 5, 9, 2), Type(kDecimal, 9, 10, 2),
      Type(kNumeric, 13, 28, 4), Type(kNumeric, 17, 29, 4), Type(kUniqueIdentifier, 16),
      Type(kTimestamp, 8), Type(kBinary, 7), Type(kChar, 6, 0, 0, kSqlLatin1), Type(kNChar, 6),
  };
  for (const ColumnType& type : fixed) {
    const std::optional<int> size = FixedStorageBytes(type);
    ASSERT_TRUE(size) << SqlTypeName(type);
    for (int n = 0; n <= 20; ++n) {
      std::unique_ptr<uint8_t[]> block(new uint8_t[n == 0 ? 1 : n]());
      const ValueText v = FormatValue(type, std::span<const uint8_t>(block.get(), n));
      if (n == *size) {
        EXPECT_EQ(v.status, kOk) << SqlTypeName(type);
      } else {
        EXPECT_EQ(v.status, kBadLength) << SqlTypeName(type) << " with " << n << " bytes";
      }
    }
  }
}

}  // namespace
}  // namespace pagerake
