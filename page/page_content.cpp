#include "page/page_content.h"

#include <bit>
#include <cstring>

#include "page/byte_order.h"
#include "page/page_header.h"

namespace pagerake {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

namespace {

// Offset of the slot array's last entry, which holds the first record's offset.
constexpr int kFirstSlotOffset = kPageSize - 2;  // 8190

// Longest recorded name that is taken, in UTF-16 units.
constexpr int kMaxNameUnits = 4001;

// UTF-16LE units to UTF-8, with leading and trailing spaces and control characters removed.
// A surrogate without its partner becomes U+FFFD.

bool IsMdfSuffixAt(const uint8_t* p) {
  return p[0] == '.' && p[1] == 0 && (p[2] | 0x20) == 'm' && p[3] == 0 && (p[4] | 0x20) == 'd' &&
         p[5] == 0 && (p[6] | 0x20) == 'f' && p[7] == 0;
}

}  // namespace

PageProtection ProtectionOf(const uint8_t* page) {
  switch (page[5] & 0x0F) {
    case 0: return PageProtection::kNone;
    case 1: return PageProtection::kTornBits;
    case 2: return PageProtection::kChecksum;
    default: return PageProtection::kUnknown;
  }
}

const char* ProtectionName(PageProtection p) {
  switch (p) {
    case PageProtection::kNone: return "none";
    case PageProtection::kTornBits: return "torn";
    case PageProtection::kChecksum: return "checksum";
    case PageProtection::kUnknown: break;
  }
  return "unknown";
}

bool IsZeroPage(const uint8_t* page) {
  uint64_t acc = 0;
  for (int i = 0; i < kPageSize; i += 8) acc |= LoadLe64(page + i);
  return acc == 0;
}

uint32_t ComputePageChecksum(const uint8_t* page) {
  // Each sector's words are XORed together first; rotation distributes over XOR, so rotating the
  // sector's sum once equals rotating every word of it. The words are XORed 8 bytes at a time in
  // four independent lanes and the two halves folded, which gives the XOR of the 4-byte
  // little-endian words on a little-endian host, several times faster than a word at a time.
  static_assert(std::endian::native == std::endian::little);
  uint32_t sum = 0;
  for (int sector = 0; sector < kSectorsPerPage; ++sector) {
    const uint8_t* s = page + sector * kSectorSize;
    uint64_t lanes[4] = {0, 0, 0, 0};
    for (int i = 0; i < kSectorSize; i += 32) {
      for (int k = 0; k < 4; ++k) {
        uint64_t word = 0;
        std::memcpy(&word, s + i + 8 * k, sizeof word);
        lanes[k] ^= word;
      }
    }
    const uint64_t wide = lanes[0] ^ lanes[1] ^ lanes[2] ^ lanes[3];
    uint32_t x = static_cast<uint32_t>(wide) ^ static_cast<uint32_t>(wide >> 32);
    if (sector == 0) x ^= LoadLe32(page + header_offset::kTornBits);  // word 15 is left out
    sum ^= std::rotl(x, 15 - sector);
  }
  return sum;
}

bool VerifyPage(const uint8_t* page) {
  if (IsZeroPage(page)) return true;
  const uint32_t stored = LoadLe32(page + header_offset::kTornBits);
  switch (ProtectionOf(page)) {
    case PageProtection::kTornBits: {
      const uint8_t t = stored & 3;
      for (int s = 1; s < kSectorsPerPage; ++s) {
        if ((page[s * kSectorSize + kSectorSize - 1] & 3) != t) return false;
      }
      return true;
    }
    case PageProtection::kChecksum:
      return ComputePageChecksum(page) == stored;
    default:
      return false;
  }
}

void RestoreTornBits(uint8_t* page) {
  if ((page[5] & 0x01) == 0) return;
  const uint32_t torn = LoadLe32(page + header_offset::kTornBits);
  if ((torn & 3) != 1 && (torn & 3) != 2) return;
  for (int s = 1; s < kSectorsPerPage; ++s) {
    uint8_t& last = page[s * kSectorSize + kSectorSize - 1];
    last = static_cast<uint8_t>((last & 0xFC) | ((torn >> (2 * s)) & 3));
  }
}

bool CopyPageBytes(const uint8_t* page, int offset, int count, void* dest) {
  if (offset < 0 || count < 0 || offset > kPageSize - count) return false;
  std::memcpy(dest, page + offset, static_cast<size_t>(count));
  return true;
}

std::optional<int> FirstRecordOffset(const uint8_t* page) {
  const int first = static_cast<int16_t>(LoadLe16(page + kFirstSlotOffset));
  const int slots = LoadLe16(page + header_offset::kSlotCount);
  const int slotArrayStart = kPageSize - 2 * (slots > 0 ? slots : 1);
  if (first < 0 || first >= slotArrayStart) return std::nullopt;
  return first;
}

std::optional<int32_t> ReadFileSizePages(const uint8_t* page) {
  const std::optional<int> first = FirstRecordOffset(page);
  if (!first) return std::nullopt;
  for (int i = *first; i + 3 < kFirstSlotOffset; ++i) {
    if (page[i] == 0xFF && page[i + 1] == 0xFF && page[i + 2] == 0xFF && page[i + 3] == 0xFF) {
      if (i < 4) return std::nullopt;  // the size would lie before the page
      return static_cast<int32_t>(LoadLe32(page + i - 4));
    }
  }
  return std::nullopt;
}

std::optional<std::string> ReadRecordedFileName(const uint8_t* page) {
  const std::optional<int> first = FirstRecordOffset(page);
  if (!first) return std::nullopt;
  const int p = *first;

  // 1. Forward to the first ".mdf" in UTF-16.
  int suffix = -1;
  for (int i = p; i < kFirstSlotOffset && i + 7 < kPageSize; ++i) {
    if (IsMdfSuffixAt(page + i)) {
      suffix = i;
      break;
    }
  }
  if (suffix < 0) return std::nullopt;

  // 2. Back, in steps of one UTF-16 unit, to the two spaces in front of the name.
  int spaces = -1;
  for (int j = suffix - 2; j >= 0; j -= 2) {
    if (page[j] == 0x20 && page[j + 1] == 0 && page[j + 2] == 0x20 && page[j + 3] == 0) {
      spaces = j;
      break;
    }
    if (j <= p) break;
  }
  if (spaces < 0) return std::nullopt;

  // 3. The text between them, up to a NUL and at most kMaxNameUnits units.
  const uint8_t* text = page + spaces + 4;
  int units = (suffix - (spaces + 4)) / 2;
  if (units > kMaxNameUnits) units = kMaxNameUnits;
  for (int k = 0; k < units; ++k) {
    if (LoadLe16(text + 2 * k) == 0) {
      units = k;
      break;
    }
  }
  return Utf16ToTrimmedUtf8(text, units) + ".mdf";
}

std::string Utf16ToTrimmedUtf8(const uint8_t* text, int units) {
  int begin = 0;
  int end = units;
  while (begin < end && LoadLe16(text + 2 * begin) <= 0x20) ++begin;
  while (end > begin && LoadLe16(text + 2 * (end - 1)) <= 0x20) --end;
  std::string out;
  for (int k = begin; k < end; ++k) {
    uint32_t u = LoadLe16(text + 2 * k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < end) {
      const uint32_t low = LoadLe16(text + 2 * (k + 1));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++k;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    AppendUtf8(out, u);
  }
  return out;
}

}  // namespace pagerake
