// Type names as CREATE TABLE writes them, the record bytes each fixed type takes, and the type
// classes, with the catalog values real databases record (nvarchar(40) has maxLength 80).
#include "database/column_type.h"

#include <gtest/gtest.h>

#include <vector>

namespace pagerake {
namespace {

using namespace sqltype;

ColumnType Type(uint8_t systemType, int16_t maxLength = 0, uint8_t precision = 0,
                uint8_t scale = 0, int32_t userType = 0) {
  return ColumnType{systemType, maxLength, precision, scale, 0, userType};
}

TEST(SqlTypeNames, AsCreateTableWritesThem) {
  const struct {
    ColumnType type;
    const char* name;
  } cases[] = {
      {Type(kInt, 4, 10), "int"},
      {Type(kMoney, 8, 19, 4), "money"},
      {Type(kFloat, 8, 53), "float"},
      {Type(kDateTime, 8, 23, 3), "datetime"},
      {Type(kDate, 3, 10), "date"},
      {Type(kUniqueIdentifier, 16), "uniqueidentifier"},
      {Type(kTimestamp, 8), "timestamp"},
      {Type(kText, 16), "text"},
      {Type(kXml, -1), "xml"},
      {Type(kSqlVariant, 8016), "sql_variant"},
      {Type(kNVarChar, 80), "nvarchar(40)"},
      {Type(kNChar, 10), "nchar(5)"},
      {Type(kNVarChar, -1), "nvarchar(max)"},
      {Type(kNVarChar, 256, 0, 0, 256), "sysname"},
      {Type(kVarChar, 40), "varchar(40)"},
      {Type(kVarChar, -1), "varchar(max)"},
      {Type(kChar, 5), "char(5)"},
      {Type(kBinary, 16), "binary(16)"},
      {Type(kVarBinary, -1), "varbinary(max)"},
      {Type(kDecimal, 9, 10, 2), "decimal(10,2)"},
      {Type(kNumeric, 5, 4, 0), "numeric(4,0)"},
      {Type(kTime, 5, 16, 7), "time(7)"},
      {Type(kDateTime2, 8, 27, 7), "datetime2(7)"},
      {Type(kDateTimeOffset, 10, 34, 7), "datetimeoffset(7)"},
      {Type(kClr, 892, 0, 0, 128), "hierarchyid"},
      {Type(kClr, -1, 0, 0, 129), "geometry"},
      {Type(kClr, -1, 0, 0, 130), "geography"},
      {Type(kClr, -1), "varbinary(max)"},
      {Type(38, 4), "unknown_type_38"},
  };
  for (const auto& c : cases) EXPECT_EQ(SqlTypeName(c.type), c.name);
}

TEST(SqlTypeStorage, FixedPartBytesFollowPrecisionScaleAndLength) {
  const struct {
    ColumnType type;
    std::optional<int> bytes;
  } cases[] = {
      {Type(kBit, 1, 1), 1},
      {Type(kDateTime, 8, 23, 3), 8},
      {Type(kDate, 3, 10), 3},
      {Type(kUniqueIdentifier, 16), 16},
      // decimal: a sign byte and 4, 8, 12 or 16 bytes, changing after precisions 9, 19 and 28
      {Type(kDecimal, 5, 1), 5},
      {Type(kDecimal, 5, 9), 5},
      {Type(kDecimal, 9, 10), 9},
      {Type(kNumeric, 9, 19), 9},
      {Type(kNumeric, 13, 20), 13},
      {Type(kDecimal, 13, 28), 13},
      {Type(kDecimal, 17, 29), 17},
      {Type(kDecimal, 17, 38), 17},
      {Type(kDecimal, 17, 0), std::nullopt},
      {Type(kDecimal, 17, 39), std::nullopt},
      // time: 3 bytes up to scale 2, 4 up to 4, 5 up to 7; datetime2 adds 3, datetimeoffset 5
      {Type(kTime, 3, 8, 0), 3},
      {Type(kTime, 4, 12, 3), 4},
      {Type(kTime, 4, 13, 4), 4},
      {Type(kTime, 5, 16, 7), 5},
      {Type(kTime, 5, 16, 8), std::nullopt},
      {Type(kDateTime2, 6, 19, 0), 6},
      {Type(kDateTime2, 8, 27, 7), 8},
      {Type(kDateTimeOffset, 8, 26, 0), 8},
      {Type(kDateTimeOffset, 10, 34, 7), 10},
      {Type(kChar, 12), 12},
      {Type(kNChar, 20), 20},
      {Type(kBinary, 16), 16},
      {Type(kChar, 0), std::nullopt},
      {Type(kVarChar, 40), std::nullopt},
      {Type(kNVarChar, 80), std::nullopt},
      {Type(kVarBinary, 8), std::nullopt},
      {Type(kClr, 892, 0, 0, 128), std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FixedStorageBytes(c.type), c.bytes)
        << SqlTypeName(c.type) << " precision " << int(c.type.precision);
  }
}

TEST(SqlTypeClasses, CharacterUnicodeAndLargeObjectTypes) {
  const struct {
    ColumnType type;
    bool character, unicode, lobByType, lob;
  } cases[] = {
      {Type(kChar, 5), true, false, false, false},
      {Type(kVarChar, 40), true, false, false, false},
      {Type(kVarChar, -1), true, false, false, true},
      {Type(kText, 16), true, false, true, true},
      {Type(kNChar, 10), true, true, false, false},
      {Type(kNVarChar, -1), true, true, false, true},
      {Type(kNText, 16), true, true, true, true},
      {Type(kImage, 16), false, false, true, true},
      {Type(kXml, -1), false, false, true, true},
      {Type(kVarBinary, -1), false, false, false, true},
      {Type(kVarBinary, 64), false, false, false, false},
      {Type(kClr, -1, 0, 0, 129), false, false, false, true},
      {Type(kClr, 892, 0, 0, 128), false, false, false, false},
      {Type(kBinary, 8), false, false, false, false},
      {Type(kInt, 4), false, false, false, false},
  };
  for (const auto& c : cases) {
    const std::string name = SqlTypeName(c.type);
    EXPECT_EQ(IsCharacterType(c.type.systemType), c.character) << name;
    EXPECT_EQ(IsUnicodeType(c.type.systemType), c.unicode) << name;
    EXPECT_EQ(IsLobType(c.type.systemType), c.lobByType) << name;
    EXPECT_EQ(IsLobType(c.type), c.lob) << name;
  }
}

}  // namespace
}  // namespace pagerake
