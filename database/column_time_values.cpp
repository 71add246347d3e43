// The date and time types. All counts are little-endian, and all calendars are the proleptic
// Gregorian one.
//
//   datetime        8 bytes: 4-byte unsigned time of day in 1/300 s (0..25919999), then 4-byte
//                   signed days since 1900-01-01 (-53690 = 1753-01-01 .. 2958463 = 9999-12-31)
//   smalldatetime   4 bytes: 2-byte minutes since midnight (0..1439), then 2-byte unsigned days
//                   since 1900-01-01 (up to 2079-06-06)
//   date            3 bytes: days since 0001-01-01 (up to 3652058 = 9999-12-31)
//   time(n)         3 bytes for n 0-2, 4 for 3-4, 5 for 5-7: units of 10^-n s since midnight
//   datetime2(n)    time(n), then date
//   datetimeoffset(n)  datetime2(n) holding UTC, then a 2-byte signed offset in minutes
//                   (-840..840) that gives the local time the value was written in
#include "database/column_time_values.h"

#include "page/byte_order.h"

namespace pagerake {
namespace {

constexpr int64_t kDaysTo1900 = 693595;  // from 0001-01-01 to 1900-01-01
constexpr int64_t kLastDay = 3652058;    // 9999-12-31, in days since 0001-01-01
constexpr int64_t kDateTimeFirstDay = -53690;
constexpr int64_t kDateTimeLastDay = 2958463;
constexpr uint32_t kDateTimeTicksPerDay = 86400 * 300;
constexpr int kMaxOffsetMinutes = 14 * 60;
constexpr int kMaxScale = 7;

constexpr int64_t kPowersOf10[kMaxScale + 1] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

ValueText Bad(ValueStatus status) { return ValueText{status, {}}; }

// Three bytes and five bytes, the odd widths of date and time.
uint32_t LoadLe24(const uint8_t* p) { return LoadLe16(p) | (static_cast<uint32_t>(p[2]) << 16); }

uint64_t LoadTimeUnits(const uint8_t* p, int width) {
  switch (width) {
    case 3: return LoadLe24(p);
    case 4: return LoadLe32(p);
    default: return LoadLe32(p) | (static_cast<uint64_t>(p[4]) << 32);
  }
}

void AppendPadded(std::string& out, uint64_t value, int width) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (int i = n; i < width; ++i) out += '0';
  while (n > 0) out += digits[--n];
}

// "YYYY-MM-DD" for a day counted from 0001-01-01. Counting years from 0000-03-01 puts each leap
// day at a year's end, so within a year the months from March repeat a 153-day, five-month
// pattern; a 400-year era is 146097 days.
void AppendDate(std::string& out, int64_t day) {
  const int64_t z = day + 306;  // 0000-03-01 is 306 days before 0001-01-01
  const int64_t era = z / 146097;
  const int64_t dayOfEra = z - era * 146097;
  const int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  const int64_t dayOfMonth = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  const int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  const int64_t year = era * 400 + yearOfEra + (month <= 2 ? 1 : 0);
  AppendPadded(out, static_cast<uint64_t>(year), 4);
  out += '-';
  AppendPadded(out, static_cast<uint64_t>(month), 2);
  out += '-';
  AppendPadded(out, static_cast<uint64_t>(dayOfMonth), 2);
}

// "HH:MM:SS" and, for a scale above 0, the fraction: `units` counts 10^-scale seconds.
void AppendClock(std::string& out, uint64_t units, int scale) {
  const uint64_t perSecond = static_cast<uint64_t>(kPowersOf10[scale]);
  const uint64_t seconds = units / perSecond;
  AppendPadded(out, seconds / 3600, 2);
  out += ':';
  AppendPadded(out, seconds / 60 % 60, 2);
  out += ':';
  AppendPadded(out, seconds % 60, 2);
  if (scale > 0) {
    out += '.';
    AppendPadded(out, units % perSecond, scale);
  }
}

uint64_t UnitsPerDay(int scale) { return 86400ull * static_cast<uint64_t>(kPowersOf10[scale]); }

// The local date and time of datetime2 and datetimeoffset, checked against the type's range.
ValueText DateAndClock(int64_t day, uint64_t units, int scale) {
  if (day < 0 || day > kLastDay || units >= UnitsPerDay(scale)) return Bad(ValueStatus::kBadValue);
  ValueText v;
  AppendDate(v.text, day);
  v.text += 'T';
  AppendClock(v.text, units, scale);
  return v;
}

}  // namespace

std::optional<int> TimeStorageBytes(int scale) {
  if (scale < 0 || scale > kMaxScale) return std::nullopt;
  return scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
}

