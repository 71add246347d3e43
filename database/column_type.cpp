#include "database/column_type.h"

#include "database/column_time_values.h"

namespace pagerake {
namespace {

using namespace sqltype;

// The names of the types that take no parameters.
const char* PlainTypeName(uint8_t systemType) {
  switch (systemType) {
    case kImage: return "image";
    case kText: return "text";
    case kUniqueIdentifier: return "uniqueidentifier";
    case kDate: return "date";
    case kTinyInt: return "tinyint";
    case kSmallInt: return "smallint";
    case kInt: return "int";
    case kSmallDateTime: return "smalldatetime";
    case kReal: return "real";
    case kMoney: return "money";
    case kDateTime: return "datetime";
    case kFloat: return "float";
    case kSqlVariant: return "sql_variant";
    case kNText: return "ntext";
    case kBit: return "bit";
    case kSmallMoney: return "smallmoney";
    case kBigInt: return "bigint";
    case kTimestamp: return "timestamp";
    case kXml: return "xml";
    default: return nullptr;
  }
}

// "(n)" or "(max)" for a length in bytes; an n-type counts two bytes a character.
std::string LengthSuffix(int16_t maxLength, bool unicode) {
  if (maxLength == -1) return "(max)";
  return "(" + std::to_string(unicode ? maxLength / 2 : maxLength) + ")";
}

}  // namespace

std::string SqlTypeName(const ColumnType& type) {
  if (const char* plain = PlainTypeName(type.systemType)) return plain;
  switch (type.systemType) {
    case kTime: return "time(" + std::to_string(type.scale) + ")";
    case kDateTime2: return "datetime2(" + std::to_string(type.scale) + ")";
    case kDateTimeOffset: return "datetimeoffset(" + std::to_string(type.scale) + ")";
    case kDecimal:
    case kNumeric:
      return std::string(type.systemType == kDecimal ? "decimal(" : "numeric(") +
             std::to_string(type.precision) + "," + std::to_string(type.scale) + ")";
    case kVarBinary: return "varbinary" + LengthSuffix(type.maxLength, false);
    case kVarChar: return "varchar" + LengthSuffix(type.maxLength, false);
    case kBinary: return "binary" + LengthSuffix(type.maxLength, false);
    case kChar: return "char" + LengthSuffix(type.maxLength, false);
    case kNVarChar:
      if (type.userType == 256) return "sysname";
      return "nvarchar" + LengthSuffix(type.maxLength, true);
    case kNChar: return "nchar" + LengthSuffix(type.maxLength, true);
    case kClr:
      // The system type alone does not say which CLR type a column has; the user type does.
      // Without it the bytes are at least kept whole by a varbinary of the same length.
      if (type.userType == 128) return "hierarchyid";
      if (type.userType == 129) return "geometry";
      if (type.userType == 130) return "geography";
      return "varbinary" + LengthSuffix(type.maxLength, false);
    default: return "unknown_type_" + std::to_string(type.systemType);
  }
}

std::optional<int> FixedStorageBytes(const ColumnType& type) {
  switch (type.systemType) {
    case kTinyInt:
    case kBit: return 1;
    case kSmallInt: return 2;
    case kInt:
    case kReal:
    case kSmallMoney:
    case kSmallDateTime: return 4;
    case kBigInt:
    case kFloat:
    case kMoney:
    case kDateTime:
    case kTimestamp: return 8;
    case kUniqueIdentifier: return 16;
    case kDate: return kDateBytes;
    case kTime:
    case kDateTime2:
    case kDateTimeOffset: {
      const std::optional<int> timeBytes = TimeStorageBytes(type.scale);
      if (!timeBytes) return std::nullopt;
      if (type.systemType == kTime) return *timeBytes;
      if (type.systemType == kDateTime2) return *timeBytes + kDateBytes;
      return *timeBytes + kDateBytes + kOffsetBytes;
    }
    case kDecimal:
    case kNumeric: {
      // One sign byte, then an integer of 4, 8, 12 or 16 bytes wide enough for the precision.
      const int p = type.precision;
      if (p < 1 || p > 38) return std::nullopt;
      return p <= 9 ? 5 : p <= 19 ? 9 : p <= 28 ? 13 : 17;
    }
    case kChar:
    case kBinary:
    case kNChar:
      if (type.maxLength <= 0) return std::nullopt;
      return type.maxLength;
    default: return std::nullopt;
  }
}

bool IsCharacterType(uint8_t systemType) {
  switch (systemType) {
    case kText:
    case kNText:
    case kVarChar:
    case kChar:
    case kNVarChar:
    case kNChar: return true;
    default: return false;
  }
}

bool IsUnicodeType(uint8_t systemType) {
  return systemType == kNText || systemType == kNVarChar || systemType == kNChar;
}

bool IsLobType(uint8_t systemType) {
  return systemType == kText || systemType == kNText || systemType == kImage ||
         systemType == kXml;
}

bool IsLobType(const ColumnType& type) {
  if (IsLobType(type.systemType)) return true;
  const bool mayBeMax = type.systemType == kVarChar || type.systemType == kNVarChar ||
                        type.systemType == kVarBinary || type.systemType == kClr;
  return mayBeMax && type.maxLength == -1;
}

}  // namespace pagerake
