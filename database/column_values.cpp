// The numeric, binary and character types. Every count is little-endian.
//
//   tinyint 1 byte unsigned; smallint 2, int 4, bigint 8 bytes two's complement
//   bit           1 byte as the caller unpacked it
//   real, float   IEEE 754 binary32 and binary64
//   money         8 bytes: the value times 10^4 as a signed 64-bit integer. The low 32 bits come
//                 first (Northwind's 18.0000 is 20 BF 02 00 00 00 00 00)
//   smallmoney    4 bytes: the value times 10^4, signed
//   decimal(p,s), numeric(p,s)
//                 1 sign byte (1 positive, 0 negative), then the value times 10^s as an unsigned
//                 integer of 4 bytes for p 1-9, 8 for 10-19, 12 for 20-28, 16 for 29-38
//   uniqueidentifier  16 bytes: a 4-byte, two 2-byte little-endian groups, then 8 bytes in order
//   char, varchar, text   bytes in the code page of the column's collation
//   nchar, nvarchar, ntext  UTF-16LE
#include "database/column_values.h"

#include <bit>
#include <charconv>

#include "database/column_time_values.h"
#include "page/byte_order.h"

namespace pagerake {
namespace {

using namespace sqltype;

ValueText Bad(ValueStatus status) { return ValueText{status, {}}; }
ValueText Text(std::string text) { return ValueText{ValueStatus::kOk, std::move(text)}; }

ValueText SignedInteger(std::span<const uint8_t> bytes, size_t width) {
  if (bytes.size() != width) return Bad(ValueStatus::kBadLength);
  const uint8_t* p = bytes.data();
  int64_t v = 0;
  switch (width) {
    case 2: v = static_cast<int16_t>(LoadLe16(p)); break;
    case 4: v = static_cast<int32_t>(LoadLe32(p)); break;
    default: v = static_cast<int64_t>(LoadLe64(p)); break;
  }
  return Text(std::to_string(v));
}

// Digits of a 4-digit fixed-point amount (money, smallmoney) held as the amount times 10^4.
ValueText FixedPoint4(int64_t scaled) {
  const uint64_t magnitude = scaled < 0 ? 0 - static_cast<uint64_t>(scaled) : scaled;
  std::string text = scaled < 0 ? "-" : "";
  text += std::to_string(magnitude / 10000);
  const std::string fraction = std::to_string(magnitude % 10000);
  text += '.';
  text.append(4 - fraction.size(), '0');
  text += fraction;
  return Text(std::move(text));
}

// The decimal digits of an unsigned integer of up to 16 little-endian bytes (4-byte limbs),
// taken nine at a time by long division.
std::string DecimalDigits(const uint8_t* p, int limbCount) {
  uint32_t limbs[4] = {0, 0, 0, 0};
  for (int i = 0; i < limbCount; ++i) limbs[i] = LoadLe32(p + 4 * i);
  std::string reversed;
  bool more = true;
  while (more) {
    uint64_t remainder = 0;
    more = false;
    for (int i = limbCount - 1; i >= 0; --i) {
      const uint64_t current = (remainder << 32) | limbs[i];
      limbs[i] = static_cast<uint32_t>(current / 1000000000);
      remainder = current % 1000000000;
      more = more || limbs[i] != 0;
    }
    for (int k = 0; k < 9; ++k, remainder /= 10) {
      reversed += static_cast<char>('0' + remainder % 10);
    }
  }
  while (reversed.size() > 1 && reversed.back() == '0') reversed.pop_back();
  return std::string(reversed.rbegin(), reversed.rend());
}

ValueText Decimal(const ColumnType& type, std::span<const uint8_t> bytes) {
  const std::optional<int> size = FixedStorageBytes(type);
  if (!size || type.scale > type.precision) return Bad(ValueStatus::kNotDecoded);
  if (bytes.size() != static_cast<size_t>(*size)) return Bad(ValueStatus::kBadLength);
  const uint8_t sign = bytes[0];
  if (sign > 1) return Bad(ValueStatus::kBadValue);
  std::string digits = DecimalDigits(bytes.data() + 1, (*size - 1) / 4);
  // A stored value has at most `precision` digits; more means the bytes are not one.
  if (digits != "0" && digits.size() > type.precision) return Bad(ValueStatus::kBadValue);
  const size_t scale = type.scale;
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  if (scale > 0) digits.insert(digits.size() - scale, 1, '.');
  const bool zero = digits.find_first_not_of("0.") == std::string::npos;
  if (sign == 0 && !zero) digits.insert(0, 1, '-');
  return Text(std::move(digits));
}

// The shortest text that reads back to the same value.
template <typename Float>
ValueText Floating(Float value) {
  char buffer[32];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return Text(std::string(buffer, r.ptr));
}

void AppendHex(std::string& out, const uint8_t* p, size_t n) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (size_t i = 0; i < n; ++i) {
    out += kDigits[p[i] >> 4];
    out += kDigits[p[i] & 0x0F];
  }
}

ValueText Guid(std::span<const uint8_t> bytes) {
  if (bytes.size() != 16) return Bad(ValueStatus::kBadLength);
  const uint8_t* p = bytes.data();
  uint8_t groups[8];
  // The first three groups are little-endian numbers: write them back most significant first.
  const uint32_t data1 = LoadLe32(p);
  const uint16_t data2 = LoadLe16(p + 4);
  const uint16_t data3 = LoadLe16(p + 6);
  for (int i = 0; i < 4; ++i) groups[i] = static_cast<uint8_t>(data1 >> (24 - 8 * i));
  groups[4] = static_cast<uint8_t>(data2 >> 8);
  groups[5] = static_cast<uint8_t>(data2);
  groups[6] = static_cast<uint8_t>(data3 >> 8);
  groups[7] = static_cast<uint8_t>(data3);
  std::string text;
  AppendHex(text, groups, 4);
  text += '-';
  AppendHex(text, groups + 4, 2);
  text += '-';
  AppendHex(text, groups + 6, 2);
  text += '-';
  AppendHex(text, p + 8, 2);
  text += '-';
  AppendHex(text, p + 10, 6);
  return Text(std::move(text));
}

// The length a value of a sized type may have: exactly maxLength for the fixed types (char,
// nchar, binary), at most maxLength for the variable ones unless they are (max).
bool LengthFits(const ColumnType& type, size_t size, bool fixed) {
  if (type.maxLength <= 0) return !fixed;
  const size_t limit = static_cast<size_t>(type.maxLength);
  return fixed ? size == limit : size <= limit;
}

ValueText Binary(const ColumnType& type, std::span<const uint8_t> bytes) {
  const bool fixed = type.systemType == kBinary;
  if (type.systemType != kImage && !LengthFits(type, bytes.size(), fixed)) {
    return Bad(ValueStatus::kBadLength);
  }
  std::string text = "0x";
  AppendHex(text, bytes.data(), bytes.size());
  return Text(std::move(text));
}

ValueText CodePageText(const ColumnType& type, std::span<const uint8_t> bytes) {
  if (type.systemType != kText && !LengthFits(type, bytes.size(), type.systemType == kChar)) {
    return Bad(ValueStatus::kBadLength);
  }
  const std::optional<int> codePage = CodePageOfCollation(type.collationId);
  if (!codePage) return Bad(ValueStatus::kUnknownCodePage);
  std::optional<std::string> text = CodePageToUtf8(*codePage, bytes);
  if (!text) return Bad(ValueStatus::kUnknownCodePage);
  return Text(std::move(*text));
}

ValueText UnicodeText(const ColumnType& type, std::span<const uint8_t> bytes) {
  if (type.systemType != kNText && !LengthFits(type, bytes.size(), type.systemType == kNChar)) {
    return Bad(ValueStatus::kBadLength);
  }
  std::optional<std::string> text = Utf16LeToUtf8(bytes);
  if (!text) return Bad(ValueStatus::kBadLength);
  return Text(std::move(*text));
}

}  // namespace