ValueText FormatDateTimeValue(std::span<const uint8_t> bytes) {
  if (bytes.size() != 8) return Bad(ValueStatus::kBadLength);
  const uint32_t ticks = LoadLe32(bytes.data());
  const int64_t day = static_cast<int32_t>(LoadLe32(bytes.data() + 4));
  if (ticks >= kDateTimeTicksPerDay || day < kDateTimeFirstDay || day > kDateTimeLastDay) {
    return Bad(ValueStatus::kBadValue);
  }
  // 300 ticks make 1000 ms; a tick is 3 1/3 ms, shown rounded to the nearest millisecond, so the
  // last digit is always 0, 3 or 7.
  const uint64_t milliseconds = (static_cast<uint64_t>(ticks) * 10 + 1) / 3;
  ValueText v;
  AppendDate(v.text, day + kDaysTo1900);
  v.text += 'T';
  AppendClock(v.text, milliseconds, 3);
  return v;
}

ValueText FormatSmallDateTimeValue(std::span<const uint8_t> bytes) {
  if (bytes.size() != 4) return Bad(ValueStatus::kBadLength);
  const uint16_t minutes = LoadLe16(bytes.data());
  const uint16_t day = LoadLe16(bytes.data() + 2);
  if (minutes >= 24 * 60) return Bad(ValueStatus::kBadValue);
  ValueText v;
  AppendDate(v.text, day + kDaysTo1900);
  v.text += 'T';
  AppendClock(v.text, minutes * 60ull, 0);
  return v;
}

ValueText FormatDateValue(std::span<const uint8_t> bytes) {
  if (bytes.size() != kDateBytes) return Bad(ValueStatus::kBadLength);
  const uint32_t day = LoadLe24(bytes.data());
  if (day > kLastDay) return Bad(ValueStatus::kBadValue);
  ValueText v;
  AppendDate(v.text, day);
  return v;
}

ValueText FormatTimeValue(int scale, std::span<const uint8_t> bytes) {
  const std::optional<int> width = TimeStorageBytes(scale);
  if (!width) return Bad(ValueStatus::kNotDecoded);
  if (bytes.size() != static_cast<size_t>(*width)) return Bad(ValueStatus::kBadLength);
  const uint64_t units = LoadTimeUnits(bytes.data(), *width);
  if (units >= UnitsPerDay(scale)) return Bad(ValueStatus::kBadValue);
  ValueText v;
  AppendClock(v.text, units, scale);
  return v;
}

ValueText FormatDateTime2Value(int scale, std::span<const uint8_t> bytes) {
  const std::optional<int> width = TimeStorageBytes(scale);
  if (!width) return Bad(ValueStatus::kNotDecoded);
  if (bytes.size() != static_cast<size_t>(*width + kDateBytes)) {
    return Bad(ValueStatus::kBadLength);
  }
  return DateAndClock(LoadLe24(bytes.data() + *width), LoadTimeUnits(bytes.data(), *width),
                      scale);
}

ValueText FormatDateTimeOffsetValue(int scale, std::span<const uint8_t> bytes) {
  const std::optional<int> width = TimeStorageBytes(scale);
  if (!width) return Bad(ValueStatus::kNotDecoded);
  if (bytes.size() != static_cast<size_t>(*width + kDateBytes + kOffsetBytes)) {
    return Bad(ValueStatus::kBadLength);
  }
  const uint64_t utcUnits = LoadTimeUnits(bytes.data(), *width);
  const int64_t utcDay = LoadLe24(bytes.data() + *width);
  const int offset = static_cast<int16_t>(LoadLe16(bytes.data() + *width + kDateBytes));
  const int64_t perDay = static_cast<int64_t>(UnitsPerDay(scale));
  if (utcUnits >= static_cast<uint64_t>(perDay) || utcDay > kLastDay ||
      offset < -kMaxOffsetMinutes || offset > kMaxOffsetMinutes) {
    return Bad(ValueStatus::kBadValue);
  }
  // The local time is the UTC time moved by the offset, which may change the day. At most
  // 3652059 days of 8.64e11 units: well inside 64 bits.
  const int64_t local = utcDay * perDay + static_cast<int64_t>(utcUnits) +
                        static_cast<int64_t>(offset) * 60 * kPowersOf10[scale];
  if (local < 0) return Bad(ValueStatus::kBadValue);
  ValueText v = DateAndClock(local / perDay, static_cast<uint64_t>(local % perDay), scale);
  if (v.status != ValueStatus::kOk) return v;
  const int magnitude = offset < 0 ? -offset : offset;
  v.text += offset < 0 ? '-' : '+';
  AppendPadded(v.text, static_cast<uint64_t>(magnitude / 60), 2);
  v.text += ':';
  AppendPadded(v.text, static_cast<uint64_t>(magnitude % 60), 2);
  return v;
}

}  // namespace pagerake
