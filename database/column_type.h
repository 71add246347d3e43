// A column's type as the catalog (syscolpars) records it, what it is called in SQL, and how many
// bytes it takes in the fixed part of a record.
//
// System type ids (sys.types.system_type_id, syscolpars.xtype):
//    34 image        35 text            36 uniqueidentifier  40 date        41 time
//    42 datetime2    43 datetimeoffset  48 tinyint           52 smallint    56 int
//    58 smalldatetime 59 real           60 money             61 datetime    62 float
//    98 sql_variant  99 ntext          104 bit              106 decimal    108 numeric
//   122 smallmoney  127 bigint         165 varbinary        167 varchar    173 binary
//   175 char        189 timestamp      231 nvarchar (also sysname)         239 nchar
//   240 CLR types (hierarchyid, geometry, geography)                      241 xml
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pagerake {

namespace sqltype {
inline constexpr uint8_t kImage = 34;
inline constexpr uint8_t kText = 35;
inline constexpr uint8_t kUniqueIdentifier = 36;
inline constexpr uint8_t kDate = 40;
inline constexpr uint8_t kTime = 41;
inline constexpr uint8_t kDateTime2 = 42;
inline constexpr uint8_t kDateTimeOffset = 43;
inline constexpr uint8_t kTinyInt = 48;
inline constexpr uint8_t kSmallInt = 52;
inline constexpr uint8_t kInt = 56;
inline constexpr uint8_t kSmallDateTime = 58;
inline constexpr uint8_t kReal = 59;
inline constexpr uint8_t kMoney = 60;
inline constexpr uint8_t kDateTime = 61;
inline constexpr uint8_t kFloat = 62;
inline constexpr uint8_t kSqlVariant = 98;
inline constexpr uint8_t kNText = 99;
inline constexpr uint8_t kBit = 104;
inline constexpr uint8_t kDecimal = 106;
inline constexpr uint8_t kNumeric = 108;
inline constexpr uint8_t kSmallMoney = 122;
inline constexpr uint8_t kBigInt = 127;
inline constexpr uint8_t kVarBinary = 165;
inline constexpr uint8_t kVarChar = 167;
inline constexpr uint8_t kBinary = 173;
inline constexpr uint8_t kChar = 175;
inline constexpr uint8_t kTimestamp = 189;
inline constexpr uint8_t kNVarChar = 231;
inline constexpr uint8_t kNChar = 239;
inline constexpr uint8_t kClr = 240;
inline constexpr uint8_t kXml = 241;
}  // namespace sqltype

struct ColumnType {
  uint8_t systemType = 0;    // system type id (sys.types.system_type_id / syscolpars.xtype)
  int16_t maxLength = 0;     // bytes as the catalog records it; -1 for the (max) types
  uint8_t precision = 0;
  uint8_t scale = 0;
  uint32_t collationId = 0;  // syscolpars.collationid; 0 for non-character types
  // syscolpars.utype when the caller has it: it tells the CLR types apart (128 hierarchyid,
  // 129 geometry, 130 geography) and marks sysname (256). 0 when unknown.
  int32_t userType = 0;
};

// The type as a CREATE TABLE statement writes it: "int", "nvarchar(40)" (maxLength counts bytes,
// so 80 is 40 characters of an n-type), "varchar(max)", "decimal(10,2)", "datetime2(7)".
// A system type id this program does not know comes out as "unknown_type_<id>".
std::string SqlTypeName(const ColumnType& type);

// Bytes the type takes in a record's fixed part; nothing for the variable-length types and for
// parameters no column of the type can have (a decimal precision of 0 or above 38, a time scale
// above 7, a char length that is not positive). bit gives 1: the caller packs bits itself.
std::optional<int> FixedStorageBytes(const ColumnType& type);

// char, varchar, text, nchar, nvarchar, ntext: the types whose values are text with a collation.
bool IsCharacterType(uint8_t systemType);
// nchar, nvarchar, ntext: UTF-16LE text.
bool IsUnicodeType(uint8_t systemType);
// text, ntext, image and xml, whose values are always kept as large objects.
bool IsLobType(uint8_t systemType);
// The above and the (max) types (varchar, nvarchar, varbinary and CLR types of maxLength -1),
// whose values may be kept out of the row.
bool IsLobType(const ColumnType& type);

}  // namespace pagerake
