// The two scramblings of a saved scan: fragment lines as hexadecimal text, and pages of the
// content file as rotated and keyed 32-bit words.
//
// Encoded line: two hexadecimal digits of a start value s, then for every byte c of the line
// s := ((s + c) mod 255) XOR key byte, as two digits. Digits are written in upper case and read in
// either case. The scan-info file encodes every line with the key "QVKZT".
//
// Content pages: every little-endian 32-bit word w of the page becomes (w rotated right by one
// bit) XOR key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pagerake {

inline constexpr std::string_view kScanInfoKey = "QVKZT";

// The encoded form of `text` with the given start value (chosen at random by the caller).
// Lines hold no byte 0.
std::string EncodeLine(std::string_view text, std::string_view key, uint8_t startValue);

// Why an encoded line cannot be decoded.
enum class LineFault { kNone, kEmpty, kOddLength, kNotHex };

// The text of an encoded line; nothing (with the reason in `fault` when given) when the line is
// empty, has an odd number of characters or holds a character that is not a hexadecimal digit.
std::optional<std::string> DecodeLine(std::string_view encoded, std::string_view key,
                                      LineFault* fault = nullptr);

// Scrambles an 8192-byte page in place with `key`, and undoes it.
void ScramblePage(uint8_t* page, uint32_t key);
void UnscramblePage(uint8_t* page, uint32_t key);

}  // namespace pagerake
