// The date and time types' values as text. FormatValue (column_values.h) hands these types here;
// column_type.cpp takes their sizes from here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "database/column_values.h"

namespace pagerake {

inline constexpr int kDateBytes = 3;    // date, and the date part of datetime2/datetimeoffset
inline constexpr int kOffsetBytes = 2;  // the time-zone offset of datetimeoffset

// Bytes of the time part of time(scale), datetime2(scale), datetimeoffset(scale): 3 for scales
// 0-2, 4 for 3-4, 5 for 5-7; nothing for a scale above 7.
std::optional<int> TimeStorageBytes(int scale);

ValueText FormatDateTimeValue(std::span<const uint8_t> bytes);
ValueText FormatSmallDateTimeValue(std::span<const uint8_t> bytes);
ValueText FormatDateValue(std::span<const uint8_t> bytes);
ValueText FormatTimeValue(int scale, std::span<const uint8_t> bytes);
ValueText FormatDateTime2Value(int scale, std::span<const uint8_t> bytes);
ValueText FormatDateTimeOffsetValue(int scale, std::span<const uint8_t> bytes);

}  // namespace pagerake
