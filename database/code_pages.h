// Which Windows code page a collation stores char, varchar and text in, and that code page's
// bytes (or UTF-16LE, for the n-types) as UTF-8. The tables are this program's own data: no
// platform conversion service is used, so the result is the same on every host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "page/page_content.h"  // AppendUtf8

namespace pagerake {

// The code page of a collation id as syscolpars.collationid records it:
//
//   bits  0-11  the Windows locale's ordinal in SQL Server's list of collation designators
//               (8 Latin1_General, 21 Cyrillic_General, ...)
//   bits 12-19  comparison flags: 12 ignore case, 13 ignore accent, 14 ignore kana,
//               15 ignore width, 16 binary, 17 binary2, 18 UTF-8
//   bits 20-23  collation version
//   bits 24-31  SQL sort order id; non-zero for the SQL_* collations, and then it alone names
//               the code page (52 SQL_Latin1_General_CP1_CI_AS: 872468488 = 0x3400D008)
//
// Gives 65001 for a UTF-8 collation; nothing for 0, for an unknown ordinal or sort id, and for
// locales that have no code page (Unicode-only collations such as Hindi, which no char column
// can use).
std::optional<int> CodePageOfCollation(uint32_t collationId);

// Bytes in a code page as UTF-8. Single-byte code pages 437, 850, 874 and 1250-1258 convert every
// byte (bytes the code page leaves undefined become U+FFFD). 65001 is UTF-8: checked, and every
// byte of a broken sequence becomes U+FFFD. The double-byte code pages 932, 936, 949 and 950
// convert only text that is all ASCII (their lower half is ASCII): anything else, and any other
// code page, gives nothing.
std::optional<std::string> CodePageToUtf8(int codePage, std::span<const uint8_t> bytes);

// UTF-16LE as UTF-8: surrogate pairs are joined, an unpaired surrogate becomes U+FFFD. Nothing
// for an odd number of bytes.
std::optional<std::string> Utf16LeToUtf8(std::span<const uint8_t> bytes);

// The upper half (bytes 0x80-0xFF) of a single-byte code page in code_page_tables.cpp: 128 UTF-16
// code units, U+FFFD where the code page defines nothing; nullptr for other code pages.
const uint16_t* SingleByteUpperHalf(int codePage);

// A double-byte code page (936, 950): the pairs of each lead byte, and the bytes at or above 0x80
// that stand alone.
struct DoubleByteRow {
  uint8_t lead;
  uint16_t units[0xFF - 0x40];  // trail bytes 0x40 to 0xFE; 0 where the pair is undefined
};
struct DoubleByteSingle {
  uint8_t byte;
  uint16_t unit;
};
struct DoubleBytePage {
  int codePage;
  const DoubleByteRow* rows;
  size_t rowCount;
  const DoubleByteSingle* singles;
  size_t singleCount;
};
// The table of a double-byte code page this program holds; null for any other.
const DoubleBytePage* DoubleByteTable(int codePage);

}  // namespace pagerake
