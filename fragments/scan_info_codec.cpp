#include "fragments/scan_info_codec.h"

#include <bit>
#include <cstring>

#include "page/byte_order.h"
#include "page/page_header.h"

namespace pagerake {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

[[maybe_unused]] constexpr uint32_t ByteSwap32(uint32_t v) {  // big-endian hosts only
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

uint8_t KeyByte(std::string_view key, size_t i) {
  return key.empty() ? 0 : static_cast<uint8_t>(key[i % key.size()]);
}

}  // namespace

std::string EncodeLine(std::string_view text, std::string_view key, uint8_t startValue) {
  std::string out;
  out.resize(2 + 2 * text.size());
  unsigned s = startValue;
  out[0] = kHexDigits[s >> 4];
  out[1] = kHexDigits[s & 15];
  for (size_t i = 0; i < text.size(); ++i) {
    s = (s + static_cast<uint8_t>(text[i])) % 255;
    s ^= KeyByte(key, i);
    out[2 + 2 * i] = kHexDigits[s >> 4];
    out[3 + 2 * i] = kHexDigits[s & 15];
  }
  return out;
}

std::optional<std::string> DecodeLine(std::string_view encoded, std::string_view key,
                                      LineFault* fault) {
  auto fail = [fault](LineFault f) -> std::optional<std::string> {
    if (fault) *fault = f;
    return std::nullopt;
  };
  if (encoded.empty()) return fail(LineFault::kEmpty);
  if (encoded.size() % 2 != 0) return fail(LineFault::kOddLength);
  std::string out;
  out.resize(encoded.size() / 2 - 1);
  int prev = -1;
  for (size_t k = 0; k < encoded.size(); k += 2) {
    const int hi = HexValue(encoded[k]);
    const int lo = HexValue(encoded[k + 1]);
    if (hi < 0 || lo < 0) return fail(LineFault::kNotHex);
    const int v = hi * 16 + lo;
    if (prev >= 0) {
      const size_t i = k / 2 - 1;
      const int t = v ^ KeyByte(key, i);
      out[i] = static_cast<char>(prev < t ? t - prev : t + 255 - prev);
    }
    prev = v;
  }
  if (fault) *fault = LineFault::kNone;
  return out;
}

// The content file is scrambled at the speed of the disk, so the page is processed as an array of
// words that the compiler can vectorise: copied in and out with memcpy (no pointer casts, no
// alignment assumed) and byte-swapped on big-endian hosts, so the result is the little-endian
// word scrambling on every host.
namespace {

template <typename F>
void ForEachLeWord(uint8_t* page, F&& f) {
  uint32_t words[kPageSize / 4];
  std::memcpy(words, page, kPageSize);
  for (uint32_t& w : words) {
    if constexpr (std::endian::native == std::endian::big) w = ByteSwap32(w);
    w = f(w);
    if constexpr (std::endian::native == std::endian::big) w = ByteSwap32(w);
  }
  std::memcpy(page, words, kPageSize);
}

}  // namespace

void ScramblePage(uint8_t* page, uint32_t key) {
  ForEachLeWord(page, [key](uint32_t w) { return std::rotr(w, 1) ^ key; });
}

void UnscramblePage(uint8_t* page, uint32_t key) {
  ForEachLeWord(page, [key](uint32_t w) { return std::rotl(w ^ key, 1); });
}

}  // namespace pagerake
