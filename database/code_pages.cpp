#include "database/code_pages.h"

#include <algorithm>
#include <iterator>

#include "page/byte_order.h"

namespace pagerake {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;
constexpr uint32_t kUtf8Flag = 1u << 18;
constexpr int kUtf8CodePage = 65001;

// The code page of each Windows locale by its ordinal (collation id bits 0-11); 0 where the
// locale has none (Unicode-only) or the ordinal names no locale. The ordinals are SQL Server's
// order of its collation designators, which is neither alphabetical nor by LCID: it matches the
// ids real databases carry (3 Chinese_Taiwan_Stroke, 8 Latin1_General, 20 Romanian,
// 21 Cyrillic_General).
constexpr uint16_t kLocaleCodePages[] = {
    0,     // 0   -
    1256,  // 1   Arabic
    1256,  // 2   Dari
    950,   // 3   Chinese_Taiwan_Stroke
    1250,  // 4   Czech
    1252,  // 5   Danish_Norwegian
    1251,  // 6   Yakut
    1253,  // 7   Greek
    1252,  // 8   Latin1_General
    1252,  // 9   Traditional_Spanish
    1252,  // 10  Finnish_Swedish
    1252,  // 11  French
    1255,  // 12  Hebrew
    1250,  // 13  Hungarian
    1252,  // 14  Icelandic
    1252,  // 15  Corsican
    932,   // 16  Japanese
    949,   // 17  Korean_Wansung
    0,     // 18  Maori
    1250,  // 19  Polish
    1250,  // 20  Romanian
    1251,  // 21  Cyrillic_General
    1250,  // 22  Croatian
    1250,  // 23  Slovak
    1250,  // 24  Albanian
    874,   // 25  Thai
    1254,  // 26  Turkish
    1251,  // 27  Ukrainian
    1250,  // 28  Slovenian
    1257,  // 29  Estonian
    1257,  // 30  Latvian
    1257,  // 31  Lithuanian
    1258,  // 32  Vietnamese
    1251,  // 33  Macedonian
    0,     // 34  Hindi
    0,     // 35  (the system default locale)
    936,   // 36  Chinese_PRC
    1256,  // 37  Uighur
    1252,  // 38  Breton
    1257,  // 39  Lithuanian_Classic
    1252,  // 40  Modern_Spanish
    1252,  // 41  German_PhoneBook
    1250,  // 42  Hungarian_Technical
    932,   // 43  Japanese_Unicode
    949,   // 44  Korean_Wansung_Unicode
    1252,  // 45  Georgian_Modern_Sort
    936,   // 46  Chinese_PRC_Stroke
    950,   // 47  Chinese_Taiwan_Bopomofo
    1254,  // 48  Azeri_Latin
    1251,  // 49  Kazakh
    1254,  // 50  Uzbek_Latin
    1251,  // 51  Tatar
    0,     // 52  Syriac
    0,     // 53  Divehi
    1251,  // 54  Azeri_Cyrillic
    950,   // 55  Chinese_Hong_Kong_Stroke
    1252,  // 56  Mohawk
    950,   // 57  Chinese_Traditional_Pinyin
    950,   // 58  Chinese_Traditional_Stroke_Order
    932,   // 59  Japanese_Bushu_Kakusu
    1252,  // 60  Norwegian
    1252,  // 61  Romansh
    1250,  // 62  Serbian_Latin
    1251,  // 63  Serbian_Cyrillic
    1250,  // 64  Bosnian_Latin
    1251,  // 65  Bosnian_Cyrillic
    1256,  // 66  Urdu
    1256,  // 67  Persian
    1252,  // 68  Mapudungan
    1252,  // 69  Upper_Sorbian
    1251,  // 70  Bashkir
    0,     // 71  Maltese
    1252,  // 72  Sami_Norway
    1252,  // 73  Sami_Sweden_Finland
    1250,  // 74  Turkmen
    0,     // 75  Bengali
    0,     // 76  Assamese
    0,     // 77  Pashto
    0,     // 78  Tibetan
    1252,  // 79  Welsh
    0,     // 80  Khmer
    0,     // 81  Lao
    1252,  // 82  Frisian
    1252,  // 83  Tamazight
    0,     // 84  Nepali
};

// The code page of a SQL sort order id (collation id bits 24-31), 0 for ids that name none.
int SortOrderCodePage(uint32_t sortId) {
  if (sortId >= 30 && sortId <= 35) return 437;    // SQL_Latin1_General_CP437_*
  if (sortId >= 40 && sortId <= 45) return 850;    // SQL_Latin1_General_CP850_*
  if (sortId == 49) return 850;                    // SQL_1xCompat_CP850_CI_AS
  if (sortId >= 50 && sortId <= 54) return 1252;   // SQL_Latin1_General_CP1_*
  if (sortId >= 55 && sortId <= 61) return 850;    // SQL_AltDiction_, SQL_Scandinavian_CP850_*
  if (sortId >= 71 && sortId <= 75) return 1252;
  if (sortId >= 80 && sortId <= 98) return 1250;   // SQL_Czech_, SQL_Polish_, ... CP1250_*
  if (sortId >= 104 && sortId <= 108) return 1251; // SQL_Latin1_General_CP1251_, SQL_Ukrainian_
  if (sortId >= 112 && sortId <= 124) return 1253; // SQL_*_CP1253_*
  if (sortId >= 128 && sortId <= 130) return 1254;
  if (sortId >= 136 && sortId <= 138) return 1255;
  if (sortId >= 144 && sortId <= 146) return 1256;
  if (sortId >= 152 && sortId <= 160) return 1257; // also SQL_Estonian_, SQL_Latvian_, ...
  if (sortId >= 183 && sortId <= 186) return 1252; // SQL_Danish_Pref_CP1_CI_AS, ...
  switch (sortId) {
    case 192: case 193: case 200: return 932;
    case 194: case 195: case 201: return 949;
    case 196: case 197: case 202: return 950;
    case 198: case 199: case 203: return 936;
    case 204: case 205: case 206: return 874;
    default: break;
  }
  if (sortId >= 210 && sortId <= 217) return 1252; // SQL_EBCDIC*_CP1_CS_AS
  return 0;
}

// Bytes that are all below 0x80: ASCII in every code page here.
bool IsAscii(std::span<const uint8_t> bytes) {
  for (uint8_t b : bytes) {
    if (b >= 0x80) return false;
  }
  return true;
}

// UTF-8 checked sequence by sequence: a lead byte, the continuation bytes it promises, no
// overlong form, no surrogate, nothing above U+10FFFF. Each byte of anything else is U+FFFD.
std::string CheckedUtf8(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t lead = bytes[i];
    int extra = -1;  // continuation bytes the lead byte promises; -1 for no lead byte
    uint32_t cp = lead;
    uint32_t minimum = 0;
    if (lead < 0x80) {
      extra = 0;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      cp = lead & 0x1F;
      minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      cp = lead & 0x0F;
      minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      cp = lead & 0x07;
      minimum = 0x10000;
    }
    bool ok = extra >= 0 && i + static_cast<size_t>(extra) < bytes.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const uint8_t next = bytes[i + k];
      ok = (next & 0xC0) == 0x80;
      cp = (cp << 6) | (next & 0x3F);
    }
    ok = ok && cp >= minimum && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
    if (!ok) {
      AppendUtf8(out, kReplacement);
      ++i;
      continue;
    }
    out.append(reinterpret_cast<const char*>(bytes.data() + i), static_cast<size_t>(extra) + 1);
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

// Text in a double-byte code page: a byte below 0x80 is ASCII, a lead byte takes the next byte
// with it, any other byte stands alone. A pair or byte the code page does not define, and a lead
// byte at the end or before a byte that cannot follow it, is U+FFFD.
std::string DoubleByteToUtf8(const DoubleBytePage& page, std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 3 / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t b = bytes[i];
    if (b < 0x80) {
      out += static_cast<char>(b);
      continue;
    }
    const DoubleByteRow* end = page.rows + page.rowCount;
    const DoubleByteRow* row = std::lower_bound(
        page.rows, end, b, [](const DoubleByteRow& r, uint8_t lead) { return r.lead < lead; });
    if (row != end && row->lead != b) row = end;
    if (row == end) row = nullptr;
    uint32_t unit = 0;
    if (row != nullptr) {
      if (i + 1 < bytes.size() && bytes[i + 1] >= 0x40 && bytes[i + 1] < 0xFF) {
        unit = row->units[bytes[i + 1] - 0x40];
        ++i;
      }
    } else {
      for (size_t k = 0; k < page.singleCount; ++k) {
        if (page.singles[k].byte == b) unit = page.singles[k].unit;
      }
    }
    AppendUtf8(out, unit != 0 ? unit : kReplacement);
  }
  return out;
}

}  // namespace