ValueText FormatValue(const ColumnType& type, std::span<const uint8_t> bytes) {
  const uint8_t* p = bytes.data();
  switch (type.systemType) {
    case kTinyInt:
      if (bytes.size() != 1) return Bad(ValueStatus::kBadLength);
      return Text(std::to_string(p[0]));
    case kBit:
      if (bytes.size() != 1) return Bad(ValueStatus::kBadLength);
      return Text(p[0] != 0 ? "1" : "0");
    case kSmallInt: return SignedInteger(bytes, 2);
    case kInt: return SignedInteger(bytes, 4);
    case kBigInt: return SignedInteger(bytes, 8);
    case kMoney:
      if (bytes.size() != 8) return Bad(ValueStatus::kBadLength);
      return FixedPoint4(static_cast<int64_t>(LoadLe64(p)));
    case kSmallMoney:
      if (bytes.size() != 4) return Bad(ValueStatus::kBadLength);
      return FixedPoint4(static_cast<int32_t>(LoadLe32(p)));
    case kReal:
      if (bytes.size() != 4) return Bad(ValueStatus::kBadLength);
      return Floating(std::bit_cast<float>(LoadLe32(p)));
    case kFloat:
      if (bytes.size() != 8) return Bad(ValueStatus::kBadLength);
      return Floating(std::bit_cast<double>(LoadLe64(p)));
    case kDecimal:
    case kNumeric: return Decimal(type, bytes);
    case kDateTime: return FormatDateTimeValue(bytes);
    case kSmallDateTime: return FormatSmallDateTimeValue(bytes);
    case kDate: return FormatDateValue(bytes);
    case kTime: return FormatTimeValue(type.scale, bytes);
    case kDateTime2: return FormatDateTime2Value(type.scale, bytes);
    case kDateTimeOffset: return FormatDateTimeOffsetValue(type.scale, bytes);
    case kUniqueIdentifier: return Guid(bytes);
    case kTimestamp:
      if (bytes.size() != 8) return Bad(ValueStatus::kBadLength);
      return Binary(type, bytes);
    case kBinary:
    case kVarBinary:
    case kImage: return Binary(type, bytes);
    case kChar:
    case kVarChar:
    case kText: return CodePageText(type, bytes);
    case kNChar:
    case kNVarChar:
    case kNText: return UnicodeText(type, bytes);
    default: return Bad(ValueStatus::kNotDecoded);  // xml, sql_variant, CLR types, unknown ids
  }
}

}  // namespace pagerake
