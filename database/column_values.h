// A column's stored bytes as the text an export writes (without CSV quoting: the caller quotes).
//
//   integers, bit       decimal digits; bit is "0" or "1" (any non-zero byte is 1)
//   decimal, numeric    exactly `scale` digits after the point, "-" before a negative value
//   money, smallmoney   four digits after the point
//   float, real         the shortest text that reads back to the same value
//   datetime            "YYYY-MM-DDTHH:MM:SS.mmm", the milliseconds rounded to .000/.003/.007
//   smalldatetime       "YYYY-MM-DDTHH:MM:SS"
//   date                "YYYY-MM-DD"
//   time(n)             "HH:MM:SS" and, for n > 0, "." and n digits
//   datetime2(n)        "YYYY-MM-DDTHH:MM:SS[.n digits]"
//   datetimeoffset(n)   the local time as datetime2(n), then "+HH:MM" or "-HH:MM"
//   uniqueidentifier    "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", upper-case
//   binary types        "0x" and upper-case hex (binary, varbinary, image, timestamp)
//   char types          UTF-8; char and nchar keep their trailing spaces
//   xml, sql_variant, CLR types: not decoded
//
// Each layout is documented beside the code that reads it (column_values.cpp,
// column_time_values.cpp). Nothing outside the given span is read.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "database/code_pages.h"
#include "database/column_type.h"

namespace pagerake {

enum class ValueStatus {
  kOk,
  kBadLength,        // a fixed-size type got another number of bytes, or a text is cut in half
  kUnknownCodePage,  // a char type whose collation or code page this program cannot convert
  kNotDecoded,       // a type this program does not turn into text (xml, sql_variant, CLR),
                     // or type parameters no column can have (time scale 9, precision 40)
  kBadValue,         // the right number of bytes, holding no value the type can have (a time
                     // past midnight, a decimal wider than its precision, a bad sign byte)
};

struct ValueText {
  ValueStatus status = ValueStatus::kOk;
  std::string text;  // the value's text when status is kOk, empty otherwise
};

ValueText FormatValue(const ColumnType& type, std::span<const uint8_t> bytes);

}  // namespace pagerake
