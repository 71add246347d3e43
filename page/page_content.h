// Facts taken out of a whole 8192-byte page held in memory: whether it is intact, the sector-end
// bits that torn-page protection replaced, a run of bytes, and the file size and file name that a
// database file records in its pages 0 and 32.
//
// Every function here reads only inside the page it is given, whatever the page's bytes say.
// None reads the data source; callers read pages first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace pagerake {

// How a page protects itself against partial writes: the low nibble of the flagBits high byte.
enum class PageProtection { kNone = 0, kTornBits = 1, kChecksum = 2, kUnknown = 3 };

PageProtection ProtectionOf(const uint8_t* page);
// "none", "torn", "checksum" or "unknown".
const char* ProtectionName(PageProtection p);

// True when all 8192 bytes are zero.
bool IsZeroPage(const uint8_t* page);

// The page checksum over all words but the stored one (word 15), as the database computes it.
uint32_t ComputePageChecksum(const uint8_t* page);

// True when the page is all zero, or its torn bits (sectors 1 to 15) or its checksum agree with
// its contents. A page with neither protection is not verified. Apply before RestoreTornBits.
bool VerifyPage(const uint8_t* page);

// Puts back, in place, the two low bits of the last byte of sectors 1 to 15 that torn-page
// protection replaced with its pattern. Pages without torn-page protection stay unchanged.
void RestoreTornBits(uint8_t* page);

// Copies `count` bytes at `offset` of the page to `dest`. False, and nothing copied, when the
// range does not lie inside the page.
[[nodiscard]] bool CopyPageBytes(const uint8_t* page, int offset, int count, void* dest);

// The first-record offset (slot 0) when it is usable: not negative and not inside the slot array
// at the end of the page.
std::optional<int> FirstRecordOffset(const uint8_t* page);

// The file size in pages that a file header page (page 0) records: the 32-bit value in front of
// the first FF FF FF FF in its first record. Nothing when there is none.
std::optional<int32_t> ReadFileSizePages(const uint8_t* page);

// The database file name that page 32 records, in UTF-8, ending in ".mdf": the UTF-16 text
// between the last double space and ".mdf" in its records. Nothing when there is none.
std::optional<std::string> ReadRecordedFileName(const uint8_t* page);

// `units` UTF-16LE code units at `text` as UTF-8, with leading and trailing spaces and control
// characters removed; a surrogate without its partner becomes U+FFFD.
std::string Utf16ToTrimmedUtf8(const uint8_t* text, int units);

// Appends one code point (at most U+10FFFF, no surrogates) in UTF-8.
void AppendUtf8(std::string& out, uint32_t codePoint);

}  // namespace pagerake