extern const DoubleBytePage kCodePage936;
extern const DoubleBytePage kCodePage950;

const DoubleBytePage* DoubleByteTable(int codePage) {
  if (codePage == 936) return &kCodePage936;
  if (codePage == 950) return &kCodePage950;
  return nullptr;
}

std::optional<int> CodePageOfCollation(uint32_t collationId) {
  if (collationId == 0) return std::nullopt;
  if (collationId & kUtf8Flag) return kUtf8CodePage;
  const uint32_t sortId = collationId >> 24;
  int codePage = 0;
  if (sortId != 0) {
    codePage = SortOrderCodePage(sortId);
  } else {
    const uint32_t ordinal = collationId & 0xFFF;
    if (ordinal < std::size(kLocaleCodePages)) codePage = kLocaleCodePages[ordinal];
  }
  if (codePage == 0) return std::nullopt;
  return codePage;
}

std::optional<std::string> CodePageToUtf8(int codePage, std::span<const uint8_t> bytes) {
  if (codePage == kUtf8CodePage) return CheckedUtf8(bytes);
  if (const uint16_t* upper = SingleByteUpperHalf(codePage)) {
    std::string out;
    out.reserve(bytes.size());
    for (uint8_t b : bytes) {
      if (b < 0x80) {
        out += static_cast<char>(b);
      } else {
        AppendUtf8(out, upper[b - 0x80]);
      }
    }
    return out;
  }
  if (const DoubleBytePage* table = DoubleByteTable(codePage)) return DoubleByteToUtf8(*table, bytes);
  const bool doubleByte = codePage == 932 || codePage == 949;
  if (doubleByte && IsAscii(bytes)) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  return std::nullopt;
}

std::optional<std::string> Utf16LeToUtf8(std::span<const uint8_t> bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  const size_t units = bytes.size() / 2;
  std::string out;
  out.reserve(units);
  for (size_t k = 0; k < units; ++k) {
    const uint32_t unit = LoadLe16(bytes.data() + 2 * k);
    if (unit >= 0xD800 && unit <= 0xDBFF && k + 1 < units) {
      const uint32_t low = LoadLe16(bytes.data() + 2 * (k + 1));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++k;
        continue;
      }
    }
    AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
  }
  return out;
}

}  // namespace pagerake
